#pragma once

#include <array>
#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "monitor/state.h"
#include "mouse/forwarding.h"
#include "platform/sim_desktop.h"

namespace orvel {

// The simulated desktop with the calls of the mouse path answered from a few fields, logged
// nowhere and without allocating, so that what is measured on that path is the program alone.
// Standard output is counted, and kept when `keep_lines` is set.
class QuietDesktop : public SimDesktop {
 public:
  static constexpr std::size_t record_slots = 64;

  // A record as WM_INPUT would hand it over: its handle.
  std::int64_t record(RawInputRecord record) {
    const std::int64_t handle = next_record_++;
    records_[static_cast<std::size_t>(handle) % record_slots] = record;
    return handle;
  }

  // Mouse forwarding as the monitor starts it, on a one-monitor desktop with a shell whose
  // Progman has the foreground and is under the cursor.
  bool start_forwarding() {
    reset_monitor_process_state();
    add_monitor({0, 0, 1920, 1080});
    shell = start_shell({.layer_exists = true});
    progman = foreground = under_cursor = shell.progman;
    static_cast<void>(register_class_a({.procedure = monitor_window_proc, .class_name = "W"}));
    window = monitor_values().message_window = *create_window_ex_a({.class_name = "W"});
    return start_mouse_forwarding(*this, shell.layer).has_value();
  }
  void input(RawInputRecord raw) {
    monitor_window_proc(*this, window, win::wm_input, 1, record(raw));
  }
  void tick() { monitor_window_proc(*this, window, win::wm_timer, mouse_timer_id, 0); }

  ShellWindows shell;
  Hwnd window = 0;
  Point cursor{500, 500};
  Hwnd foreground = 0;
  Hwnd progman = 0;
  Hwnd under_cursor = 0;  // the top-level window under the cursor, which is its own root
  bool swapped = false;
  std::chrono::microseconds now{0};
  std::size_t lines_written = 0;
  bool keep_lines = false;
  std::vector<std::string> lines;

  SysResult<RawInputRecord> get_raw_input_data(std::int64_t raw_input) override {
    return records_[static_cast<std::size_t>(raw_input) % record_slots];
  }
  int get_system_metrics(int) override { return swapped ? 1 : 0; }
  SysResult<Point> get_cursor_pos() override { return cursor; }
  std::optional<Hwnd> get_foreground_window() override { return known(foreground); }
  std::optional<Hwnd> window_from_point(Point) override { return known(under_cursor); }
  SysResult<Hwnd> find_window_a(std::string_view) override {
    return progman != 0 ? SysResult<Hwnd>(progman) : std::unexpected(LastError{0});
  }
  std::optional<Hwnd> get_ancestor(Hwnd child, std::uint32_t) override { return child; }
  std::chrono::microseconds monotonic_now() override { return now; }
  std::int64_t def_window_proc_a(Hwnd, std::uint32_t, std::uint64_t, std::int64_t) override {
    return 0;
  }
  SysResult<void> write_stdout(std::string_view utf8) override {
    ++lines_written;
    if (keep_lines) lines.emplace_back(utf8);
    return {};
  }

 private:
  static std::optional<Hwnd> known(Hwnd window) {
    return window == 0 ? std::nullopt : std::optional(window);
  }
  std::array<RawInputRecord, record_slots> records_{};
  std::int64_t next_record_ = 1;
};

}  // namespace orvel
