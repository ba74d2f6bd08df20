#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <tuple>

#include "monitor/monitor.h"
#include "unit/monitor/monitor_fixture.h"

namespace orvel {
namespace {

struct Outcome {
  int exit_code;
  std::vector<std::string> lines;  // timed as AttachRun::timed_lines gives them
  std::string errors;
  std::chrono::milliseconds ended;  // when the program returned
};

// A session that makes every kind of call: start-up with mouse forwarding and the guard, a click,
// a move and a wheel step, a window raised above the host, a taskbar restart and its re-attach, a
// heartbeat, and "detach". One call fails once, at its `use`-th use. The end of a part of the host
// window (its client area) is not the end of the window, and makes no call at all.
Outcome session(AttachRun& run, std::optional<Call> failing, int use, LastError error) {
  SimDesktop& os = run.os;
  const Hwnd sibling = os.create_window({.class_name = u"Other", .parent = run.shell.layer});
  const auto mouse = [&os, progman = run.shell.progman](Point at, std::uint16_t flags,
                                                        std::uint16_t data = 0) {
    os.set_foreground(progman);
    os.set_cursor(at);
    os.mouse_input({.button_flags = flags, .button_data = data});
  };
  os.at(100ms, [=] { mouse({500, 500}, 0x0001); });
  os.at(150ms, [=] { mouse({510, 500}, 0x0002); });
  os.at(200ms, [=] { mouse({600, 600}, 0); });
  os.at(250ms, [=] { mouse({600, 600}, 0x0400, 120); });
  os.at(1s, [&] {
    on_shell_event(os, 0, win::event_object_destroy, run.host, -4, 0, 0, 0);
    os.raise(sibling);
  });
  os.at(2s, [&] { os.restart_taskbar(701); });
  os.at(6s, [&] { os.write_stdin("detach\n"); });
  // A close that the channel could not ask for comes from another sender.
  os.at(8s, [&] { os.post_from_outside(monitor_values().message_window, win::wm_close); });
  os.set_time_limit(30s);
  if (failing) os.fail_call(*failing, error, 1, use - 1);

  Outcome outcome{.exit_code = run.run(" --forward-mouse --zguard")};
  outcome.ended = std::chrono::duration_cast<std::chrono::milliseconds>(os.elapsed());
  outcome.lines = run.timed_lines();
  outcome.errors = os.stderr_text();

  // Never lost: as it was, in the live layer with the attach styles, or given back with the detach
  // ones; never a child of anything else, never a top-level child.
  const auto state = os.window(run.host);
  EXPECT_TRUE(state.has_value());
  if (!state) return outcome;
  const auto look = std::tuple(state->parent, state->style, state->ex_style);
  const Hwnd top = os.desktop_window();
  EXPECT_TRUE(look == std::tuple(top, host_style, host_ex_style) ||
              look == std::tuple(os.shell().layer, 0xD2CF0000u, 0u) ||
              look == std::tuple(top, 0x92CF0000u, 0x00040100u))
      << testing::PrintToString(look);
  return outcome;
}

// The code each call fails with: one that the call gives on Windows; 5 for the others.
LastError error_of(Call call) {
  std::istringstream codes(
      "CreateThread 8 GetModuleHandleW 126 GetClassNameW 1400 GetWindow 1400 GetWindowRect 1400 "
      "GetWindowThreadProcessId 1400 ScreenToClient 1400 SetWindowPos 1400 GetMonitorInfoW 1461 "
      "GetConsoleMode 6 GetRawInputData 6 GetStdHandle 6 PostMessageW 1816 ReadFile 998 "
      "SetThreadDpiAwarenessContext 87 WriteStdout 232");
  LastError code = 5;
  for (std::string name; codes >> name >> code;) {
    if (sim::call_named(name).value() == call) return code;
  }
  return 5;
}

// The session's lines, in order, by key: attached, mousedown, mouseup, mousemove, mousewheel,
// reasserted, explorer-restarted, attached again, heartbeat, detached.
constexpr std::string_view keys = "adumwrxRbD";
constexpr const char* after_start = "dumwrxRbD";

struct Row {
  Call call;
  int use;
  std::string gone = "";   // keys of the lines that are not written
  std::string added = "";  // a line written instead, "<ms> <line>"
  int exit_code = 0;
  std::string_view errors = "";
  int ended_ms = 6000;
};

// Every fallible call that attach makes, failing at its first use and at its last, gives exactly
// the lines and exit code it should, and leaves the host window attached or given back whole.
TEST(FaultMatrix, EveryCallFailingFirstAndLastKeepsTheHostWindow) {
  AttachRun first;
  const Outcome base = session(first, std::nullopt, 0, 0);
  const std::string attached = first.attached(first.shell.layer);
  EXPECT_EQ(base.lines, (std::vector<std::string>{
                            "0 " + attached, R"(100 {"event":"mousedown","x":500,"y":500})",
                            R"(150 {"event":"mouseup","x":510,"y":500})",
                            R"(200 {"event":"mousemove","x":600,"y":600})",
                            R"(250 {"event":"mousewheel","x":600,"y":600,"deltaX":0,"deltaY":120})",
                            "1000 " + first.hwnd_event("reasserted"), "2000 " + explorer_restarted,
                            "2000 " + attached, "5000 " + heartbeat, "6000 " + first.detached()}));
  // Mouse input comes while other windows have the foreground too, and moves wait for a 16 ms
  // timer; the guard raises the host window without activating it; at the close the host window
  // is back before the layer and the wallpaper are repainted, and the message window goes last.
  const std::string window = std::to_string(message_window());
  const std::string layer = std::to_string(first.shell.layer);
  EXPECT_TRUE(first.called_in_order(
      {"RegisterRawInputDevices(0x1, 0x2, 0x100, " + window + ")",
       "SetTimer(" + window + ", 2, 16)", "SetWindowPos(" + first.h() + ", 0, 0, 0, 0, 0, 0x4013)",
       "SetParent(" + first.h() + ", 0)", "InvalidateRect(" + layer + ", true)",
       "UpdateWindow(" + layer + ")", "SystemParametersInfoW(0x14, 0, null, 0x1)",
       "DestroyWindow(" + window + ")"}));

  const std::string denied = "Access is denied. (0x80070005)";
  const auto start = [](Call call, int use, std::string_view message) {
    return Row{call, use, std::string(keys), "0 " + error_line(message), 1, "", 0};
  };
  const std::string detached_at_once = "0 " + first.detached();
  std::vector<Row> rows = {
      {Call::CreateThread, 1, after_start, "", 3, "failed to spawn thread\n", 0},
      {Call::CreateThread, 2, "R", "2000 " + error_line("failed to spawn thread: 0x80070008")},
      start(Call::CreateWindowExA, 1, "message window creation failed: " + denied),
      {Call::FindWindowExA, 1, "ar", "0 " + first.attached(first.shell.icons_workerw)},
      {Call::GetMessageW, 1, after_start, detached_at_once, 0, "", 0},
      start(Call::GetModuleHandleW, 1, "GetModuleHandleW failed: 0x8007007E"),
      {Call::GetStdHandle, 1, after_start, detached_at_once, 0, "", 0},
      {Call::GetWindow, 2, "", "5000 " + first.hwnd_event("reasserted")},
      start(Call::GetWindowLongPtrW, 1, "GetWindowLongPtrW failed: " + denied),
      {Call::GetWindowLongPtrW, 6, "D",
       "6000 " + error_line("GetWindowLongPtrW failed: " + denied)},
      start(Call::IsWindow, 1, "orvel window no longer exists"),
      {Call::PostMessageW, 1, "D", "8000 " + first.detached(), 0, "", 8000},
      {Call::ReadFile, 1, after_start, detached_at_once, 0, "", 0},
      start(Call::RegisterClassA, 1, "message window creation failed: 0x8007057F"),
      start(Call::RegisterRawInputDevices, 1,
            "mouse forwarding unavailable: RegisterRawInputDevices failed: " + denied),
      start(Call::SetParent, 1, "SetParent failed: " + denied),
      {Call::SetParent, 3, "D", "6000 " + error_line("SetParent(NULL) failed: " + denied)},
      start(Call::SetTimer, 1, "SetTimer failed"),
      start(Call::SetTimer, 2, "mouse forwarding unavailable: SetTimer(mouse move) failed"),
      start(Call::SetWinEventHook, 1, "SetWinEventHook(EVENT_OBJECT_DESTROY) failed"),
      start(Call::SetWinEventHook, 2, "SetWinEventHook(EVENT_OBJECT_REORDER) failed"),
      start(Call::SetWindowLongPtrW, 1, "SetWindowLongPtrW failed: " + denied),
      {Call::SetWindowLongPtrW, 6, "D",
       "6000 " + error_line("SetWindowLongPtrW failed: " + denied)},
      {Call::SystemParametersInfoW, 1, "",
       "6000 " + error_line("SPI_SETDESKWALLPAPER refresh failed: " + denied)}};
  // Calls whose failure only drops lines (keys after the use; "-": none, so the main process sees
  // nothing).
  std::istringstream dropping(
      "GetCursorPos 1 du GetCursorPos 4 w GetForegroundWindow 1 du GetForegroundWindow 3 w "
      "GetRawInputData 1 du GetRawInputData 4 w RegisterWindowMessageW 1 xR WindowFromPoint 1 du "
      "WindowFromPoint 2 w WriteStdout 1 a WriteStdout 10 D DestroyWindow 1 - "
      "EnumChildWindows 1 - EnumChildWindows 2 - EnumWindows 1 - EnumWindows 2 - FindWindowA 1 - "
      "FindWindowA 9 - FindWindowExA 10 - GetAncestor 1 - GetAncestor 6 - GetClassNameW 1 - "
      "GetClassNameW 11 - GetConsoleMode 1 - GetMessageW 382 - GetMonitorInfoW 1 - "
      "GetMonitorInfoW 4 - GetSystemMetrics 1 - GetSystemMetrics 4 - GetWindow 1 - "
      "GetWindowRect 1 - GetWindowRect 2 - GetWindowThreadProcessId 1 - "
      "GetWindowThreadProcessId 2 - InvalidateRect 1 - IsWindow 7 - MonitorFromWindow 1 - "
      "MonitorFromWindow 2 - RegisterRawInputDevices 2 - ScreenToClient 1 - ScreenToClient 2 - "
      "SetProcessDpiAwarenessContext 1 - SetThreadDpiAwarenessContext 1 - "
      "SetThreadDpiAwarenessContext 6 - SetTimer 3 - SetWindowPos 1 - SetWindowPos 5 - "
      "UpdateWindow 1 -");
  for (std::string name; dropping >> name;) {
    Row& row = rows.emplace_back(Row{.call = sim::call_named(name).value()});
    dropping >> row.use >> row.gone;
    if (row.gone == "-") row.gone.clear();
  }
  for (const Row& row : rows) {
    const std::string name = std::string(sim::call_name(row.call)) + " #" + std::to_string(row.use);
    SCOPED_TRACE(name);
    std::printf("fault matrix row: %s\n", name.c_str());
    AttachRun run;
    const Outcome outcome = session(run, row.call, row.use, error_of(row.call));
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (row.gone.find(keys[i]) == std::string::npos) expected.push_back(base.lines[i]);
    }
    if (!row.added.empty()) {
      const int at = std::stoi(row.added);
      expected.insert(std::ranges::find_if(
                          expected, [at](const std::string& line) { return std::stoi(line) > at; }),
                      row.added);
    }
    EXPECT_EQ(outcome.exit_code, row.exit_code);
    EXPECT_EQ(outcome.lines, expected);
    EXPECT_EQ(outcome.errors, row.errors);
    EXPECT_EQ(outcome.ended, std::chrono::milliseconds(row.ended_ms));
  }
}

}  // namespace
}  // namespace orvel
