#include "host_window.h"

#include <algorithm>
#include <cwchar>
#include <stdexcept>
#include <system_error>

namespace host_example {
namespace {

constexpr wchar_t class_name[] = L"OrvelHostExample";
constexpr UINT_PTR frame_timer = 1;
constexpr UINT frame_ms = 40;
constexpr ULONGLONG ripple_ms = 900;
constexpr ULONGLONG wheel_steps = 1536;  // one turn of the colour wheel
constexpr int notches_a_turn = 6;

// A colour that walks around the colour wheel as `step` grows, wheel_steps being one turn.
COLORREF wheel(ULONGLONG step) {
  const auto ramp = static_cast<BYTE>(step % 256);
  switch (step / 256 % 6) {
    case 0:
      return RGB(255, ramp, 0);
    case 1:
      return RGB(255 - ramp, 255, 0);
    case 2:
      return RGB(0, 255, ramp);
    case 3:
      return RGB(0, 255 - ramp, 255);
    case 4:
      return RGB(ramp, 0, 255);
    default:
      return RGB(255, 0, 255 - ramp);
  }
}

TRIVERTEX vertex(LONG x, LONG y, COLORREF colour) {
  // The 16-bit channels take the 8-bit value in their high byte.
  return {.x = x,
          .y = y,
          .Red = static_cast<COLOR16>(GetRValue(colour) << 8),
          .Green = static_cast<COLOR16>(GetGValue(colour) << 8),
          .Blue = static_cast<COLOR16>(GetBValue(colour) << 8)};
}

}  // namespace

HostWindow::HostWindow(bool draw_through_parent) : draw_through_parent_(draw_through_parent) {
  static const ATOM window_class = [] {
    const WNDCLASSEXW description{.cbSize = sizeof(WNDCLASSEXW),
                                  .lpfnWndProc = procedure,
                                  .hInstance = GetModuleHandleW(nullptr),
                                  .lpszClassName = class_name};
    return RegisterClassExW(&description);
  }();
  if (!window_class) throw std::runtime_error("RegisterClassExW failed");
  MONITORINFO monitor{.cbSize = sizeof monitor};
  GetMonitorInfoW(MonitorFromPoint({}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcMonitor;
  if (!CreateWindowExW(0, class_name, L"orvel host example", WS_POPUP, area.left, area.top,
                       area.right - area.left, area.bottom - area.top, nullptr, nullptr,
                       GetModuleHandleW(nullptr), this)) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateWindowExW");
  }
  SetTimer(window_, frame_timer, frame_ms, nullptr);
}

HostWindow::~HostWindow() {
  if (window_) DestroyWindow(window_);
}

void HostWindow::ripple_at(POINT screen) {
  if (!window_ || !ScreenToClient(window_, &screen)) return;
  ripples_.push_back({.center = screen, .started_ms = GetTickCount64()});
}

void HostWindow::turn(int wheel_delta) {
  notches_ =
      ((notches_ + wheel_delta / WHEEL_DELTA) % notches_a_turn + notches_a_turn) % notches_a_turn;
}

void HostWindow::set_drawing(bool drawing) {
  if (!window_ || drawing == drawing_) return;
  drawing_ = drawing;
  if (!drawing) {
    KillTimer(window_, frame_timer);
    return;
  }
  SetTimer(window_, frame_timer, frame_ms, nullptr);
  InvalidateRect(window_, nullptr, FALSE);
}

LRESULT CALLBACK HostWindow::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<HostWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  // A message or two come before WM_NCCREATE.
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  switch (message) {
    case WM_TIMER:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // every pixel is painted in WM_PAINT
    case WM_PAINT: {
      PAINTSTRUCT painting;
      const HDC dc = BeginPaint(window, &painting);
      if (self->drawing_) self->draw_frame(dc);
      EndPaint(window, &painting);
      return 0;
    }
    case WM_NCDESTROY:
      self->window_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void HostWindow::draw_frame(HDC own) {
  RECT client;
  GetClientRect(window_, &client);
  const ULONGLONG now_ms = GetTickCount64();
  const HWND parent = GetAncestor(window_, GA_PARENT);
  DWORD parent_process = 0;
  if (draw_through_parent_ && parent && parent != GetDesktopWindow()) {
    GetWindowThreadProcessId(parent, &parent_process);
  }
  if (!parent_process || parent_process == GetCurrentProcessId()) {
    paint(own, client, now_ms);
    return;
  }
  // Our client area in the parent's client coordinates: the frame goes there and nowhere else.
  RECT place = client;
  MapWindowPoints(window_, parent, reinterpret_cast<POINT*>(&place), 2);
  const HDC dc = GetDCEx(parent, nullptr, DCX_CACHE);
  if (!dc) return;  // no frame this time; the next tick tries again
  IntersectClipRect(dc, place.left, place.top, place.right, place.bottom);
  SetViewportOrgEx(dc, place.left, place.top, nullptr);
  paint(dc, client, now_ms);
  ReleaseDC(parent, dc);
}

void HostWindow::paint(HDC dc, const RECT& client, ULONGLONG now_ms) {
  // Drawn off screen first, so that a frame never shows half done.
  const HDC frame = CreateCompatibleDC(dc);
  const HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
  const HGDIOBJ old_bitmap = SelectObject(frame, bitmap);

  const ULONGLONG step =
      now_ms / 8 + static_cast<ULONGLONG>(notches_) * wheel_steps / notches_a_turn;
  TRIVERTEX corners[] = {vertex(0, 0, wheel(step)),
                         vertex(client.right, client.bottom, wheel(step + wheel_steps / 3))};
  GRADIENT_RECT whole{.UpperLeft = 0, .LowerRight = 1};
  GradientFill(frame, corners, 2, &whole, 1, GRADIENT_FILL_RECT_H);

  const HPEN pen = CreatePen(PS_SOLID, 4, RGB(255, 255, 255));
  const HGDIOBJ old_pen = SelectObject(frame, pen);
  const HGDIOBJ old_brush = SelectObject(frame, GetStockObject(NULL_BRUSH));
  std::erase_if(ripples_, [now_ms](const Ripple& r) { return now_ms - r.started_ms > ripple_ms; });
  for (const Ripple& ripple : ripples_) {
    const auto radius = static_cast<int>((now_ms - ripple.started_ms) / 6);
    Ellipse(frame, ripple.center.x - radius, ripple.center.y - radius, ripple.center.x + radius,
            ripple.center.y + radius);
  }
  SelectObject(frame, old_brush);
  DeleteObject(SelectObject(frame, old_pen));

  SYSTEMTIME time;
  GetLocalTime(&time);
  wchar_t clock[16];
  std::swprintf(clock, std::size(clock), L"%02u:%02u:%02u", time.wHour, time.wMinute, time.wSecond);
  const HFONT font = CreateFontW(client.bottom / 5, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Segoe UI");
  const HGDIOBJ old_font = SelectObject(frame, font);
  SetBkMode(frame, TRANSPARENT);
  SetTextColor(frame, RGB(255, 255, 255));
  RECT text = client;
  DrawTextW(frame, clock, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  DeleteObject(SelectObject(frame, old_font));

  BitBlt(dc, 0, 0, client.right, client.bottom, frame, 0, 0, SRCCOPY);
  DeleteObject(SelectObject(frame, old_bitmap));
  DeleteDC(frame);
}

}  // namespace host_example
