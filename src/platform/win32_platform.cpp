#include "platform/win32_platform.h"

#include <windows.h>

#include <thread>

#include "platform/text.h"

namespace orvel {
namespace {

HWND to_hwnd(Hwnd window) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(window));
}
Hwnd from_hwnd(HWND window) {
  return static_cast<Hwnd>(reinterpret_cast<std::intptr_t>(window));
}
HMONITOR to_hmonitor(Hmonitor monitor) {
  return reinterpret_cast<HMONITOR>(static_cast<std::intptr_t>(monitor));
}
DPI_AWARENESS_CONTEXT to_dpi_context(DpiContext context) {
  return reinterpret_cast<DPI_AWARENESS_CONTEXT>(static_cast<std::intptr_t>(context));
}
const wchar_t* to_wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
Rect from_rect(const RECT& rect) {
  return {.left = rect.left, .top = rect.top, .right = rect.right, .bottom = rect.bottom};
}

std::unexpected<LastError> last_error() {
  return std::unexpected(static_cast<LastError>(GetLastError()));
}

// Owns a buffer that the system allocated with LocalAlloc.
class LocalBuffer {
 public:
  explicit LocalBuffer(void* buffer) : buffer_(buffer) {}
  LocalBuffer(const LocalBuffer&) = delete;
  LocalBuffer& operator=(const LocalBuffer&) = delete;
  ~LocalBuffer() { LocalFree(buffer_); }

 private:
  void* buffer_;
};

// Hands each window of an enumeration to the program's visitor.
BOOL CALLBACK visit_window(HWND window, LPARAM context) {
  const auto& visit = *reinterpret_cast<const WindowVisitor*>(context);
  return visit(from_hwnd(window)) ? TRUE : FALSE;
}

// Writes all of `utf8` to a standard handle: as UTF-16 to a console, which would otherwise show
// it in its own code page, and as bytes, untranslated, to anything else.
SysResult<void> write_standard(DWORD which, std::string_view utf8) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == INVALID_HANDLE_VALUE) return last_error();
  if (handle == nullptr) return std::unexpected(LastError{ERROR_INVALID_HANDLE});

  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    const std::u16string wide = utf16_from_utf8(utf8);
    for (std::size_t done = 0; done < wide.size();) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      if (!WriteConsoleW(handle, wide.data() + done, chunk, &written, nullptr)) {
        return last_error();
      }
      done += written;
    }
    return {};
  }
  for (std::size_t done = 0; done < utf8.size();) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(utf8.size() - done, 1 << 20));
    if (!WriteFile(handle, utf8.data() + done, chunk, &written, nullptr)) return last_error();
    done += written;
  }
  return {};
}

}  // namespace

std::u16string Win32Platform::get_command_line_w() {
  return reinterpret_cast<const char16_t*>(GetCommandLineW());
}

SysResult<void> Win32Platform::write_stdout(std::string_view utf8) {
  return write_standard(STD_OUTPUT_HANDLE, utf8);
}

SysResult<void> Win32Platform::write_stderr(std::string_view utf8) {
  return write_standard(STD_ERROR_HANDLE, utf8);
}

SysResult<Hmodule> Win32Platform::get_module_handle_w(const char16_t* name) {
  const HMODULE module = GetModuleHandleW(to_wide(name));
  if (!module) return last_error();
  return static_cast<Hmodule>(reinterpret_cast<std::intptr_t>(module));
}

SysResult<std::u16string> Win32Platform::format_message_w(std::uint32_t flags, Hmodule source,
                                                          std::uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(flags, reinterpret_cast<const void*>(static_cast<std::intptr_t>(source)), code,
                     0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0) return last_error();
  const LocalBuffer owner(buffer);
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}

std::chrono::microseconds Win32Platform::monotonic_now() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

void Win32Platform::sleep(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

SysResult<void> Win32Platform::set_process_dpi_awareness_context(DpiContext context) {
  if (!SetProcessDpiAwarenessContext(to_dpi_context(context))) return last_error();
  return {};
}

SysResult<DpiContext> Win32Platform::set_thread_dpi_awareness_context(DpiContext context) {
  const DPI_AWARENESS_CONTEXT previous = SetThreadDpiAwarenessContext(to_dpi_context(context));
  if (!previous) return last_error();
  return static_cast<DpiContext>(reinterpret_cast<std::intptr_t>(previous));
}

bool Win32Platform::is_window(Hwnd window) {
  return IsWindow(to_hwnd(window)) != FALSE;
}

SysResult<Hwnd> Win32Platform::find_window_a(std::string_view class_name) {
  const std::string name(class_name);
  const HWND found = FindWindowA(name.c_str(), nullptr);
  if (!found) return last_error();
  return from_hwnd(found);
}

SysResult<Hwnd> Win32Platform::find_window_ex_a(Hwnd parent, Hwnd child_after,
                                                std::string_view class_name) {
  const std::string name(class_name);
  const HWND found = FindWindowExA(to_hwnd(parent), to_hwnd(child_after), name.c_str(), nullptr);
  if (!found) return last_error();
  return from_hwnd(found);
}

SysResult<void> Win32Platform::enum_windows(const WindowVisitor& visit) {
  if (!EnumWindows(visit_window, reinterpret_cast<LPARAM>(&visit))) return last_error();
  return {};
}

SysResult<void> Win32Platform::enum_child_windows(Hwnd parent, const WindowVisitor& visit) {
  if (!EnumChildWindows(to_hwnd(parent), visit_window, reinterpret_cast<LPARAM>(&visit))) {
    return last_error();
  }
  return {};
}

SysResult<std::u16string> Win32Platform::get_class_name_w(Hwnd window, int capacity) {
  std::u16string name(static_cast<std::size_t>(capacity), u'\0');
  const int length =
      GetClassNameW(to_hwnd(window), reinterpret_cast<wchar_t*>(name.data()), capacity);
  if (length == 0) return last_error();
  name.resize(static_cast<std::size_t>(length));
  return name;
}

SysResult<Hwnd> Win32Platform::get_ancestor(Hwnd window, std::uint32_t flags) {
  const HWND ancestor = GetAncestor(to_hwnd(window), flags);
  if (!ancestor) return last_error();
  return from_hwnd(ancestor);
}

SysResult<Rect> Win32Platform::get_window_rect(Hwnd window) {
  RECT rect{};
  if (!GetWindowRect(to_hwnd(window), &rect)) return last_error();
  return from_rect(rect);
}

SysResult<Point> Win32Platform::screen_to_client(Hwnd window, Point point) {
  POINT converted{.x = point.x, .y = point.y};
  if (!ScreenToClient(to_hwnd(window), &converted)) return last_error();
  return Point{.x = converted.x, .y = converted.y};
}

SysResult<std::int64_t> Win32Platform::get_window_long_ptr_w(Hwnd window, int index) {
  // Zero is a valid value, so only a set last error tells a failure.
  SetLastError(0);
  const LONG_PTR value = GetWindowLongPtrW(to_hwnd(window), index);
  if (value == 0 && GetLastError() != 0) return last_error();
  return value;
}

SysResult<std::int64_t> Win32Platform::set_window_long_ptr_w(Hwnd window, int index,
                                                             std::int64_t value) {
  SetLastError(0);
  const LONG_PTR previous = SetWindowLongPtrW(to_hwnd(window), index, value);
  if (previous == 0 && GetLastError() != 0) return last_error();
  return previous;
}

SysResult<Hwnd> Win32Platform::set_parent(Hwnd child, Hwnd new_parent) {
  const HWND previous = SetParent(to_hwnd(child), to_hwnd(new_parent));
  if (!previous) return last_error();
  return from_hwnd(previous);
}

SysResult<void> Win32Platform::set_window_pos(Hwnd window, Hwnd insert_after, int x, int y,
                                              int width, int height, std::uint32_t flags) {
  if (!SetWindowPos(to_hwnd(window), to_hwnd(insert_after), x, y, width, height, flags)) {
    return last_error();
  }
  return {};
}

SysResult<void> Win32Platform::send_message_timeout_w(Hwnd window, std::uint32_t message,
                                                      std::uint64_t wparam, std::int64_t lparam,
                                                      std::uint32_t flags,
                                                      std::uint32_t timeout_ms) {
  if (!SendMessageTimeoutW(to_hwnd(window), message, wparam, lparam, flags, timeout_ms, nullptr)) {
    return last_error();
  }
  return {};
}

Hmonitor Win32Platform::monitor_from_window(Hwnd window, std::uint32_t flags) {
  return static_cast<Hmonitor>(
      reinterpret_cast<std::intptr_t>(MonitorFromWindow(to_hwnd(window), flags)));
}

SysResult<MonitorInfo> Win32Platform::get_monitor_info_w(Hmonitor monitor) {
  MONITORINFO info{.cbSize = sizeof(info), .rcMonitor = {}, .rcWork = {}, .dwFlags = 0};
  if (!GetMonitorInfoW(to_hmonitor(monitor), &info)) return last_error();
  return MonitorInfo{.monitor = from_rect(info.rcMonitor), .work = from_rect(info.rcWork)};
}

SysResult<void> Win32Platform::system_parameters_info_w(std::uint32_t action, std::uint32_t param,
                                                        const char16_t* text, std::uint32_t flags) {
  // The call takes a mutable pointer but does not write through it for this use.
  auto* argument = const_cast<wchar_t*>(to_wide(text));
  if (!SystemParametersInfoW(action, param, argument, flags)) return last_error();
  return {};
}

}  // namespace orvel
