#include "colour_window.h"

#include "system.h"

namespace wallpaper_check {
namespace {

constexpr wchar_t class_name[] = L"OrvelWallpaperCheck";
constexpr UINT_PTR paint_timer = 1;
// Often enough to cover what the layer paints over it.
constexpr UINT paint_ms = 100;

HBRUSH colour_brush() {
  static const HBRUSH brush = CreateSolidBrush(window_colour);
  return brush;
}

// Paints the window's place on the top-level window that holds it, while that is another
// process's: Wine 8 shows what is drawn on that one, also over a layer inside Progman, which is a
// child window itself. GetAncestor gives a top-level window itself as its root.
void paint_through_parent(HWND window) {
  const HWND root = GetAncestor(window, GA_ROOT);
  DWORD root_process = 0;
  if (!root || root == window || !GetWindowThreadProcessId(root, &root_process) ||
      root_process == GetCurrentProcessId())
    return;
  RECT place{};
  GetClientRect(window, &place);
  MapWindowPoints(window, root, reinterpret_cast<POINT*>(&place), 2);
  const HDC dc = GetDCEx(root, nullptr, DCX_CACHE);
  if (!dc) return;  // the next tick tries again
  IntersectClipRect(dc, place.left, place.top, place.right, place.bottom);
  FillRect(dc, &place, colour_brush());
  ReleaseDC(root, dc);
}

// The class's brush paints the window itself; the timer, when there is one, paints its place on
// the window that holds it.
LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER && wparam == paint_timer) {
    paint_through_parent(window);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

ColourWindow::ColourWindow(bool draw_through_parent) {
  static const ATOM registered = [] {
    const WNDCLASSEXW description{.cbSize = sizeof(WNDCLASSEXW),
                                  .lpfnWndProc = procedure,
                                  .hInstance = GetModuleHandleW(nullptr),
                                  .hbrBackground = colour_brush(),
                                  .lpszClassName = class_name};
    return RegisterClassExW(&description);
  }();
  if (!registered) {
    error_ = failed("RegisterClassExW");
    return;
  }
  MONITORINFO monitor{.cbSize = sizeof monitor};
  GetMonitorInfoW(MonitorFromPoint({}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcMonitor;
  window_ = CreateWindowExW(0, class_name, L"orvel wallpaper check", WS_POPUP, area.left, area.top,
                            area.right - area.left, area.bottom - area.top, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  if (!window_) {
    error_ = failed("CreateWindowExW");
    return;
  }
  if (draw_through_parent) SetTimer(window_, paint_timer, paint_ms, nullptr);
}

ColourWindow::~ColourWindow() {
  if (window_ && IsWindow(window_)) DestroyWindow(window_);
}

}  // namespace wallpaper_check
