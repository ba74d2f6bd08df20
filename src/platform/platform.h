#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orvel {

// A window is the program's main currency: the same signed number appears on the command line, in
// events and in every call. The other handles are kinds of their own, so that none of them can be
// passed where a window is meant.
using Hwnd = std::int64_t;
enum class Hmonitor : std::int64_t {};
enum class Hhook : std::int64_t {};
enum class PowerNotification : std::int64_t {};
enum class Hdesk : std::int64_t {};
using Handle = std::int64_t;
using DpiContext = std::int64_t;
using Hmodule = std::int64_t;

// A failed system call: its name, and its code as an HRESULT. A Win32 last error becomes
// 0x8007xxxx; a zero last error after a reported failure stays 0, and is still a failure.
struct SysError {
  std::string_view call;
  std::uint32_t code = 0;
  bool operator==(const SysError&) const = default;
};
inline constexpr std::uint32_t hresult_from_last_error(std::uint32_t last_error) {
  return static_cast<std::int32_t>(last_error) <= 0 ? last_error
                                                    : 0x80070000u | (last_error & 0xFFFFu);
}

template <class T>
using SysResult = std::expected<T, SysError>;

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  bool operator==(const Rect&) const = default;
};

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const Point&) const = default;
};

// A GUID, laid out as the system lays it out.
struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};
  bool operator==(const Guid&) const = default;
};

// The head of the POWERBROADCAST_SETTING that WM_POWERBROADCAST points to; the data follows it.
struct PowerSettingHeader {
  Guid setting;
  std::uint32_t data_length = 0;
};

// A monitor as the system describes it: its whole area and its work area in virtual-screen
// coordinates, whether it is the primary one, and its device name ("\\.\DISPLAY1").
struct MonitorInfo {
  Rect monitor;
  Rect work;
  bool primary = false;
  std::u16string device;
};

// The system's own version, not the one a program without a manifest is told.
struct SystemVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
};

struct WindowOwner {
  std::uint32_t thread_id = 0;
  std::uint32_t process_id = 0;
};

// One message record of a thread's queue.
struct Message {
  Hwnd window = 0;
  std::uint32_t message = 0;
  std::uint64_t wparam = 0;
  std::int64_t lparam = 0;
};

// The parts of one raw input record that the program reads: the header's type and, for a mouse,
// its button transition flags and button data.
struct RawInputRecord {
  std::uint32_t type = 0;
  std::uint16_t button_flags = 0;
  std::uint16_t button_data = 0;
};

struct RawInputDevice {
  std::uint16_t usage_page = 0;
  std::uint16_t usage = 0;
  std::uint32_t flags = 0;
  Hwnd target = 0;
};

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

// Told of every call that fails, on the thread that made it, but for a lookup that merely found
// nothing and the file calls, which the trace itself makes.
class FailureObserver {
 public:
  virtual void failed(const SysError& error) noexcept = 0;

 protected:
  ~FailureObserver() = default;
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

// The values of the Windows constants that the program passes through the seam.
namespace win {
inline constexpr Hwnd hwnd_top = 0;
inline constexpr std::int64_t invalid_handle_value = -1;
inline constexpr int gwl_style = -16;
inline constexpr int gwl_exstyle = -20;
inline constexpr std::uint32_t ga_parent = 1;
inline constexpr std::uint32_t ga_root = 2;
inline constexpr std::uint32_t gw_hwndprev = 3;
inline constexpr std::uint32_t gw_child = 5;
inline constexpr std::uint32_t monitor_defaulttonearest = 2;
inline constexpr DpiContext dpi_awareness_context_per_monitor_aware_v2 = -4;
inline constexpr std::uint32_t swp_nosize = 0x0001;
inline constexpr std::uint32_t swp_nomove = 0x0002;
inline constexpr std::uint32_t swp_nozorder = 0x0004;
inline constexpr std::uint32_t swp_noactivate = 0x0010;
inline constexpr std::uint32_t swp_showwindow = 0x0040;
inline constexpr std::uint32_t swp_asyncwindowpos = 0x4000;
inline constexpr std::uint32_t smto_normal = 0x0000;
inline constexpr std::uint32_t spi_setdeskwallpaper = 0x0014;
inline constexpr std::uint32_t spif_updateinifile = 0x0001;
inline constexpr std::uint32_t ws_popup = 0x80000000;
inline constexpr std::uint32_t ws_child = 0x40000000;
inline constexpr std::uint32_t ws_clipsiblings = 0x04000000;
inline constexpr std::uint32_t ws_ex_appwindow = 0x00040000;
inline constexpr std::uint32_t ws_ex_windowedge = 0x00000100;
inline constexpr std::uint32_t ws_ex_acceptfiles = 0x00000010;
inline constexpr std::uint32_t ws_ex_transparent = 0x00000020;
inline constexpr std::uint32_t ws_ex_layered = 0x00080000;
inline constexpr std::uint32_t format_message_allocate_buffer = 0x0100;
inline constexpr std::uint32_t format_message_ignore_inserts = 0x0200;
inline constexpr std::uint32_t format_message_from_hmodule = 0x0800;
inline constexpr std::uint32_t format_message_from_system = 0x1000;
inline constexpr std::uint32_t wm_null = 0x0000;
inline constexpr std::uint32_t wm_destroy = 0x0002;
inline constexpr std::uint32_t wm_close = 0x0010;
inline constexpr std::uint32_t wm_settingchange = 0x001A;
inline constexpr std::uint32_t wm_displaychange = 0x007E;
inline constexpr std::uint32_t wm_input = 0x00FF;
inline constexpr std::uint32_t wm_timer = 0x0113;
inline constexpr std::uint32_t wm_powerbroadcast = 0x0218;
inline constexpr std::uint32_t wm_dpichanged = 0x02E0;
inline constexpr std::uint32_t wm_app = 0x8000;
inline constexpr std::uint64_t pbt_apmresumeautomatic = 0x0012;
inline constexpr std::uint64_t pbt_powersettingchange = 0x8013;
inline constexpr std::uint64_t spi_setworkarea = 0x002F;
inline constexpr std::uint32_t event_system_foreground = 0x0003;
inline constexpr std::uint32_t event_system_minimizestart = 0x0016;
inline constexpr std::uint32_t event_system_minimizeend = 0x0017;
inline constexpr std::uint32_t event_system_desktopswitch = 0x0020;
inline constexpr std::uint32_t event_object_destroy = 0x8001;
inline constexpr std::uint32_t event_object_show = 0x8002;
inline constexpr std::uint32_t event_object_hide = 0x8003;
inline constexpr std::uint32_t event_object_reorder = 0x8004;
inline constexpr std::uint32_t event_object_locationchange = 0x800B;
inline constexpr std::uint32_t event_object_cloaked = 0x8017;
inline constexpr std::uint32_t event_object_uncloaked = 0x8018;
inline constexpr std::uint32_t dwmwa_extended_frame_bounds = 9;
inline constexpr std::uint32_t dwmwa_cloaked = 14;
inline constexpr std::uint32_t device_notify_window_handle = 0;
inline constexpr Guid guid_console_display_state = {
    0x6FE69556, 0x704A, 0x47A0, {0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47}};
inline constexpr std::uint32_t desktop_readobjects = 0x0001;
inline constexpr int uoi_name = 2;
inline constexpr std::int32_t objid_window = 0;
inline constexpr std::uint32_t winevent_outofcontext = 0x0000;
inline constexpr std::uint32_t winevent_skipownprocess = 0x0002;
inline constexpr std::uint32_t std_input_handle = static_cast<std::uint32_t>(-10);
inline constexpr std::uint32_t file_begin = 0;
inline constexpr std::uint32_t file_end = 2;
inline constexpr std::uint32_t rim_typemouse = 0;
inline constexpr std::uint32_t ridev_inputsink = 0x00000100;
inline constexpr int sm_swapbutton = 23;
}  // namespace win

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
  // ReadProcessMemory of this process: copies `into.size()` bytes from `address`, or fails
  // without touching memory that cannot be read.
  virtual SysResult<void> read_own_memory(std::int64_t address, std::span<std::byte> into) = 0;

  // The high-resolution monotonic clock, and plain sleeps on the calling thread.
  virtual std::chrono::microseconds monotonic_now() = 0;
  virtual void sleep(std::chrono::milliseconds duration) = 0;

  virtual SysResult<void> set_process_dpi_awareness_context(DpiContext context) = 0;
  // Gives the thread's previous context.
  virtual SysResult<DpiContext> set_thread_dpi_awareness_context(DpiContext context) = 0;

  // Not a call of Windows: who hears of failed calls from now on; null for nobody.
  virtual void set_failure_observer(FailureObserver* observer) = 0;

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
  virtual SysResult<Point> screen_to_client(Hwnd window, Point point) = 0;
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
// nothing of ours: every hook reaches the one handler given last, which must outlive them all.
class HookCalls {
 public:
  virtual SysResult<Hhook> set_win_event_hook(std::uint32_t event_min, std::uint32_t event_max,
                                              WinEventHandler& handler, std::uint32_t flags) = 0;
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
