#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <string_view>

namespace orvel {

// Window, monitor and DPI-context handles travel as the handle's bits read as a signed value, so
// that the same number appears on the command line, in events and in every call.
using Hwnd = std::int64_t;
using Hmonitor = std::int64_t;
using DpiContext = std::int64_t;
using Hmodule = std::int64_t;
using LastError = std::uint32_t;

// A fallible system call's value, or the last-error code read on the line right after the call.
template <class T>
using SysResult = std::expected<T, LastError>;

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

struct MonitorInfo {
  Rect monitor;
  Rect work;
};

// Enumeration callback: return true to go on with the next window.
using WindowVisitor = std::function<bool(Hwnd)>;

// The values of the Windows constants that the program passes through the seam.
namespace win {
inline constexpr Hwnd hwnd_top = 0;
inline constexpr std::int64_t invalid_handle_value = -1;
inline constexpr int gwl_style = -16;
inline constexpr int gwl_exstyle = -20;
inline constexpr std::uint32_t ga_parent = 1;
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
inline constexpr std::uint32_t format_message_allocate_buffer = 0x0100;
inline constexpr std::uint32_t format_message_ignore_inserts = 0x0200;
inline constexpr std::uint32_t format_message_from_hmodule = 0x0800;
inline constexpr std::uint32_t format_message_from_system = 0x1000;
inline constexpr LastError error_invalid_window_handle = 1400;
}  // namespace win

// Every Windows call the program makes, one method per call, in the program's own types. The
// real implementation forwards each call and reads the last error right after it; the simulated
// desktop answers the same calls from a model. Neither decides anything for the program.
class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  // Process: command line, standard streams, system message texts.
  virtual std::u16string get_command_line_w() = 0;
  virtual SysResult<void> write_stdout(std::string_view utf8) = 0;
  virtual SysResult<void> write_stderr(std::string_view utf8) = 0;
  // `name` null names the program's own module.
  virtual SysResult<Hmodule> get_module_handle_w(const char16_t* name) = 0;
  // FormatMessageW in language 0 with no inserts; `flags` include FORMAT_MESSAGE_ALLOCATE_BUFFER.
  virtual SysResult<std::u16string> format_message_w(std::uint32_t flags, Hmodule source,
                                                     std::uint32_t code) = 0;

  // Monotonic clock and plain sleeps on the calling thread.
  virtual std::chrono::microseconds monotonic_now() = 0;
  virtual void sleep(std::chrono::milliseconds duration) = 0;

  // DPI awareness.
  virtual SysResult<void> set_process_dpi_awareness_context(DpiContext context) = 0;
  // Gives the thread's previous context.
  virtual SysResult<DpiContext> set_thread_dpi_awareness_context(DpiContext context) = 0;

  // Window lookup and enumeration.
  virtual bool is_window(Hwnd window) = 0;
  virtual SysResult<Hwnd> find_window_a(std::string_view class_name) = 0;
  virtual SysResult<Hwnd> find_window_ex_a(Hwnd parent, Hwnd child_after,
                                           std::string_view class_name) = 0;
  virtual SysResult<void> enum_windows(const WindowVisitor& visit) = 0;
  virtual SysResult<void> enum_child_windows(Hwnd parent, const WindowVisitor& visit) = 0;
  // GetClassNameW into a buffer of `capacity` UTF-16 units.
  virtual SysResult<std::u16string> get_class_name_w(Hwnd window, int capacity) = 0;
  virtual SysResult<Hwnd> get_ancestor(Hwnd window, std::uint32_t flags) = 0;

  // Parenting, styles and positions.
  virtual SysResult<Rect> get_window_rect(Hwnd window) = 0;
  virtual SysResult<Point> screen_to_client(Hwnd window, Point point) = 0;
  virtual SysResult<std::int64_t> get_window_long_ptr_w(Hwnd window, int index) = 0;
  // Gives the previous value.
  virtual SysResult<std::int64_t> set_window_long_ptr_w(Hwnd window, int index,
                                                        std::int64_t value) = 0;
  // Gives the previous parent.
  virtual SysResult<Hwnd> set_parent(Hwnd child, Hwnd new_parent) = 0;
  virtual SysResult<void> set_window_pos(Hwnd window, Hwnd insert_after, int x, int y, int width,
                                         int height, std::uint32_t flags) = 0;
  // SendMessageTimeoutW with no result pointer.
  virtual SysResult<void> send_message_timeout_w(Hwnd window, std::uint32_t message,
                                                 std::uint64_t wparam, std::int64_t lparam,
                                                 std::uint32_t flags, std::uint32_t timeout_ms) = 0;

  // Monitors.
  virtual Hmonitor monitor_from_window(Hwnd window, std::uint32_t flags) = 0;
  virtual SysResult<MonitorInfo> get_monitor_info_w(Hmonitor monitor) = 0;

  // SystemParametersInfoW with a string parameter, which may be null.
  virtual SysResult<void> system_parameters_info_w(std::uint32_t action, std::uint32_t param,
                                                   const char16_t* text, std::uint32_t flags) = 0;
};

}  // namespace orvel
