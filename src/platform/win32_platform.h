#pragma once

#include <atomic>
#include <expected>

#include "platform/platform.h"

namespace orvel {

// The real desktop: each method is the Windows call it is named after.
class Win32Platform : public Platform {
 public:
  std::u16string get_command_line_w() override;
  SysResult<void> write_stdout(std::string_view utf8) override;
  SysResult<void> write_stderr(std::string_view utf8) override;
  Handle get_std_handle(std::uint32_t which) override;
  SysResult<std::uint32_t> get_console_mode(Handle handle) override;
  SysResult<std::size_t> read_file(Handle handle, std::span<char> buffer) override;
  SysResult<std::size_t> read_console_w(Handle handle, std::span<char16_t> buffer) override;
  SysResult<Handle> create_file_w(std::u16string_view path) override;
  SysResult<void> set_file_pointer_ex(Handle file, std::int64_t offset,
                                      std::uint32_t method) override;
  SysResult<std::uint64_t> get_file_size_ex(Handle file) override;
  SysResult<void> set_end_of_file(Handle file) override;
  SysResult<void> write_file(Handle file, std::string_view bytes) override;
  SysResult<void> close_handle(Handle handle) override;
  SysResult<void> lock_file_ex(Handle file, std::uint64_t offset, std::uint64_t length) override;
  SysResult<void> unlock_file_ex(Handle file, std::uint64_t offset, std::uint64_t length) override;
  std::uint32_t get_current_process_id() override;
  SysResult<std::u16string> get_environment_variable_w(std::u16string_view name) override;
  SysResult<SystemVersion> rtl_get_version() override;
  SysResult<Hmodule> get_module_handle_w(const char16_t* name) override;
  SysResult<std::u16string> format_message_w(std::uint32_t flags, Hmodule source,
                                             std::uint32_t code) override;
  SysResult<void> start_thread(ThreadBody body) override;
  SysResult<Handle> create_thread(ThreadBody body) override;
  SysResult<bool> wait_for_single_object(Handle handle, std::uint32_t timeout_ms) override;
  SysResult<void> set_console_ctrl_handler(ConsoleControlHandler* handler) override;
  SysResult<void> read_own_memory(std::int64_t address, std::span<std::byte> into) override;
  SysResult<SystemPowerStatus> get_system_power_status() override;

  std::chrono::microseconds monotonic_now() override;
  void sleep(std::chrono::milliseconds duration) override;

  SysResult<void> set_process_dpi_awareness_context(DpiContext context) override;
  SysResult<DpiContext> set_thread_dpi_awareness_context(DpiContext context) override;
  void set_call_observer(CallObserver* observer) override;

  bool is_window(Hwnd window) override;
  SysResult<Hwnd> find_window_a(std::string_view class_name) override;
  SysResult<Hwnd> find_window_ex_a(Hwnd parent, Hwnd child_after,
                                   std::string_view class_name) override;
  void enum_windows(const WindowVisitor& visit) override;
  void enum_child_windows(Hwnd parent, const WindowVisitor& visit) override;
  SysResult<std::size_t> get_class_name_w(Hwnd window, std::span<char16_t> name) override;
  std::optional<Hwnd> get_ancestor(Hwnd window, std::uint32_t flags) override;
  std::optional<Hwnd> window_from_point(Point point) override;
  std::optional<Hwnd> get_foreground_window() override;
  SysResult<Hwnd> get_window(Hwnd window, std::uint32_t command) override;
  Hwnd get_desktop_window() override;
  SysResult<WindowOwner> get_window_thread_process_id(Hwnd window) override;

  bool is_window_visible(Hwnd window) override;
  bool is_iconic(Hwnd window) override;

  SysResult<Rect> get_window_rect(Hwnd window) override;
  SysResult<void> dwm_get_window_attribute(Hwnd window, std::uint32_t attribute,
                                           std::span<std::byte> value) override;
  SysResult<Rect> map_window_points(Hwnd from, Hwnd to, const Rect& rect) override;
  SysResult<std::int64_t> get_window_long_ptr_w(Hwnd window, int index) override;
  SysResult<std::int64_t> set_window_long_ptr_w(Hwnd window, int index,
                                                std::int64_t value) override;
  SysResult<Hwnd> set_parent(Hwnd child, Hwnd new_parent) override;
  SysResult<void> set_window_pos(Hwnd window, Hwnd insert_after, int x, int y, int width,
                                 int height, std::uint32_t flags) override;
  SysResult<void> invalidate_rect(Hwnd window, bool erase) override;
  SysResult<void> update_window(Hwnd window) override;

  Hmonitor monitor_from_window(Hwnd window, std::uint32_t flags) override;
  SysResult<MonitorInfo> get_monitor_info_w(Hmonitor monitor) override;
  void enum_display_monitors(const MonitorVisitor& visit) override;
  SysResult<std::uint32_t> get_dpi_for_monitor(Hmonitor monitor) override;
  SysResult<bool> dwm_is_composition_enabled() override;

  SysResult<Hdesk> open_input_desktop(std::uint32_t flags, bool inherit,
                                      std::uint32_t access) override;
  SysResult<void> close_desktop(Hdesk desktop) override;
  SysResult<Hdesk> get_thread_desktop() override;
  SysResult<std::u16string> get_user_object_information_w(Hdesk object, int index) override;

  SysResult<void> system_parameters_info_w(std::uint32_t action, std::uint32_t param,
                                           const char16_t* text, std::uint32_t flags) override;

  SysResult<std::uint16_t> register_class_a(std::string_view class_name, Hmodule instance) override;
  SysResult<std::uint32_t> register_window_message_w(std::u16string_view name) override;
  SysResult<Hwnd> create_window_ex_a(const WindowCreation& creation) override;
  SysResult<void> destroy_window(Hwnd window) override;
  std::int64_t def_window_proc_a(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                 std::int64_t lparam) override;
  SysResult<bool> get_message_w(Message& message) override;
  void translate_message(const Message& message) override;
  void dispatch_message_w(const Message& message) override;
  SysResult<void> post_message_w(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                 std::int64_t lparam) override;
  void post_quit_message(int exit_code) override;
  SysResult<void> change_window_message_filter_ex(Hwnd window, std::uint32_t message,
                                                  std::uint32_t action) override;
  SysResult<void> send_message_timeout_w(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                         std::int64_t lparam, std::uint32_t flags,
                                         std::uint32_t timeout_ms) override;
  SysResult<std::uint64_t> set_timer(Hwnd window, std::uint64_t id,
                                     std::uint32_t period_ms) override;
  SysResult<void> kill_timer(Hwnd window, std::uint64_t id) override;
  SysResult<PowerNotification> register_power_setting_notification(Hwnd recipient,
                                                                   const Guid& setting,
                                                                   std::uint32_t flags) override;
  SysResult<void> unregister_power_setting_notification(PowerNotification notification) override;

  void set_win_event_handler(WinEventHandler* handler) override;
  SysResult<Hhook> set_win_event_hook(std::uint32_t event_min, std::uint32_t event_max,
                                      std::uint32_t flags) override;
  SysResult<void> unhook_win_event(Hhook hook) override;

  SysResult<void> register_raw_input_devices(std::span<const RawInputDevice> devices) override;
  SysResult<RawInputRecord> get_raw_input_data(std::int64_t raw_input) override;
  SysResult<Point> get_cursor_pos() override;
  int get_system_metrics(int index) override;

 protected:
  // The failure of `call` with the last error it left, told to the observer: on the line right
  // after the call. The same for a lookup, unless it merely found nothing (a last error of 0).
  std::unexpected<SysError> failed(std::string_view call);
  std::unexpected<SysError> failed_unless_none(std::string_view call);
  void tell(const SysError& error);
  template <class T>
  SysResult<T> told(SysResult<T> result) {
    if (!result) tell(result.error());
    return result;
  }
  // Makes `call`, which may wait for another process's window thread, and tells the observer when
  // it waited more than a second.
  template <class Call>
  auto watched(std::string_view name, Call&& call) {
    const std::chrono::microseconds start = monotonic_now();
    auto result = call();
    if (const auto waited = monotonic_now() - start; waited > std::chrono::seconds{1}) {
      tell_waited(name, std::chrono::duration_cast<std::chrono::milliseconds>(waited));
    }
    return result;
  }
  void tell_waited(std::string_view call, std::chrono::milliseconds how_long);

 private:
  // Whether a standard stream is a console, asked of the system at its first write only: the
  // program never changes its standard handles, and the question would otherwise cost a call into
  // the system with every line.
  enum class StreamKind : std::uint8_t { unknown, console, other };
  static SysResult<void> write_standard(std::uint32_t which, std::atomic<StreamKind>& kind,
                                        std::string_view utf8);

  std::atomic<CallObserver*> observer_{nullptr};
  std::atomic<StreamKind> stdout_kind_{StreamKind::unknown};
  std::atomic<StreamKind> stderr_kind_{StreamKind::unknown};
};

// Ends the process with `code` at once (ExitProcess). Threads that the program started may still
// be running, so static objects must not be destroyed under them as a return from main would.
[[noreturn]] void end_process(int code);

}  // namespace orvel
