#include "e2e/desktop.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace orvel::e2e {
namespace {

constexpr wchar_t plain_class[] = L"OrvelE2ePlain";

Box box(const RECT& rect) {
  return {.left = rect.left, .top = rect.top, .right = rect.right, .bottom = rect.bottom};
}

const std::wstring stand_in_shell = beside_tests(L"orvel_stand_in_shell.exe");

// The stand-in's line: its layer's handle.
HWND reported_layer(Process& shell) {
  const std::optional<std::string> line = shell.read_line();
  long long layer = 0;
  if (!line || std::sscanf(line->c_str(), "%lld", &layer) != 1) {
    ADD_FAILURE() << "the stand-in shell did not report its layer";
  }
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(layer));
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Box& box) {
  return out << "(" << box.left << ", " << box.top << ")-(" << box.right << ", " << box.bottom
             << ")";
}

Box window_rect(HWND window) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) ADD_FAILURE() << "GetWindowRect failed";
  return box(rect);
}

Box monitor_nearest(HWND window) {
  MONITORINFO info{.cbSize = sizeof(MONITORINFO)};
  if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) {
    ADD_FAILURE() << "GetMonitorInfoW failed";
  }
  return box(info.rcMonitor);
}

DWORD window_style(HWND window) {
  return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
}

Window create_window(const WindowSpec& spec) {
  static const bool registered = [] {
    const WNDCLASSEXW window_class{.cbSize = sizeof(WNDCLASSEXW),
                                   .lpfnWndProc = DefWindowProcW,
                                   .hInstance = GetModuleHandleW(nullptr),
                                   .lpszClassName = plain_class};
    return RegisterClassExW(&window_class) != 0;
  }();
  if (!registered) ADD_FAILURE() << "RegisterClassExW failed";
  const HWND window =
      CreateWindowExW(0, plain_class, L"", spec.style, spec.rect.left, spec.rect.top,
                      spec.rect.right - spec.rect.left, spec.rect.bottom - spec.rect.top,
                      spec.parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window) ADD_FAILURE() << "CreateWindowExW failed: " << GetLastError();
  return Window(window);
}

Shell::Shell(Layout layout, ShellOptions options)
    : look_(options.painted ? L" paint" : L""),
      desktop_(stand_in_shell,
               L"orvel_stand_in_shell.exe desktop " +
                   std::wstring(layout == Layout::classic ? L"classic" : L"raised") +
                   (options.layer_on_request ? L" on-request" : L" present") +
                   (options.virtual_screen ? L" virtual" : L" primary") + look_) {
  layer_ = reported_layer(desktop_);
}

void Shell::restart_taskbar() {
  obey("remove-taskbar");
  taskbar_.emplace(stand_in_shell, L"orvel_stand_in_shell.exe taskbar" + look_);
  reported_layer(*taskbar_);
}

void Shell::obey(std::string_view command) {
  desktop_.write(std::string(command) + "\n");
  layer_ = reported_layer(desktop_);
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
