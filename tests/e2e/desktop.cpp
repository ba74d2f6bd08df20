#include "e2e/desktop.h"

#include <gtest/gtest.h>

#include <utility>

namespace orvel::e2e {
namespace {

constexpr wchar_t host_class[] = L"OrvelE2eHost";

LRESULT CALLBACK host_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  } else if (message == WM_STYLECHANGING) {
    auto* requests =
        reinterpret_cast<std::vector<StyleRequest>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    const auto* change = reinterpret_cast<const STYLESTRUCT*>(lparam);
    requests->push_back({.index = static_cast<int>(wparam),
                         .requested = change->styleNew,
                         .parent = GetAncestor(window, GA_PARENT)});
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void register_class(const wchar_t* name, WNDPROC procedure) {
  const WNDCLASSEXW window_class{.cbSize = sizeof(WNDCLASSEXW),
                                 .lpfnWndProc = procedure,
                                 .hInstance = GetModuleHandleW(nullptr),
                                 .lpszClassName = name};
  if (!RegisterClassExW(&window_class)) ADD_FAILURE() << "RegisterClassExW failed";
}

// The shell's classes are ours in this process; the helper only ever reads their names.
void register_classes_once() {
  static const bool registered = [] {
    for (const wchar_t* name :
         {L"Progman", L"SHELLDLL_DefView", L"WorkerW", L"Shell_TrayWnd", plain_class}) {
      register_class(name, DefWindowProcW);
    }
    register_class(host_class, host_procedure);
    return true;
  }();
  static_cast<void>(registered);
}

HWND create(const WindowSpec& spec, void* creation_data) {
  register_classes_once();
  const HWND window = CreateWindowExW(
      spec.ex_style, spec.class_name, L"", spec.style, spec.rect.left, spec.rect.top,
      spec.rect.right - spec.rect.left, spec.rect.bottom - spec.rect.top, spec.parent, nullptr,
      GetModuleHandleW(nullptr), creation_data);
  if (!window) ADD_FAILURE() << "CreateWindowExW failed: " << GetLastError();
  return window;
}

Box box(const RECT& rect) {
  return {.left = rect.left, .top = rect.top, .right = rect.right, .bottom = rect.bottom};
}

Box monitor_rect(HMONITOR monitor) {
  MONITORINFO info{.cbSize = sizeof(MONITORINFO)};
  if (!GetMonitorInfoW(monitor, &info)) ADD_FAILURE() << "GetMonitorInfoW failed";
  return box(info.rcMonitor);
}

Box moved(Box box, LONG dx, LONG dy) {
  return {.left = box.left + dx,
          .top = box.top + dy,
          .right = box.right + dx,
          .bottom = box.bottom + dy};
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Box& box) {
  return out << "(" << box.left << ", " << box.top << ")-(" << box.right << ", " << box.bottom
             << ")";
}

std::ostream& operator<<(std::ostream& out, const StyleRequest& request) {
  return out << "{index " << request.index << ", requested 0x" << std::hex << request.requested
             << std::dec << ", parent " << request.parent << "}";
}

std::ostream& operator<<(std::ostream& out, Layout layout) {
  return out << (layout == Layout::classic ? "Classic" : "Raised");
}

Box window_rect(HWND window) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) ADD_FAILURE() << "GetWindowRect failed";
  return box(rect);
}

Box rect_in_parent(HWND window) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) ADD_FAILURE() << "GetWindowRect failed";
  MapWindowPoints(HWND_DESKTOP, GetAncestor(window, GA_PARENT), reinterpret_cast<POINT*>(&rect), 2);
  return box(rect);
}

POINT client_origin(HWND window) {
  POINT origin{};
  ClientToScreen(window, &origin);
  return origin;
}

Box monitor_nearest(HWND window) {
  return monitor_rect(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

DWORD window_style(HWND window) {
  return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
}

DWORD window_ex_style(HWND window) {
  return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
}

HWND create_window(const WindowSpec& spec) {
  return create(spec, nullptr);
}

Window::Window(Window&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Window::~Window() {
  if (handle_) DestroyWindow(handle_);
}

HostWindow::HostWindow(WindowSpec spec)
    : window_(create({.class_name = host_class,
                      .style = spec.style & ~(spec.parent ? DWORD{WS_POPUP} : 0),
                      .ex_style = spec.ex_style,
                      .rect = spec.rect,
                      .parent = spec.parent},
                     &requests_)) {
  // A window created with both WS_CHILD and WS_POPUP is a popup owned by its parent, while an
  // attached host window is a child that keeps WS_POPUP: the bit comes after creation.
  if (spec.parent && (spec.style & WS_POPUP)) {
    SetWindowLongPtrW(get(), GWL_STYLE, LONG_PTR{spec.style});
    requests_.clear();
  }
}

Shell::Shell(Layout layout) {
  const Box screen = monitor_rect(MonitorFromPoint({}, MONITOR_DEFAULTTOPRIMARY));
  const Box whole = moved(screen, -screen.left, -screen.top);
  constexpr DWORD top_level = WS_POPUP | WS_VISIBLE;
  constexpr DWORD child = WS_CHILD | WS_VISIBLE;
  top_level_.reserve(4);
  // A new top-level window goes on top of the others, a new child below its siblings.
  switch (layout) {
    case Layout::classic: {
      top_level_.emplace_back(
          create_window({.class_name = L"Progman", .style = top_level, .rect = screen}));
      top_level_.emplace_back(create_window(
          {.class_name = L"WorkerW", .style = top_level, .rect = moved(screen, 200, 150)}));
      layer_ = top_level_.back().get();
      top_level_.emplace_back(
          create_window({.class_name = L"WorkerW", .style = top_level, .rect = screen}));
      create_window({.class_name = L"SHELLDLL_DefView",
                     .style = child,
                     .rect = whole,
                     .parent = top_level_.back().get()});
      break;
    }
    case Layout::raised: {
      top_level_.emplace_back(create_window(
          {.class_name = L"Progman", .style = top_level, .rect = moved(screen, 60, 40)}));
      const HWND progman = top_level_.back().get();
      create_window(
          {.class_name = L"SHELLDLL_DefView", .style = child, .rect = whole, .parent = progman});
      layer_ = create_window({.class_name = L"WorkerW",
                              .style = child,
                              .rect = moved(whole, 100, 50),
                              .parent = progman});
      break;
    }
  }
  top_level_.emplace_back(create_window({.class_name = L"Shell_TrayWnd",
                                         .style = top_level,
                                         .rect = {.left = screen.left,
                                                  .top = screen.bottom - 40,
                                                  .right = screen.right,
                                                  .bottom = screen.bottom}}));
}

}  // namespace orvel::e2e
