#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "monitor/state.h"
#include "unit/monitor/monitor_fixture.h"

namespace orvel {
namespace {

constexpr std::uint16_t left_down = 0x0001;
constexpr std::uint16_t left_up = 0x0002;
constexpr std::uint16_t wheel_step = 0x0400;

struct Outcome {
  int exit_code;
  std::vector<std::string> lines;  // each with the virtual time, in ms, at which it was written
  std::string errors;
  std::chrono::milliseconds ended;  // when the program returned
  Hwnd host;
  SimDesktop::ShellWindows shell;
};

// A session that makes every kind of call: start-up with mouse forwarding and the guard, a click,
// a move and a wheel step, a window raised above the host, a taskbar restart and its re-attach, a
// heartbeat, and "detach". One call fails once, at its `use`-th use.
Outcome session(std::optional<Call> failing, int use, LastError error) {
  reset_monitor_process_state();
  SimDesktop os;
  os.add_monitor({0, 0, 1920, 1080});
  const auto shell = os.start_shell({.layer_exists = true});
  const Hwnd host = os.create_window({.class_name = u"Host",
                                      .process_id = 42,
                                      .rect = {10, 10, 300, 200},
                                      .style = 0x96CF0000,
                                      .ex_style = 0x00040110});
  const Hwnd sibling = os.create_window({.class_name = u"Other", .parent = shell.layer});
  const auto mouse = [&os, &shell](Point at, std::uint16_t flags, std::uint16_t data = 0) {
    os.set_foreground(shell.progman);
    os.set_cursor(at);
    os.mouse_input({.button_flags = flags, .button_data = data});
  };
  os.at(100ms, [=] { mouse({500, 500}, left_down); });
  os.at(150ms, [=] { mouse({510, 500}, left_up); });
  os.at(200ms, [=] { mouse({600, 600}, 0); });
  os.at(250ms, [=] { mouse({600, 600}, wheel_step, 120); });
  os.at(1s, [&] { os.raise(sibling); });
  os.at(2s, [&] { os.restart_taskbar(701); });
  os.at(6s, [&] { os.write_stdin("detach\n"); });
  // A close that the channel could not ask for comes from another sender.
  os.at(8s, [&] { os.post_from_outside(monitor_values().message_window, win::wm_close); });
  os.set_time_limit(30s);
  if (failing) os.fail_call(*failing, error, 1, use - 1);
  const std::string line = "h.exe attach --forward-mouse --zguard --hwnd " + std::to_string(host);
  os.set_command_line(std::u16string(line.begin(), line.end()));

  Outcome outcome{.exit_code = run_program(os), .host = host, .shell = shell};
  outcome.ended = std::chrono::duration_cast<std::chrono::milliseconds>(os.elapsed());
  for (const SimDesktop::OutputLine& out : os.stdout_lines()) {
    outcome.lines.push_back(std::to_string(out.at / 1ms) + " " + out.text);
  }
  outcome.errors = os.stderr_text();

  // Never lost: attached to the live layer with the attach styles, or top-level with the detach
  // ones; never a child of anything else, never a top-level child.
  const auto state = os.window(host);
  EXPECT_TRUE(state.has_value());
  if (!state) return outcome;
  if (state->parent == os.desktop_window()) {
    EXPECT_EQ(state->style & 0xC0000000u, 0x80000000u);
    EXPECT_EQ(state->ex_style & 0x00040100u, 0x00040100u);
  } else {
    EXPECT_EQ(state->parent, os.shell().layer);
    EXPECT_EQ(state->style & 0x44000000u, 0x40000000u);
    EXPECT_EQ(state->ex_style & 0x00040110u, 0u);
  }
  return outcome;
}

// The code each call fails with: one that the call gives on Windows.
LastError error_of(Call call) {
  switch (call) {
    case Call::CreateThread:
      return 8;
    case Call::GetModuleHandleW:
      return 126;
    case Call::GetClassNameW:
    case Call::GetWindow:
    case Call::GetWindowRect:
    case Call::GetWindowThreadProcessId:
    case Call::ScreenToClient:
    case Call::SetWindowPos:
      return 1400;
    case Call::GetMonitorInfoW:
      return 1461;
    case Call::GetConsoleMode:
    case Call::GetRawInputData:
    case Call::GetStdHandle:
      return 6;
    case Call::PostMessageW:
      return 1816;
    case Call::ReadFile:
      return 998;
    case Call::SetThreadDpiAwarenessContext:
      return 87;
    case Call::WriteStdout:
      return 232;
    default:
      return 5;
  }
}

struct Row {
  Call call;
  int use;
  int exit_code = 0;
  std::vector<std::string> gone;   // lines of the session that are not written
  std::vector<std::string> added;  // lines written instead
  std::string errors;
  std::chrono::milliseconds ended = 6s;
};

// Every fallible call that attach makes, failing at its first use and at its last, gives exactly
// the lines and exit code it should, and leaves the host window attached or given back whole.
TEST(FaultMatrix, EveryCallFailingFirstAndLastKeepsTheHostWindow) {
  const Outcome base = session(std::nullopt, 0, 0);
  const std::string h = std::to_string(base.host);
  const std::string w = std::to_string(base.shell.layer);
  const std::string i = std::to_string(base.shell.icons_workerw);
  ASSERT_EQ(base.lines.size(), 10u);
  const std::string attached = base.lines[0], down = base.lines[1], up = base.lines[2],
                    move = base.lines[3], wheel = base.lines[4], reasserted = base.lines[5],
                    restarted = base.lines[6], reattached = base.lines[7], beat = base.lines[8],
                    detached = base.lines[9];
  EXPECT_EQ(reattached, "2000 " + attached.substr(2));
  EXPECT_EQ(detached, "6000 {\"event\":\"detached\",\"hwnd\":" + h + "}");
  const std::vector<std::string> after_start(base.lines.begin() + 1, base.lines.end());
  const std::vector<std::string> everything = base.lines;

  // A failed start writes its one error line and nothing else.
  const auto start_failure = [&](Call call, int use, std::string_view message) {
    return Row{call,
               use,
               1,
               everything,
               {"0 {\"event\":\"error\",\"message\":\"" + std::string(message) + "\"}"},
               "",
               0s};
  };
  const std::vector<Row> rows = {
      {Call::CreateThread, 1, 3, after_start, {}, "failed to spawn thread\n", 0s},
      {Call::CreateThread,
       2,
       0,
       {reattached},
       {"2000 {\"event\":\"error\",\"message\":\"failed to spawn thread: 0x80070008\"}"}},
      start_failure(Call::CreateWindowExA, 1,
                    "message window creation failed: Access is denied. (0x80070005)"),
      {Call::DestroyWindow, 1},
      {Call::EnumChildWindows, 1},
      {Call::EnumChildWindows, 2},
      {Call::EnumWindows, 1},
      {Call::EnumWindows, 2},
      {Call::FindWindowA, 1},
      {Call::FindWindowA, 9},
      {Call::FindWindowExA,
       1,
       0,
       {attached, reasserted},
       {"0 {\"event\":\"attached\",\"hwnd\":" + h + ",\"workerw\":" + i +
        ",\"mode\":\"classic\"}"}},
      {Call::FindWindowExA, 10},
      {Call::GetAncestor, 1},
      {Call::GetAncestor, 6},
      {Call::GetClassNameW, 1},
      {Call::GetClassNameW, 11},
      {Call::GetConsoleMode, 1},
      {Call::GetCursorPos, 1, 0, {down, up}, {}},
      {Call::GetCursorPos, 4, 0, {wheel}, {}},
      {Call::GetForegroundWindow, 1, 0, {down, up}, {}},
      {Call::GetForegroundWindow, 3, 0, {wheel}, {}},
      {Call::GetMessageW,
       1,
       0,
       after_start,
       {"0 {\"event\":\"detached\",\"hwnd\":" + h + "}"},
       "",
       0s},
      {Call::GetMessageW, 382},
      start_failure(Call::GetModuleHandleW, 1, "GetModuleHandleW failed: 0x8007007E"),
      {Call::GetMonitorInfoW, 1},
      {Call::GetMonitorInfoW, 4},
      {Call::GetRawInputData, 1, 0, {down, up}, {}},
      {Call::GetRawInputData, 4, 0, {wheel}, {}},
      {Call::GetStdHandle,
       1,
       0,
       after_start,
       {"0 {\"event\":\"detached\",\"hwnd\":" + h + "}"},
       "",
       0s},
      {Call::GetSystemMetrics, 1},
      {Call::GetSystemMetrics, 4},
      {Call::GetWindow, 1},
      {Call::GetWindow, 2, 0, {}, {"5000 {\"event\":\"reasserted\",\"hwnd\":" + h + "}"}},
      start_failure(Call::GetWindowLongPtrW, 1,
                    "GetWindowLongPtrW failed: Access is denied. (0x80070005)"),
      {Call::GetWindowLongPtrW,
       6,
       0,
       {detached},
       {"6000 {\"event\":\"error\",\"message\":\"GetWindowLongPtrW failed: Access is denied. "
        "(0x80070005)\"}"}},
      {Call::GetWindowRect, 1},
      {Call::GetWindowRect, 2},
      {Call::GetWindowThreadProcessId, 1},
      {Call::GetWindowThreadProcessId, 2},
      {Call::InvalidateRect, 1},
      start_failure(Call::IsWindow, 1, "orvel window no longer exists"),
      {Call::IsWindow, 7},
      {Call::MonitorFromWindow, 1},
      {Call::MonitorFromWindow, 2},
      {Call::PostMessageW,
       1,
       0,
       {detached},
       {"8000 {\"event\":\"detached\",\"hwnd\":" + h + "}"},
       "",
       8s},
      {Call::ReadFile,
       1,
       0,
       after_start,
       {"0 {\"event\":\"detached\",\"hwnd\":" + h + "}"},
       "",
       0s},
      start_failure(Call::RegisterClassA, 1, "message window creation failed: 0x8007057F"),
      start_failure(Call::RegisterRawInputDevices, 1,
                    "mouse forwarding unavailable: RegisterRawInputDevices failed: Access is "
                    "denied. (0x80070005)"),
      {Call::RegisterRawInputDevices, 2},
      {Call::RegisterWindowMessageW, 1, 0, {restarted, reattached}, {}},
      {Call::ScreenToClient, 1},
      {Call::ScreenToClient, 2},
      start_failure(Call::SetParent, 1, "SetParent failed: Access is denied. (0x80070005)"),
      {Call::SetParent,
       3,
       0,
       {detached},
       {"6000 {\"event\":\"error\",\"message\":\"SetParent(NULL) failed: Access is denied. "
        "(0x80070005)\"}"}},
      {Call::SetProcessDpiAwarenessContext, 1},
      {Call::SetThreadDpiAwarenessContext, 1},
      {Call::SetThreadDpiAwarenessContext, 6},
      start_failure(Call::SetTimer, 1, "SetTimer failed"),
      {Call::SetTimer, 3},
      start_failure(Call::SetWinEventHook, 1, "SetWinEventHook(EVENT_OBJECT_DESTROY) failed"),
      start_failure(Call::SetWinEventHook, 2, "SetWinEventHook(EVENT_OBJECT_REORDER) failed"),
      start_failure(Call::SetWindowLongPtrW, 1,
                    "SetWindowLongPtrW failed: Access is denied. (0x80070005)"),
      {Call::SetWindowLongPtrW,
       6,
       0,
       {detached},
       {"6000 {\"event\":\"error\",\"message\":\"SetWindowLongPtrW failed: Access is denied. "
        "(0x80070005)\"}"}},
      {Call::SetWindowPos, 1},
      {Call::SetWindowPos, 5},
      {Call::SystemParametersInfoW,
       1,
       0,
       {},
       {"6000 {\"event\":\"error\",\"message\":\"SPI_SETDESKWALLPAPER refresh failed: Access is "
        "denied. (0x80070005)\"}"}},
      {Call::UpdateWindow, 1},
      {Call::WindowFromPoint, 1, 0, {down, up}, {}},
      {Call::WindowFromPoint, 2, 0, {wheel}, {}},
      {Call::WriteStdout, 1, 0, {attached}, {}},
      {Call::WriteStdout, 10, 0, {detached}, {}},
  };
  for (const Row& row : rows) {
    const std::string name = std::string(sim::call_name(row.call)) + " #" + std::to_string(row.use);
    SCOPED_TRACE(name);
    std::printf("fault matrix row: %s\n", name.c_str());
    const Outcome outcome = session(row.call, row.use, error_of(row.call));
    std::vector<std::string> expected;
    for (const std::string& line : base.lines) {
      if (std::ranges::find(row.gone, line) == row.gone.end()) expected.push_back(line);
    }
    for (const std::string& line : row.added) {
      const int at = std::stoi(line);
      const auto later = std::ranges::find_if(
          expected, [at](const std::string& other) { return std::stoi(other) > at; });
      expected.insert(later, line);
    }
    EXPECT_EQ(outcome.exit_code, row.exit_code);
    EXPECT_EQ(outcome.lines, expected);
    EXPECT_EQ(outcome.errors, row.errors);
    EXPECT_EQ(outcome.ended, row.ended);
  }
}

}  // namespace
}  // namespace orvel
