#pragma once

#include "platform/platform.h"

namespace orvel {

// The real desktop: each method is the Windows call it is named after.
class Win32Platform final : public Platform {
 public:
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
};

}  // namespace orvel
