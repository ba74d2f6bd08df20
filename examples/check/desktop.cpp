#include "desktop.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "system.h"

namespace wallpaper_check {
namespace {

DWORD process_of(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process;
}

bool class_is(HWND window, std::wstring_view name) {
  std::array<wchar_t, 64> buffer{};
  const int length = GetClassNameW(window, buffer.data(), static_cast<int>(buffer.size()));
  return std::wstring_view(buffer.data(), static_cast<std::size_t>(length)) == name;
}

// `window` and its ancestors, up to its top-level window.
std::vector<HWND> lineage(HWND window) {
  std::vector<HWND> chain;
  for (const HWND desktop = GetDesktopWindow(); window && window != desktop;
       window = GetAncestor(window, GA_PARENT))
    chain.push_back(window);
  return chain;
}

}  // namespace

Shell find_shell() {
  Shell shell{.progman = FindWindowW(L"Progman", nullptr)};
  if (!shell.progman) return shell;
  shell.process = process_of(shell.progman);
  shell.icons = FindWindowExW(shell.progman, nullptr, L"SHELLDLL_DefView", nullptr);
  // Any program can make a WorkerW; only the shell's hold its icons.
  for (HWND workerw = nullptr;
       !shell.icons && (workerw = FindWindowExW(nullptr, workerw, L"WorkerW", nullptr));) {
    if (process_of(workerw) == shell.process)
      shell.icons = FindWindowExW(workerw, nullptr, L"SHELLDLL_DefView", nullptr);
  }
  return shell;
}

bool desktop_at(const Shell& shell, POINT point) {
  const HWND root = GetAncestor(WindowFromPoint(point), GA_ROOT);
  return shell.progman && root && process_of(root) == shell.process &&
         (root == shell.progman || class_is(root, L"WorkerW"));
}

std::vector<POINT> desktop_points(const Shell& shell) {
  MONITORINFO monitor{.cbSize = sizeof monitor};
  GetMonitorInfoW(MonitorFromPoint({}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  constexpr LONG columns = 6, rows = 4;
  std::vector<POINT> points;
  for (LONG row = 0; row < rows; ++row) {
    for (LONG column = 0; column < columns; ++column) {
      // The middle of each cell of a grid over the area.
      const POINT point{area.left + (2 * column + 1) * (area.right - area.left) / (2 * columns),
                        area.top + (2 * row + 1) * (area.bottom - area.top) / (2 * rows)};
      if (desktop_at(shell, point)) points.push_back(point);
    }
  }
  return points;
}

bool lies_behind(HWND window, HWND icons) {
  std::vector<HWND> ours = lineage(window), theirs = lineage(icons);
  while (!ours.empty() && !theirs.empty() && ours.back() == theirs.back()) {
    ours.pop_back();
    theirs.pop_back();
  }
  if (ours.empty() || theirs.empty()) return false;
  // Siblings now: ours lies behind when it follows theirs.
  for (HWND sibling = theirs.back(); (sibling = GetWindow(sibling, GW_HWNDNEXT));) {
    if (sibling == ours.back()) return true;
  }
  return false;
}

COLORREF screen_pixel(POINT point) {
  const HDC screen = GetDC(nullptr);
  const HDC copy = CreateCompatibleDC(screen);
  const HBITMAP pixel = CreateCompatibleBitmap(screen, 1, 1);
  const HGDIOBJ old = SelectObject(copy, pixel);
  // With layered windows too, as the screen shows them.
  BitBlt(copy, 0, 0, 1, 1, screen, point.x, point.y, SRCCOPY | CAPTUREBLT);
  const COLORREF colour = GetPixel(copy, 0, 0);
  SelectObject(copy, old);
  DeleteObject(pixel);
  DeleteDC(copy);
  ReleaseDC(nullptr, screen);
  return colour;
}

bool looks_like(COLORREF seen, COLORREF colour) {
  constexpr int steps = 8;
  return seen != CLR_INVALID && std::abs(GetRValue(seen) - GetRValue(colour)) <= steps &&
         std::abs(GetGValue(seen) - GetGValue(colour)) <= steps &&
         std::abs(GetBValue(seen) - GetBValue(colour)) <= steps;
}

std::string colour_text(COLORREF colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", GetRValue(colour), GetGValue(colour),
                GetBValue(colour));
  return text;
}

HWND visible_taskbar(DWORD not_of) {
  for (HWND taskbar = nullptr;
       (taskbar = FindWindowExW(nullptr, taskbar, L"Shell_TrayWnd", nullptr));) {
    if (IsWindowVisible(taskbar) && process_of(taskbar) != not_of) return taskbar;
  }
  return nullptr;
}

std::expected<DWORD, std::string> restart_shell() {
  const HWND taskbar = visible_taskbar();
  if (!taskbar) return std::unexpected("no taskbar to restart");
  const DWORD id = process_of(taskbar);
  const Handle process(
      OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
  if (!process) return std::unexpected(failed("OpenProcess"));
  std::wstring program(MAX_PATH * 4, L'\0');
  DWORD length = static_cast<DWORD>(program.size());
  if (!QueryFullProcessImageNameW(process.get(), 0, program.data(), &length))
    return std::unexpected(failed("QueryFullProcessImageNameW"));
  program.resize(length);
  // Exit code 0, as the shell's own "Exit Explorer" ends it: Windows starts a shell that failed
  // again by itself, and a second one started beside it would only open a folder window.
  if (!TerminateProcess(process.get(), 0)) return std::unexpected(failed("TerminateProcess"));
  if (!serve_until(after_ms(10'000),
                   [&] { return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }))
    return std::unexpected("the shell's process did not end within 10 s");
  std::wstring command_line = L"\"" + program + L"\"";
  STARTUPINFOW startup{.cb = sizeof startup};
  PROCESS_INFORMATION started{};
  // Nothing of ours goes with it: no handles, no console.
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                      DETACHED_PROCESS, nullptr, nullptr, &startup, &started))
    return std::unexpected(failed("CreateProcessW"));
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return id;
}

}  // namespace wallpaper_check
