// What the tests under Wine share: the helper's lines as expected, and an attach session of the
// helper or of its test build, read as a main process reads it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <chrono>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "wine_desktop/desktop.h"

namespace orvel::e2e {

using namespace desktop;

using Clock = std::chrono::steady_clock;
inline double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A window's or a monitor's box on the screen: left, top, right, bottom.
using Box = std::array<LONG, 4>;
inline Box window_box(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return {r.left, r.top, r.right, r.bottom};
}
inline Box monitor_box(HWND window) {
  MONITORINFO info{.cbSize = sizeof info};
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
  const RECT& r = info.rcMonitor;
  return {r.left, r.top, r.right, r.bottom};
}

inline std::string event(std::string_view name, const std::string& fields = "") {
  return R"({"event":")" + std::string(name) + '"' + fields + '}';
}
inline std::string event(std::string_view name, HWND host, const std::string& fields = "") {
  return event(name, ",\"hwnd\":" + handle_text(host) + fields);
}
inline std::string attached(HWND host, HWND layer, Layout layout) {
  return event("attached", host,
               ",\"workerw\":" + handle_text(layer) + ",\"mode\":\"" +
                   (layout == Layout::classic ? "classic" : "raised") + '"');
}
inline std::string visible(HWND host, bool yes) {
  return event("visibility", host, std::string(",\"visible\":") + (yes ? "true" : "false"));
}
// An error line: the main process acts on its kind; the message says what failed.
inline std::string error(std::string_view kind, std::string_view message) {
  return event("error", R"(,"message":")" + std::string(message) + R"(","kind":")" +
                            std::string(kind) + '"');
}
inline const std::string heartbeat = event("heartbeat"), restarted = event("explorer-restarted"),
                         window_gone = error("window-not-found", "orvel window no longer exists"),
                         window_destroyed =
                             error("window-destroyed",
                                   "orvel window was destroyed together with the WorkerW; the main "
                                   "process must rebuild it");

// Wine words system errors differently from Windows: a line is compared with the system's text
// left out, as "SetParent failed: * (0x80070005)".
inline std::string without_system_text(const std::string& line) {
  return std::regex_replace(line, std::regex(R"(: [^:"]* \(0x)"), ": * (0x");
}

// The helper attaching `host` with `options`, or with `faults` its test build failing or slowing
// those calls. Its lines but heartbeats gather in `lines`; the first is read at once, and the shell
// looks again for a layer the helper may have had made.
struct Session {
  Session(Shell& shell, HWND host, std::wstring_view options, const char* faults = nullptr)
      : process(program(faults),
                L"attach --hwnd " + widen(handle_text(host)) + std::wstring(options)) {
    next();
    shell.update();
  }
  // The next line but heartbeats, and but moves unless `moves`.
  std::optional<std::string> next(bool moves = false, DWORD wait_ms = 15'000) {
    for (const ULONGLONG end = GetTickCount64() + wait_ms; GetTickCount64() < end;) {
      std::optional<std::string> line = process.read_line(100);
      if (!line || line == heartbeat) continue;
      lines.push_back(*line);
      if (moves || !line->starts_with(R"({"event":"mousemove)")) return line;
    }
    return std::nullopt;
  }
  // Reads until a line holds `text`, for at most `wait_ms`; whether one did.
  bool until(std::string_view text, DWORD wait_ms = 8'000) {
    for (const ULONGLONG end = GetTickCount64() + wait_ms; GetTickCount64() < end;) {
      if (next(false, 100).value_or("").find(text) != std::string::npos) return true;
    }
    return false;
  }
  // Closes its standard input and reads it to the end: its exit code.
  std::optional<DWORD> close() {
    process.close_input();
    while (const std::optional<std::string> line = process.read_line()) {
      if (line != heartbeat) lines.push_back(*line);
    }
    return exit_code = process.wait();
  }
  static const wchar_t* program(const char* faults) {
    SetEnvironmentVariableA("ORVEL_FAULTS", faults);  // none removes it
    return faults ? L"orvel_helper_faults.exe" : L"orvel-wallpaper-helper.exe";
  }

  Process process;
  std::vector<std::string> lines;
  std::optional<DWORD> exit_code;
};

// The hidden window of the helper that runs as `helper`.
inline HWND helper_window(const Process& helper) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, L"OrvelWallpaperHelperWindow", nullptr))) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == helper.id()) return window;
  }
  ADD_FAILURE() << "no hidden window of the helper";
  return nullptr;
}

// A one-shot command for `host` that ends well, writing `line` and nothing else.
inline void expect_done(const wchar_t* command, HWND host, const char* line) {
  Process helper = start_helper(std::wstring(command) + L" --hwnd " + widen(handle_text(host)));
  EXPECT_EQ(helper.wait(), 0u);
  EXPECT_EQ(helper.unread_output(), event(line, host) + "\n");
  EXPECT_EQ(helper.errors(), "");
}

// Raises a display change as Windows broadcasts it, to every top-level window.
inline void display_changed() {
  SendMessageTimeoutW(HWND_BROADCAST, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080),
                      SMTO_ABORTIFHUNG, 2'000, nullptr);
}

// The top-level WorkerW that holds the icons, as the classic layout has it.
inline HWND icons_workerw() {
  HWND icons = nullptr;
  while ((icons = FindWindowExW(nullptr, icons, L"WorkerW", nullptr)) &&
         !FindWindowExW(icons, nullptr, L"SHELLDLL_DefView", nullptr)) {
  }
  return icons;
}

// A file of `name` in the temporary folder, not there yet.
inline std::string temp_file(std::string_view name) {
  std::string path(MAX_PATH, '\0');
  path.resize(GetTempPathA(MAX_PATH, path.data()));
  path += name;
  DeleteFileA(path.c_str());
  return path;
}

// Never lost: a child of the live `layer`, or top-level as a popup, as it was or as given back.
inline void expect_kept(HWND host, HWND layer = nullptr) {
  const LONG_PTR style = GetWindowLongPtrW(host, GWL_STYLE);
  if (layer && GetAncestor(host, GA_PARENT) == layer) {
    EXPECT_TRUE(style & WS_CHILD) << std::hex << style;
    return;
  }
  EXPECT_EQ(GetAncestor(host, GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(style & (WS_CHILD | WS_POPUP), LONG_PTR{WS_POPUP}) << std::hex << style;
}

}  // namespace orvel::e2e
