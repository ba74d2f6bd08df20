#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace orvel {

// A desktop in plain C++ that answers the program's calls the way Windows would, as far as the
// program can observe: windows with class, parent, owning process, z-order, rectangle and
// styles; monitors; the shell's desktop windows; standard streams; a virtual clock whose sleeps
// return at once. Every call is logged, and any call can be made to fail with a chosen last-error
// code. Safe to call from several threads.
class SimDesktop final : public Platform {
 public:
  struct WindowSpec {
    std::u16string class_name;
    Hwnd parent = 0;  // 0 makes a top-level window
    std::uint32_t process_id = 1;
    Rect rect;  // in the parent's client coordinates
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
  };

  struct WindowState {
    std::u16string class_name;
    Hwnd parent = 0;  // the desktop window for a top-level window
    std::uint32_t process_id = 0;
    Rect rect;         // in the parent's client coordinates
    Rect screen_rect;  // in virtual-screen coordinates
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    bool visible = false;
  };

  enum class ShellLayout {
    classic,  // after the request: a top-level WorkerW with the icons, an empty one below it
    raised,   // after the request: a WorkerW inside Progman, below the icons
  };

  struct ShellSpec {
    ShellLayout layout = ShellLayout::classic;
    bool layer_exists = false;  // the layer is there before anyone asks for it
    bool creates_layer = true;  // false: the request is answered and nothing happens
    std::chrono::milliseconds spawn_delay{0};
    bool hung = false;  // the request times out after its full time-out
    bool taskbar = true;
    std::uint32_t process_id = 700;
  };

  struct ShellWindows {
    Hwnd progman = 0;
    Hwnd defview = 0;
    Hwnd taskbar = 0;
    Hwnd icons_workerw = 0;  // classic layout, once created
    Hwnd layer = 0;          // once created
  };

  static constexpr std::uint32_t spawn_message = 0x052C;
  static constexpr LastError error_no_data = 232;
  static constexpr LastError error_timeout = 1460;

  SimDesktop();

  // The model.
  Hwnd desktop_window() const;
  Hwnd create_window(const WindowSpec& desc);
  void destroy_window(Hwnd window);
  std::optional<WindowState> window(Hwnd window) const;
  std::vector<Hwnd> children(Hwnd parent) const;  // in z-order, topmost first
  Hmonitor add_monitor(Rect monitor, Rect work);
  Hmonitor add_monitor(Rect monitor) { return add_monitor(monitor, monitor); }
  const ShellWindows& start_shell(const ShellSpec& desc);
  const ShellWindows& shell() const { return shell_; }
  void set_command_line(std::u16string command_line);
  void set_system_message(std::uint32_t code, std::u16string text, bool ntdll = false);
  DpiContext thread_dpi_context() const;  // of the calling thread

  // Standard output and error as the reader would see them.
  std::string stdout_text() const;
  std::string stderr_text() const;
  void close_stdout();
  // Writes standard output one byte at a time and lets other threads run in between.
  void set_stdout_piecewise(bool piecewise);

  // Faults and the call log.
  static constexpr int always = -1;
  void fail_call(const std::string& name, LastError error, int times = always);
  std::vector<std::string> calls() const;
  std::size_t count_calls(std::string_view prefix) const;
  void clear_calls();

  // Platform.
  std::u16string get_command_line_w() override;
  SysResult<void> write_stdout(std::string_view utf8) override;
  SysResult<void> write_stderr(std::string_view utf8) override;
  SysResult<Hmodule> get_module_handle_w(const char16_t* name) override;
  SysResult<std::u16string> format_message_w(std::uint32_t flags, Hmodule source,
                                             std::uint32_t code) override;
  std::chrono::microseconds monotonic_now() override;
  void sleep(std::chrono::milliseconds duration) override;
  SysResult<void> set_process_dpi_awareness_context(DpiContext context) override;
  SysResult<DpiContext> set_thread_dpi_awareness_context(DpiContext context) override;
  bool is_window(Hwnd window) override;
  SysResult<Hwnd> find_window_a(std::string_view class_name) override;
  SysResult<Hwnd> find_window_ex_a(Hwnd parent, Hwnd child_after,
                                   std::string_view class_name) override;
  SysResult<void> enum_windows(const WindowVisitor& visit) override;
  SysResult<void> enum_child_windows(Hwnd parent, const WindowVisitor& visit) override;
  SysResult<std::u16string> get_class_name_w(Hwnd window, int capacity) override;
  SysResult<Hwnd> get_ancestor(Hwnd window, std::uint32_t flags) override;
  SysResult<Rect> get_window_rect(Hwnd window) override;
  SysResult<Point> screen_to_client(Hwnd window, Point point) override;
  SysResult<std::int64_t> get_window_long_ptr_w(Hwnd window, int index) override;
  SysResult<std::int64_t> set_window_long_ptr_w(Hwnd window, int index,
                                                std::int64_t value) override;
  SysResult<Hwnd> set_parent(Hwnd child, Hwnd new_parent) override;
  SysResult<void> set_window_pos(Hwnd window, Hwnd insert_after, int x, int y, int width,
                                 int height, std::uint32_t flags) override;
  SysResult<void> send_message_timeout_w(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                         std::int64_t lparam, std::uint32_t flags,
                                         std::uint32_t timeout_ms) override;
  Hmonitor monitor_from_window(Hwnd window, std::uint32_t flags) override;
  SysResult<MonitorInfo> get_monitor_info_w(Hmonitor monitor) override;
  SysResult<void> system_parameters_info_w(std::uint32_t action, std::uint32_t param,
                                           const char16_t* text, std::uint32_t flags) override;

 private:
  struct Window {
    WindowState state;
    std::vector<Hwnd> children;  // topmost first
  };
  struct Monitor {
    Hmonitor handle;
    MonitorInfo info;
  };
  struct Fault {
    LastError error;
    int remaining;
  };
  struct Scheduled {
    std::chrono::microseconds due;
    std::function<void()> action;  // runs with the lock held
  };

  // All below run with `mutex_` held.
  std::optional<LastError> take_fault(const std::string& name);
  void log(std::string entry);
  Window* find(Hwnd window);
  const Window* find(Hwnd window) const;
  Hwnd create_locked(const WindowSpec& desc);
  void destroy_locked(Hwnd window);
  void unlink(Hwnd window);
  void place_above(Hwnd window, Hwnd sibling);
  void place_below(Hwnd window, Hwnd sibling);
  std::optional<Hwnd> find_child(Hwnd parent, Hwnd child_after, std::string_view class_name) const;
  Point client_origin(Hwnd window) const;
  Rect screen_rect(Hwnd window) const;
  void collect_descendants(Hwnd parent, std::vector<Hwnd>& out) const;
  Rect virtual_screen() const;
  void create_layer();
  void advance(std::chrono::microseconds duration);

  mutable std::mutex mutex_;
  std::map<Hwnd, Window> windows_;
  Hwnd desktop_ = 0;
  Hwnd next_window_ = 0x10010;
  std::vector<Monitor> monitors_;
  Hmonitor next_monitor_ = 0x10001;
  ShellSpec shell_spec_;
  ShellWindows shell_;
  std::u16string command_line_;
  std::map<std::uint32_t, std::u16string> system_messages_;
  std::map<std::uint32_t, std::u16string> ntdll_messages_;
  DpiContext process_dpi_ = 0x6010;
  std::map<std::thread::id, DpiContext> thread_dpi_;
  std::string stdout_;
  std::string stderr_;
  bool stdout_closed_ = false;
  bool stdout_piecewise_ = false;
  std::map<std::string, Fault> faults_;
  std::vector<std::string> calls_;
  std::chrono::microseconds now_{1'000'000};
  std::vector<Scheduled> scheduled_;
};

}  // namespace orvel
