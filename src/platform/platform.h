#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace orvel {

// The program's side of a window of its own: Windows hands it each message. It must outlive the
// window, and no exception may leave it.
class WindowHandler {
 public:
  virtual std::int64_t on_message(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                  std::int64_t lparam) noexcept = 0;

 protected:
  ~WindowHandler() = default;
};

// The program's side of its WinEvent hooks: only the event, its window and its object are used.
class WinEventHandler {
 public:
  virtual void on_win_event(std::uint32_t event, Hwnd window, std::int32_t object_id) noexcept = 0;

 protected:
  ~WinEventHandler() = default;
};

// Told, on the thread that made it, of every call that fails (but for a lookup that merely found
// nothing, and the file calls, which the trace itself makes), and of every call into another
// process's window that waited for it more than a second.
class CallObserver {
 public:
  virtual void failed(const SysError& error) noexcept = 0;
  virtual void waited(std::string_view call, std::chrono::milliseconds how_long) noexcept = 0;

 protected:
  ~CallObserver() = default;
};

// The program's side of the console's control events (Ctrl+C, Ctrl+Break, the console closed, the
// user logging off, the system shutting down), on a thread the system makes for each.
class ConsoleControlHandler {
 public:
  virtual void on_console_control(std::uint32_t event) noexcept = 0;

 protected:
  ~ConsoleControlHandler() = default;
};

// What a new thread runs; the thread owns it, and whatever it holds, until it ends.
using ThreadBody = std::function<void()>;

// Enumeration callback: return true to go on with the next window.
using WindowVisitor = std::function<bool(Hwnd)>;
using MonitorVisitor = std::function<void(Hmonitor)>;

struct WindowCreation {
  std::string_view class_name;   // ASCII
  std::string_view window_name;  // ASCII
  Hmodule instance = 0;
  // Reached by every message of the window from its creation on.
  WindowHandler* handler = nullptr;
};

// Process, threads, time and the standard streams.
class ProcessCalls {
 public:
  virtual std::u16string get_command_line_w() = 0;
  virtual SysResult<void> write_stdout(std::string_view utf8) = 0;
  virtual SysResult<void> write_stderr(std::string_view utf8) = 0;
  // INVALID_HANDLE_VALUE when the call fails, 0 when the process has no such handle.
  virtual Handle get_std_handle(std::uint32_t which) = 0;
  virtual SysResult<std::uint32_t> get_console_mode(Handle handle) = 0;
  // ReadFile: the count of bytes read, 0 at the end of a file or a pipe. A message of a
  // message-mode pipe that is longer than the buffer is read in parts, each a success.
  virtual SysResult<std::size_t> read_file(Handle handle, std::span<char> buffer) = 0;
  // A file opened to read and write, made when missing, shared with other readers and writers;
  // its position, its size, its end cut at the position, writing at the position, closing.
  virtual SysResult<Handle> create_file_w(std::u16string_view path) = 0;
  virtual SysResult<void> set_file_pointer_ex(Handle file, std::int64_t offset,
                                              std::uint32_t method) = 0;
  virtual SysResult<std::uint64_t> get_file_size_ex(Handle file) = 0;
  virtual SysResult<void> set_end_of_file(Handle file) = 0;
  virtual SysResult<void> write_file(Handle file, std::string_view bytes) = 0;
  virtual SysResult<void> close_handle(Handle handle) = 0;
  // LockFileEx and UnlockFileEx of `length` bytes at `offset`, exclusively: the lock waits for
  // another process that holds a part of them. A region beyond the file's end locks no data.
  virtual SysResult<void> lock_file_ex(Handle file, std::uint64_t offset, std::uint64_t length) = 0;
  virtual SysResult<void> unlock_file_ex(Handle file, std::uint64_t offset,
                                         std::uint64_t length) = 0;
  virtual std::uint32_t get_current_process_id() = 0;
  virtual SysResult<std::u16string> get_environment_variable_w(std::u16string_view name) = 0;
  // RtlGetVersion.
  virtual SysResult<SystemVersion> rtl_get_version() = 0;
  // ReadConsoleW: the count of UTF-16 units read.
  virtual SysResult<std::size_t> read_console_w(Handle handle, std::span<char16_t> buffer) = 0;
  // `name` null names the program's own module.
  virtual SysResult<Hmodule> get_module_handle_w(const char16_t* name) = 0;
  // FormatMessageW in language 0 with no inserts; `flags` include FORMAT_MESSAGE_ALLOCATE_BUFFER.
  virtual SysResult<std::u16string> format_message_w(std::uint32_t flags, Hmodule source,
                                                     std::uint32_t code) = 0;
  // A new thread running `body`, its handle closed at once: nobody joins it.
  virtual SysResult<void> start_thread(ThreadBody body) = 0;
  // A new thread running `body`, and its handle, which the caller may wait on and must close.
  virtual SysResult<Handle> create_thread(ThreadBody body) = 0;
  // WaitForSingleObject: true when `handle` was signalled within `timeout_ms`, false when not.
  virtual SysResult<bool> wait_for_single_object(Handle handle, std::uint32_t timeout_ms) = 0;
  // SetConsoleCtrlHandler: the handler that the console's control events reach from now on, in
  // place of the default one that ends the process; null gives the default one back. For the
  // events that end the process once handled (close, log-off, shut-down), the thread that handled
  // it then waits, so that the process ends from its own main thread, in order.
  virtual SysResult<void> set_console_ctrl_handler(ConsoleControlHandler* handler) = 0;
  // ReadProcessMemory of this process: copies `into.size()` bytes from `address`, or fails
  // without touching memory that cannot be read.
  virtual SysResult<void> read_own_memory(std::int64_t address, std::span<std::byte> into) = 0;
  virtual SysResult<SystemPowerStatus> get_system_power_status() = 0;

  // The high-resolution monotonic clock, and plain sleeps on the calling thread.
  virtual std::chrono::microseconds monotonic_now() = 0;
  virtual void sleep(std::chrono::milliseconds duration) = 0;

  virtual SysResult<void> set_process_dpi_awareness_context(DpiContext context) = 0;
  // Gives the thread's previous context.
  virtual SysResult<DpiContext> set_thread_dpi_awareness_context(DpiContext context) = 0;

  // Not a call of Windows: who hears of failed and long calls from now on; null for nobody.
  virtual void set_call_observer(CallObserver* observer) = 0;

 protected:
  ~ProcessCalls() = default;
};

// Window lookup, enumeration, parenting, styles, positions, monitors and painting.
class WindowCalls {
 public:
  virtual bool is_window(Hwnd window) = 0;
  virtual SysResult<Hwnd> find_window_a(std::string_view class_name) = 0;
  virtual SysResult<Hwnd> find_window_ex_a(Hwnd parent, Hwnd child_after,
                                           std::string_view class_name) = 0;
  // Neither result tells a failure apart from a visitor that stopped early, so both are bare.
  virtual void enum_windows(const WindowVisitor& visit) = 0;
  virtual void enum_child_windows(Hwnd parent, const WindowVisitor& visit) = 0;
  // GetClassNameW into `name`: the count of units written, without the terminating null.
  virtual SysResult<std::size_t> get_class_name_w(Hwnd window, std::span<char16_t> name) = 0;
  // These set no last error: empty when the call gives no window.
  virtual std::optional<Hwnd> get_ancestor(Hwnd window, std::uint32_t flags) = 0;
  virtual std::optional<Hwnd> window_from_point(Point point) = 0;
  virtual std::optional<Hwnd> get_foreground_window() = 0;
  virtual SysResult<Hwnd> get_window(Hwnd window, std::uint32_t command) = 0;
  virtual Hwnd get_desktop_window() = 0;
  virtual SysResult<WindowOwner> get_window_thread_process_id(Hwnd window) = 0;

  // Neither sets a last error.
  virtual bool is_window_visible(Hwnd window) = 0;
  virtual bool is_iconic(Hwnd window) = 0;

  virtual SysResult<Rect> get_window_rect(Hwnd window) = 0;
  // DwmGetWindowAttribute into `value`, from dwmapi.dll loaded from the system folder at the first
  // call. Fails with the loader's error where the system has no such function, and with the
  // call's HRESULT where the call fails.
  virtual SysResult<void> dwm_get_window_attribute(Hwnd window, std::uint32_t attribute,
                                                   std::span<std::byte> value) = 0;
  // MapWindowPoints of a rectangle's two corners from one window's client coordinates to
  // another's (0 for the screen): on a mirrored (right-to-left) window the rectangle's left edge
  // becomes its right one, as the system measures it there.
  virtual SysResult<Rect> map_window_points(Hwnd from, Hwnd to, const Rect& rect) = 0;
  virtual SysResult<std::int64_t> get_window_long_ptr_w(Hwnd window, int index) = 0;
  // Gives the previous value.
  virtual SysResult<std::int64_t> set_window_long_ptr_w(Hwnd window, int index,
                                                        std::int64_t value) = 0;
  // Gives the previous parent.
  virtual SysResult<Hwnd> set_parent(Hwnd child, Hwnd new_parent) = 0;
  virtual SysResult<void> set_window_pos(Hwnd window, Hwnd insert_after, int x, int y, int width,
                                         int height, std::uint32_t flags) = 0;
  // InvalidateRect of the whole client area, and UpdateWindow.
  virtual SysResult<void> invalidate_rect(Hwnd window, bool erase) = 0;
  virtual SysResult<void> update_window(Hwnd window) = 0;

  virtual Hmonitor monitor_from_window(Hwnd window, std::uint32_t flags) = 0;
  // GetMonitorInfoW into a MONITORINFOEXW.
  virtual SysResult<MonitorInfo> get_monitor_info_w(Hmonitor monitor) = 0;
  // EnumDisplayMonitors over the whole virtual screen.
  virtual void enum_display_monitors(const MonitorVisitor& visit) = 0;
  // GetDpiForMonitor's effective DPI, from shcore.dll loaded from the system folder.
  virtual SysResult<std::uint32_t> get_dpi_for_monitor(Hmonitor monitor) = 0;
  // DwmIsCompositionEnabled, from dwmapi.dll loaded from the system folder.
  virtual SysResult<bool> dwm_is_composition_enabled() = 0;

  // The desktop that receives the user's input, and its release; the calling thread's own desktop,
  // which is never released; the name of either.
  virtual SysResult<Hdesk> open_input_desktop(std::uint32_t flags, bool inherit,
                                              std::uint32_t access) = 0;
  virtual SysResult<void> close_desktop(Hdesk desktop) = 0;
  virtual SysResult<Hdesk> get_thread_desktop() = 0;
  // GetUserObjectInformationW for a text value, such as UOI_NAME.
  virtual SysResult<std::u16string> get_user_object_information_w(Hdesk object, int index) = 0;

  // SystemParametersInfoW with a string parameter, which may be null.
  virtual SysResult<void> system_parameters_info_w(std::uint32_t action, std::uint32_t param,
                                                   const char16_t* text, std::uint32_t flags) = 0;

 protected:
  ~WindowCalls() = default;
};

// The program's own window class and window, its thread's message queue, and timers.
class MessageCalls {
 public:
  // The class of windows whose messages go to the handler given at their creation.
  virtual SysResult<std::uint16_t> register_class_a(std::string_view class_name,
                                                    Hmodule instance) = 0;
  virtual SysResult<std::uint32_t> register_window_message_w(std::u16string_view name) = 0;
  virtual SysResult<Hwnd> create_window_ex_a(const WindowCreation& creation) = 0;
  virtual SysResult<void> destroy_window(Hwnd window) = 0;
  virtual std::int64_t def_window_proc_a(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                         std::int64_t lparam) = 0;
  // GetMessageW: true for a message, false for WM_QUIT.
  virtual SysResult<bool> get_message_w(Message& message) = 0;
  virtual void translate_message(const Message& message) = 0;
  virtual void dispatch_message_w(const Message& message) = 0;
  virtual SysResult<void> post_message_w(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                         std::int64_t lparam) = 0;
  virtual void post_quit_message(int exit_code) = 0;
  // ChangeWindowMessageFilterEx: lets `message` from a process of lower integrity reach `window`.
  virtual SysResult<void> change_window_message_filter_ex(Hwnd window, std::uint32_t message,
                                                          std::uint32_t action) = 0;
  // SendMessageTimeoutW with no result pointer.
  virtual SysResult<void> send_message_timeout_w(Hwnd window, std::uint32_t message,
                                                 std::uint64_t wparam, std::int64_t lparam,
                                                 std::uint32_t flags, std::uint32_t timeout_ms) = 0;
  // SetTimer with no timer procedure: the timer arrives as WM_TIMER. Gives the timer's id.
  virtual SysResult<std::uint64_t> set_timer(Hwnd window, std::uint64_t id,
                                             std::uint32_t period_ms) = 0;
  virtual SysResult<void> kill_timer(Hwnd window, std::uint64_t id) = 0;
  // WM_POWERBROADCAST with PBT_POWERSETTINGCHANGE to `recipient` whenever the setting changes.
  virtual SysResult<PowerNotification> register_power_setting_notification(Hwnd recipient,
                                                                           const Guid& setting,
                                                                           std::uint32_t flags) = 0;
  virtual SysResult<void> unregister_power_setting_notification(PowerNotification notification) = 0;

 protected:
  ~MessageCalls() = default;
};

// WinEvent hooks, all out of context, for every process and thread. Windows gives their callback
// nothing to tell one hook from another, or to find the program by: every hook reaches the one
// handler installed, which must outlive them all.
class HookCalls {
 public:
  // Not a call of Windows: the handler every hook reaches from now on; null for none.
  virtual void set_win_event_handler(WinEventHandler* handler) = 0;
  virtual SysResult<Hhook> set_win_event_hook(std::uint32_t event_min, std::uint32_t event_max,
                                              std::uint32_t flags) = 0;
  virtual SysResult<void> unhook_win_event(Hhook hook) = 0;

 protected:
  ~HookCalls() = default;
};

// Raw mouse input, the cursor and system metrics.
class InputCalls {
 public:
  virtual SysResult<void> register_raw_input_devices(std::span<const RawInputDevice> devices) = 0;
  // GetRawInputData(RID_INPUT) of one record into a buffer of one mouse record.
  virtual SysResult<RawInputRecord> get_raw_input_data(std::int64_t raw_input) = 0;
  virtual SysResult<Point> get_cursor_pos() = 0;
  // Sets no last error; 0 both for a failure and for a metric that is 0.
  virtual int get_system_metrics(int index) = 0;

 protected:
  ~InputCalls() = default;
};

// Every Windows call the program makes, one method per call, in the program's own types, grouped
// by role. The real implementation forwards each call and reads the last error right after it; it
// decides nothing for the program.
class Platform : public ProcessCalls,
                 public WindowCalls,
                 public MessageCalls,
                 public HookCalls,
                 public InputCalls {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;
};

}  // namespace orvel
