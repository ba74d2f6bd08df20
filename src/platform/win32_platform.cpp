#include "platform/win32_platform.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/text.h"
#include "platform/win32_handles.h"

namespace orvel {
namespace {

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

DWORD WINAPI run_thread(void* context) {
  const std::unique_ptr<ThreadBody> body(static_cast<ThreadBody*>(context));
  (*body)();
  return 0;
}

// The thread's handle; the thread owns its body from now on.
SysResult<HANDLE> new_thread(ThreadBody body) {
  auto owned = std::make_unique<ThreadBody>(std::move(body));
  const HANDLE thread = CreateThread(nullptr, 0, run_thread, owned.get(), 0, nullptr);
  if (!thread) return last_error("CreateThread");
  static_cast<void>(owned.release());
  return thread;
}

// The console's control events reach the program through this one slot: the system gives the
// callback nothing else.
std::atomic<ConsoleControlHandler*> console_handler{nullptr};

BOOL WINAPI console_trampoline(DWORD event) {
  ConsoleControlHandler* handler = console_handler.load();
  if (!handler) return FALSE;
  handler->on_console_control(static_cast<std::uint32_t>(event));
  // Once this returns, the system ends the process for any event but these two: the main thread
  // ends it instead, when it has closed in order.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(INFINITE);
  return TRUE;
}

}  // namespace

// Writes all of `utf8` to a standard handle: as UTF-16 to a console, which would otherwise show
// it in its own code page, and as bytes, untranslated, to anything else.
SysResult<void> Win32Platform::write_standard(std::uint32_t which, std::atomic<StreamKind>& kind,
                                              std::string_view utf8) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == INVALID_HANDLE_VALUE) return last_error("GetStdHandle");
  if (handle == nullptr) {
    return std::unexpected(
        SysError{.call = "GetStdHandle", .code = hresult_from_last_error(ERROR_INVALID_HANDLE)});
  }
  // Two threads that both ask first get the same answer.
  if (kind.load() == StreamKind::unknown) {
    DWORD mode = 0;
    kind.store(GetConsoleMode(handle, &mode) ? StreamKind::console : StreamKind::other);
  }
  if (kind.load() == StreamKind::console) {
    const std::u16string wide = utf16_from_utf8(utf8);
    for (std::size_t done = 0; done < wide.size();) {
      DWORD written = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      if (!WriteConsoleW(handle, wide.data() + done, chunk, &written, nullptr)) {
        return last_error("WriteConsoleW");
      }
      done += written;
    }
    return {};
  }
  for (std::size_t done = 0; done < utf8.size();) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(utf8.size() - done, 1 << 20));
    if (!WriteFile(handle, utf8.data() + done, chunk, &written, nullptr)) {
      return last_error("WriteFile");
    }
    done += written;
  }
  return {};
}

std::u16string Win32Platform::get_command_line_w() {
  return reinterpret_cast<const char16_t*>(GetCommandLineW());
}

SysResult<void> Win32Platform::write_stdout(std::string_view utf8) {
  return told(write_standard(STD_OUTPUT_HANDLE, stdout_kind_, utf8));
}

SysResult<void> Win32Platform::write_stderr(std::string_view utf8) {
  return told(write_standard(STD_ERROR_HANDLE, stderr_kind_, utf8));
}

Handle Win32Platform::get_std_handle(std::uint32_t which) {
  return handle_cast<Handle>(GetStdHandle(which));
}

SysResult<std::uint32_t> Win32Platform::get_console_mode(Handle handle) {
  DWORD mode = 0;
  if (!GetConsoleMode(handle_cast<HANDLE>(handle), &mode)) return failed("GetConsoleMode");
  return static_cast<std::uint32_t>(mode);
}

SysResult<std::size_t> Win32Platform::read_file(Handle handle, std::span<char> buffer) {
  const auto capacity = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD));
  DWORD read = 0;
  if (!ReadFile(handle_cast<HANDLE>(handle), buffer.data(), capacity, &read, nullptr)) {
    // The rest of a long message of a message-mode pipe comes with the next read.
    if (GetLastError() == ERROR_MORE_DATA) return read;
    return last_error("ReadFile");
  }
  return read;
}

SysResult<std::size_t> Win32Platform::read_console_w(Handle handle, std::span<char16_t> buffer) {
  const auto capacity = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD));
  DWORD read = 0;
  // A Ctrl+Z typed ends the read at once, the Ctrl+Z last, as a line end would.
  CONSOLE_READCONSOLE_CONTROL control{.nLength = sizeof(CONSOLE_READCONSOLE_CONTROL),
                                      .dwCtrlWakeupMask = 1UL << 0x1A};
  if (!ReadConsoleW(handle_cast<HANDLE>(handle), buffer.data(), capacity, &read, &control)) {
    return failed("ReadConsoleW");
  }
  return read;
}

SysResult<Hmodule> Win32Platform::get_module_handle_w(const char16_t* name) {
  const HMODULE module = GetModuleHandleW(to_wide(name));
  if (!module) return failed("GetModuleHandleW");
  return handle_cast<Hmodule>(module);
}

SysResult<std::u16string> Win32Platform::format_message_w(std::uint32_t flags, Hmodule source,
                                                          std::uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(flags, handle_cast<const void*>(source), code, 0,
                                      reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0) return failed("FormatMessageW");
  const LocalBuffer owner(buffer);
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}

SysResult<void> Win32Platform::start_thread(ThreadBody body) {
  const SysResult<HANDLE> thread = told(new_thread(std::move(body)));
  if (!thread) return std::unexpected(thread.error());
  // Nobody waits for the thread; it runs on whether or not its handle closes.
  static_cast<void>(CloseHandle(*thread));
  return {};
}

SysResult<Handle> Win32Platform::create_thread(ThreadBody body) {
  const SysResult<HANDLE> thread = told(new_thread(std::move(body)));
  if (!thread) return std::unexpected(thread.error());
  return handle_cast<Handle>(*thread);
}

SysResult<bool> Win32Platform::wait_for_single_object(Handle handle, std::uint32_t timeout_ms) {
  const DWORD waited = WaitForSingleObject(handle_cast<HANDLE>(handle), timeout_ms);
  if (waited == WAIT_FAILED) return failed("WaitForSingleObject");
  return waited == WAIT_OBJECT_0;
}

SysResult<void> Win32Platform::set_console_ctrl_handler(ConsoleControlHandler* handler) {
  // The slot is filled before the system may call through it, and emptied after it no longer does.
  if (handler) console_handler.store(handler);
  if (!SetConsoleCtrlHandler(console_trampoline, handler ? TRUE : FALSE)) {
    return failed("SetConsoleCtrlHandler");
  }
  if (!handler) console_handler.store(nullptr);
  return {};
}

SysResult<void> Win32Platform::read_own_memory(std::int64_t address, std::span<std::byte> into) {
  SIZE_T copied = 0;
  if (!ReadProcessMemory(GetCurrentProcess(), handle_cast<const void*>(address), into.data(),
                         into.size(), &copied)) {
    return failed("ReadProcessMemory");
  }
  return {};
}

std::chrono::microseconds Win32Platform::monotonic_now() {
  // Neither call fails on any Windows this program runs on.
  LARGE_INTEGER counter{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  // Whole seconds and the rest apart, so that a long uptime does not overflow the product.
  const std::int64_t ticks = counter.QuadPart;
  const std::int64_t per_second = frequency.QuadPart;
  return std::chrono::microseconds{ticks / per_second * 1'000'000 +
                                   ticks % per_second * 1'000'000 / per_second};
}

void Win32Platform::sleep(std::chrono::milliseconds duration) {
  Sleep(static_cast<DWORD>(duration.count()));
}

// The DPI awareness calls came with Windows 10 (1607 and 1703): looked up when first needed, so
// that the program runs on older systems too, with the awareness the process has.
SysResult<void> Win32Platform::set_process_dpi_awareness_context(DpiContext context) {
  using Function = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
  static std::atomic<Function> kept{nullptr};
  const SysResult<Function> function =
      kept_system_function(kept, L"user32.dll", "SetProcessDpiAwarenessContext");
  if (!function) return told<void>(std::unexpected(function.error()));
  if (!(*function)(handle_cast<DPI_AWARENESS_CONTEXT>(context))) {
    return failed("SetProcessDpiAwarenessContext");
  }
  return {};
}

SysResult<DpiContext> Win32Platform::set_thread_dpi_awareness_context(DpiContext context) {
  using Function = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
  static std::atomic<Function> kept{nullptr};
  const SysResult<Function> function =
      kept_system_function(kept, L"user32.dll", "SetThreadDpiAwarenessContext");
  if (!function) return told<DpiContext>(std::unexpected(function.error()));
  const DPI_AWARENESS_CONTEXT previous = (*function)(handle_cast<DPI_AWARENESS_CONTEXT>(context));
  if (!previous) return failed("SetThreadDpiAwarenessContext");
  return handle_cast<DpiContext>(previous);
}

bool Win32Platform::is_window(Hwnd window) {
  return IsWindow(to_hwnd(window)) != FALSE;
}

SysResult<Hwnd> Win32Platform::find_window_a(std::string_view class_name) {
  const std::string name(class_name);
  SetLastError(0);
  const HWND found = FindWindowA(name.c_str(), nullptr);
  if (!found) return failed_unless_none("FindWindowA");
  return from_hwnd(found);
}

SysResult<Hwnd> Win32Platform::find_window_ex_a(Hwnd parent, Hwnd child_after,
                                                std::string_view class_name) {
  const std::string name(class_name);
  SetLastError(0);
  const HWND found = FindWindowExA(to_hwnd(parent), to_hwnd(child_after), name.c_str(), nullptr);
  if (!found) return failed_unless_none("FindWindowExA");
  return from_hwnd(found);
}

void Win32Platform::enum_windows(const WindowVisitor& visit) {
  static_cast<void>(EnumWindows(visit_window, reinterpret_cast<LPARAM>(&visit)));
}

void Win32Platform::enum_child_windows(Hwnd parent, const WindowVisitor& visit) {
  static_cast<void>(
      EnumChildWindows(to_hwnd(parent), visit_window, reinterpret_cast<LPARAM>(&visit)));
}

SysResult<std::size_t> Win32Platform::get_class_name_w(Hwnd window, std::span<char16_t> name) {
  const int length = GetClassNameW(to_hwnd(window), reinterpret_cast<wchar_t*>(name.data()),
                                   static_cast<int>(name.size()));
  if (length == 0) return failed("GetClassNameW");
  return static_cast<std::size_t>(length);
}

std::optional<Hwnd> Win32Platform::get_ancestor(Hwnd window, std::uint32_t flags) {
  return optional_window(GetAncestor(to_hwnd(window), flags));
}

std::optional<Hwnd> Win32Platform::window_from_point(Point point) {
  return optional_window(WindowFromPoint(POINT{.x = point.x, .y = point.y}));
}

std::optional<Hwnd> Win32Platform::get_foreground_window() {
  return optional_window(GetForegroundWindow());
}

SysResult<Hwnd> Win32Platform::get_window(Hwnd window, std::uint32_t command) {
  // A window with no such relative leaves the last error as it was, so it reads 0 then.
  SetLastError(0);
  const HWND relative = GetWindow(to_hwnd(window), command);
  if (!relative) return failed_unless_none("GetWindow");
  return from_hwnd(relative);
}

Hwnd Win32Platform::get_desktop_window() {
  return from_hwnd(GetDesktopWindow());
}

SysResult<WindowOwner> Win32Platform::get_window_thread_process_id(Hwnd window) {
  DWORD process_id = 0;
  const DWORD thread_id = GetWindowThreadProcessId(to_hwnd(window), &process_id);
  if (thread_id == 0) return failed("GetWindowThreadProcessId");
  return WindowOwner{.thread_id = static_cast<std::uint32_t>(thread_id),
                     .process_id = static_cast<std::uint32_t>(process_id)};
}

SysResult<Rect> Win32Platform::get_window_rect(Hwnd window) {
  RECT rect{};
  if (!GetWindowRect(to_hwnd(window), &rect)) return failed("GetWindowRect");
  return from_rect(rect);
}

SysResult<Rect> Win32Platform::map_window_points(Hwnd from, Hwnd to, const Rect& rect) {
  RECT mapped{.left = rect.left, .top = rect.top, .right = rect.right, .bottom = rect.bottom};
  // Zero is a valid result, when the two origins are the same: only a set last error tells.
  SetLastError(0);
  if (MapWindowPoints(to_hwnd(from), to_hwnd(to), reinterpret_cast<POINT*>(&mapped), 2) == 0 &&
      GetLastError() != 0) {
    return failed("MapWindowPoints");
  }
  return from_rect(mapped);
}

SysResult<std::int64_t> Win32Platform::get_window_long_ptr_w(Hwnd window, int index) {
  // Zero is a valid value, so only a set last error tells a failure.
  SetLastError(0);
  const LONG_PTR value = GetWindowLongPtrW(to_hwnd(window), index);
  if (value == 0 && GetLastError() != 0) return failed("GetWindowLongPtrW");
  return value;
}

SysResult<std::int64_t> Win32Platform::set_window_long_ptr_w(Hwnd window, int index,
                                                             std::int64_t value) {
  return watched("SetWindowLongPtrW", [&]() -> SysResult<std::int64_t> {
    SetLastError(0);
    const LONG_PTR previous = SetWindowLongPtrW(to_hwnd(window), index, value);
    if (previous == 0 && GetLastError() != 0) return failed("SetWindowLongPtrW");
    return previous;
  });
}

SysResult<Hwnd> Win32Platform::set_parent(Hwnd child, Hwnd new_parent) {
  return watched("SetParent", [&]() -> SysResult<Hwnd> {
    const HWND previous = SetParent(to_hwnd(child), to_hwnd(new_parent));
    if (!previous) return failed("SetParent");
    return from_hwnd(previous);
  });
}

SysResult<void> Win32Platform::set_window_pos(Hwnd window, Hwnd insert_after, int x, int y,
                                              int width, int height, std::uint32_t flags) {
  return watched("SetWindowPos", [&]() -> SysResult<void> {
    if (!SetWindowPos(to_hwnd(window), to_hwnd(insert_after), x, y, width, height, flags)) {
      return failed("SetWindowPos");
    }
    return {};
  });
}

SysResult<void> Win32Platform::invalidate_rect(Hwnd window, bool erase) {
  SetLastError(0);
  if (!InvalidateRect(to_hwnd(window), nullptr, erase ? TRUE : FALSE)) {
    return failed("InvalidateRect");
  }
  return {};
}

SysResult<void> Win32Platform::update_window(Hwnd window) {
  return watched("UpdateWindow", [&]() -> SysResult<void> {
    SetLastError(0);
    if (!UpdateWindow(to_hwnd(window))) return failed("UpdateWindow");
    return {};
  });
}

Hmonitor Win32Platform::monitor_from_window(Hwnd window, std::uint32_t flags) {
  return handle_cast<Hmonitor>(MonitorFromWindow(to_hwnd(window), flags));
}

SysResult<MonitorInfo> Win32Platform::get_monitor_info_w(Hmonitor monitor) {
  MONITORINFOEXW info{};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(handle_cast<HMONITOR>(monitor), &info)) {
    return failed("GetMonitorInfoW");
  }
  return MonitorInfo{.monitor = from_rect(info.rcMonitor),
                     .work = from_rect(info.rcWork),
                     .primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0,
                     .device = reinterpret_cast<const char16_t*>(info.szDevice)};
}

void Win32Platform::enum_display_monitors(const MonitorVisitor& visit) {
  const auto each = [](HMONITOR monitor, HDC, RECT*, LPARAM context) -> BOOL {
    (*reinterpret_cast<const MonitorVisitor*>(context))(handle_cast<Hmonitor>(monitor));
    return TRUE;
  };
  static_cast<void>(EnumDisplayMonitors(nullptr, nullptr, each, reinterpret_cast<LPARAM>(&visit)));
}

SysResult<void> Win32Platform::system_parameters_info_w(std::uint32_t action, std::uint32_t param,
                                                        const char16_t* text, std::uint32_t flags) {
  // The call takes a mutable pointer but does not write through it for this use.
  auto* argument = const_cast<wchar_t*>(to_wide(text));
  return watched("SystemParametersInfoW", [&]() -> SysResult<void> {
    if (!SystemParametersInfoW(action, param, argument, flags)) {
      return failed("SystemParametersInfoW");
    }
    return {};
  });
}

void Win32Platform::set_call_observer(CallObserver* observer) {
  observer_.store(observer);
}

std::unexpected<SysError> Win32Platform::failed(std::string_view call) {
  const std::unexpected<SysError> error = last_error(call);
  tell(error.error());
  return error;
}

std::unexpected<SysError> Win32Platform::failed_unless_none(std::string_view call) {
  const std::unexpected<SysError> error = last_error(call);
  if (error.error().code != 0) tell(error.error());
  return error;
}

void Win32Platform::tell(const SysError& error) {
  if (CallObserver* observer = observer_.load()) observer->failed(error);
}

void Win32Platform::tell_waited(std::string_view call, std::chrono::milliseconds how_long) {
  if (CallObserver* observer = observer_.load()) observer->waited(call, how_long);
}

void end_process(int code) {
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace orvel
