#include "e2e/desktop.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
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

void register_classes_once() {
  static const bool registered = [] {
    register_class(plain_class, DefWindowProcW);
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

const std::wstring stand_in_shell = beside_tests(L"orvel_stand_in_shell.exe");

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

Shell::Shell(Layout layout, Layer layer, Area area, Look look)
    : look_(look == Look::painted ? L" paint" : L""),
      desktop_(stand_in_shell,
               L"orvel_stand_in_shell.exe desktop " +
                   std::wstring(layout == Layout::classic ? L"classic" : L"raised") +
                   (layer == Layer::present ? L" present" : L" on-request") +
                   (area == Area::primary_monitor ? L" primary" : L" virtual") + look_) {
  take_windows(desktop_);
}

void Shell::restart_taskbar() {
  obey("remove-taskbar");
  taskbar_.emplace(stand_in_shell, L"orvel_stand_in_shell.exe taskbar" + look_);
  take_windows(*taskbar_);
}

void Shell::obey(std::string_view command) {
  desktop_.write(std::string(command) + "\n");
  take_windows(desktop_);
}

// The stand-in's line: "<layer> <taskbar> <process id>".
void Shell::take_windows(Process& shell) {
  const std::optional<std::string> line = shell.read_line();
  long long layer = 0;
  long long taskbar = 0;
  unsigned long process = 0;
  if (!line || std::sscanf(line->c_str(), "%lld %lld %lu", &layer, &taskbar, &process) != 3) {
    ADD_FAILURE() << "the stand-in shell did not report its windows";
    return;
  }
  // Only the first process has a layer; the taskbar is in whichever has one.
  if (&shell == &desktop_) layer_ = reinterpret_cast<HWND>(static_cast<std::intptr_t>(layer));
  if (taskbar) taskbar_process_ = static_cast<DWORD>(process);
}

std::string attached_line(HWND host, HWND layer, Layout layout) {
  return "{\"event\":\"attached\",\"hwnd\":" + handle_text(host) +
         ",\"workerw\":" + handle_text(layer) + ",\"mode\":\"" +
         (layout == Layout::classic ? "classic" : "raised") + "\"}";
}

std::string host_event(const char* name, HWND host) {
  return "{\"event\":\"" + std::string(name) + "\",\"hwnd\":" + handle_text(host) + "}";
}

}  // namespace orvel::e2e
