// The test build of the helper under Wine, with one Windows call made to fail or to take longer:
// whatever fails, the main process reads what happened and the host window is never lost.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "e2e/lines.h"

namespace orvel::e2e {
namespace {

using namespace desktop;

// Whether `line` is `pattern`, where each "*" stands for any text: Wine words its error messages
// differently from Windows, so a pattern names only the code in parentheses.
bool matches(std::string_view line, std::string_view pattern) {
  const std::size_t star = pattern.find('*');
  if (star == std::string_view::npos) return line == pattern;
  if (!line.starts_with(pattern.substr(0, star))) return false;
  for (std::size_t from = star; from <= line.size(); ++from) {
    if (matches(line.substr(from), pattern.substr(star + 1))) return true;
  }
  return false;
}

// Never lost: a child of the live layer, or top-level as a popup without WS_CHILD, as it was or as
// given back.
void expect_kept(HWND host, const Shell& shell) {
  const HWND parent = GetAncestor(host, GA_PARENT);
  const LONG_PTR style = GetWindowLongPtrW(host, GWL_STYLE);
  if (parent == shell.layer()) {
    EXPECT_TRUE(style & WS_CHILD) << std::hex << style;
  } else {
    EXPECT_EQ(parent, GetDesktopWindow());
    EXPECT_EQ(style & (WS_CHILD | WS_POPUP), LONG_PTR{WS_POPUP}) << std::hex << style;
  }
}

// What the test does once the helper has written its first line, before it closes the helper's
// standard input.
enum class Then { close, restart_taskbar, cover_layer };

struct Session {
  std::optional<DWORD> exit_code;
  std::vector<std::string> lines;  // without heartbeats
  std::string errors;
  ULONGLONG heartbeat_ms = 0;  // after the first line, when one came
};

// The test build attaching `host` with every option, the calls in `faults` failing or slowed.
// After `then`, it waits up to `wait_ms` for a line that matches `until` and, with `beats`, for a
// heartbeat too.
Session run_faulty(Shell& shell, HWND host, const std::string& faults, Then then = Then::close,
                   std::string_view until = "", DWORD wait_ms = 8'000, bool beats = false) {
  SetEnvironmentVariableA("ORVEL_FAULTS", faults.c_str());
  Process helper(L"orvel_helper_faults.exe",
                 L"attach --forward-mouse --zguard --hwnd " + widen(handle_text(host)));
  Session session;
  const ULONGLONG start = GetTickCount64();
  const auto take = [&](const std::string& line) {
    if (line != heartbeat) session.lines.push_back(line);
    if (line == heartbeat && !session.heartbeat_ms) session.heartbeat_ms = GetTickCount64() - start;
  };
  if (const std::optional<std::string> first = helper.read_line()) take(*first);
  shell.update();
  if (then == Then::restart_taskbar) shell.restart_taskbar();
  if (then == Then::cover_layer) shell.cover_layer();
  bool seen = until.empty();
  for (const ULONGLONG end = GetTickCount64() + wait_ms;
       !(seen && (!beats || session.heartbeat_ms)) && GetTickCount64() < end;) {
    const std::optional<std::string> line = helper.read_line(100);
    if (line) take(*line);
    seen = seen || (line && matches(*line, until));
  }
  helper.close_input();
  while (const std::optional<std::string> line = helper.read_line()) take(*line);
  session.exit_code = helper.wait();
  session.errors = helper.errors();
  return session;
}

// The host window's styles as an application makes them.
Window make_visible_host() {
  Window host = create_window(WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW,
                              {100, 80, 740, 560});
  SetWindowLongPtrW(host.get(), GWL_EXSTYLE,
                    WS_EX_APPWINDOW | WS_EX_WINDOWEDGE | WS_EX_ACCEPTFILES);
  return host;
}

struct Row {
  std::string faults;
  std::vector<std::string> lines;  // "attached", "detached", or the message of an error line
  DWORD exit_code = 0;
  std::string errors = "";
  Then then = Then::close;
  std::string until = "";
  DWORD wait_ms = 8'000;
  bool beats = false;
};

// Every fallible call of attach's start-up and close failing at its first use, and the calls of
// the monitor after it.
TEST(Faults, EachFailingCallIsReportedAndTheHostWindowIsNeverLost) {
  const std::vector<std::string> plain = {"attached", "detached"};
  const auto failed = [](std::string_view call) {
    return std::string(call) + " failed: * (0x80070005)";
  };
  std::vector<Row> rows = {
      {"CreateThread@1:8", {"attached"}, 3, "failed to spawn thread\n"},
      {"CreateWindowExA@1:5", {"message window creation failed: * (0x80070005)"}, 1},
      {"GetModuleHandleW@1:5", {failed("GetModuleHandleW")}, 1},
      {"GetWindowLongPtrW@1:5", {failed("GetWindowLongPtrW")}, 1},
      {"IsWindow@1:5", {"orvel window no longer exists"}, 1},
      // The window is made all the same, of a class that does not exist.
      {"RegisterClassA@1:5", {"message window creation failed: * (0x80070583)"}, 1},
      {"RegisterRawInputDevices@1:5",
       {"mouse forwarding unavailable: " + failed("RegisterRawInputDevices")},
       1},
      {"SetParent@1:5", {failed("SetParent")}, 1},
      {"SetTimer@1:5", {"SetTimer failed"}, 1},
      {"SetTimer@2:5", {"mouse forwarding unavailable: SetTimer(mouse move) failed"}, 1},
      {"SetWinEventHook@1:5", {"SetWinEventHook(EVENT_OBJECT_DESTROY) failed"}, 1},
      {"SetWinEventHook@2:5", {"SetWinEventHook(EVENT_OBJECT_REORDER) failed"}, 1},
      {"SetWindowLongPtrW@1:5", {failed("SetWindowLongPtrW")}, 1},
      {"SetParent@2:5", {"attached", failed("SetParent(NULL)")}},
      {"SetWindowLongPtrW@3:5", {"attached", failed("SetWindowLongPtrW")}},
      {"SystemParametersInfoW@1:5",
       {"attached", "detached", "SPI_SETDESKWALLPAPER refresh failed: * (0x80070005)"}},
      {"WriteFile(stdout)@1:5", {"detached"}},
      // Without the first look for the layer after the icons, the icons' own WorkerW is taken.
      {"FindWindowExA@1:5", {"attached after the icons", "detached"}},
      // The z-order guard: start-up places the window twice. A later reorder tries again.
      {"SetWindowPos@3:1400", plain, 0, "", Then::cover_layer, "*reasserted*", 1'000},
      {"", {"attached", "*reasserted*", "detached"}, 0, "", Then::cover_layer, "*reasserted*"},
  };
  // The re-attach after a taskbar restart: ten tries, half a second apart.
  std::string reattach = "SetParent@2:5";
  for (int use = 3; use <= 11; ++use) reattach += ",SetParent@" + std::to_string(use) + ":5";
  rows.push_back({reattach,
                  {"attached", explorer_restarted,
                   "re-attach failed after 10 retries: " + failed("SetParent"), "detached"},
                  0,
                  "",
                  Then::restart_taskbar,
                  "*re-attach failed*"});
  // Calls whose failure the main process does not see; the standard input's end detaches.
  for (const char* call : {
           "DestroyWindow",
           "EnumChildWindows",
           "EnumWindows",
           "FindWindowA",
           "GetAncestor",
           "GetClassNameW",
           "GetConsoleMode",
           "GetMessageW",
           "GetMonitorInfoW",
           "GetStdHandle",
           "GetWindowRect",
           "GetWindowThreadProcessId",
           "InvalidateRect",
           "MonitorFromWindow",
           "ReadFile",
           "RegisterWindowMessageW",
           "ScreenToClient",
           "SetProcessDpiAwarenessContext",
           "SetThreadDpiAwarenessContext",
           "SetWindowPos",
           "UpdateWindow",
       }) {
    rows.push_back({std::string(call) + "@1:5", plain});
  }

  Shell shell(Layout::classic);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.faults);
    const Window host = make_visible_host();
    const Session session =
        run_faulty(shell, host.get(), row.faults, row.then, row.until, row.wait_ms, row.beats);
    EXPECT_EQ(session.exit_code, row.exit_code);
    EXPECT_EQ(session.errors, row.errors);
    HWND icons = nullptr;
    while ((icons = FindWindowExW(nullptr, icons, L"WorkerW", nullptr)) &&
           !FindWindowExW(icons, nullptr, L"SHELLDLL_DefView", nullptr)) {
    }
    std::vector<std::string> expected;
    for (const std::string& line : row.lines) {
      expected.push_back(
          line == "attached" ? attached_line(host.get(), shell.layer(), Layout::classic)
          : line == "attached after the icons" ? attached_line(host.get(), icons, Layout::classic)
          : line == "detached"                 ? host_event("detached", host.get())
          : line.starts_with('{') || line.starts_with('*') ? line
                                                           : error_line(line));
    }
    bool same = session.lines.size() == expected.size();
    for (std::size_t i = 0; same && i < expected.size(); ++i) {
      same = matches(session.lines[i], expected[i]);
    }
    EXPECT_TRUE(same) << testing::PrintToString(session.lines);
    expect_kept(host.get(), shell);
    // The heartbeat, every 5 s, is timed where a session lasts that long.
    if (row.beats) {
      EXPECT_GT(session.heartbeat_ms, 4'500u);
      EXPECT_LT(session.heartbeat_ms, 6'000u);
    }
  }
}

// The close waits for a re-attach that is under way before it gives the window back. Forced: the
// worker starts slowly after the taskbar restart, the close begins meanwhile and lingers over the
// wallpaper's repaint while the worker's SetParent is still to come.
TEST(Faults, TheCloseWaitsForARunningReattachBeforeGivingTheWindowBack) {
  Shell shell(Layout::classic);
  const Window host = make_visible_host();
  const Session session = run_faulty(
      shell, host.get(), "MonitorFromWindow@2+300,SetParent@3+1000,SystemParametersInfoW@1+600",
      Then::restart_taskbar, explorer_restarted);
  EXPECT_EQ(session.exit_code, 0u);
  EXPECT_EQ(session.lines.back(), host_event("detached", host.get()));
  EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(GetWindowLongPtrW(host.get(), GWL_STYLE) & (WS_CHILD | WS_POPUP), LONG_PTR{WS_POPUP})
      << std::hex << GetWindowLongPtrW(host.get(), GWL_STYLE);
}

}  // namespace
}  // namespace orvel::e2e
