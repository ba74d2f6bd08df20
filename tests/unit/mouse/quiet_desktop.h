#pragma once

#include <array>
#include <cstring>

#include "platform/sim_desktop.h"

namespace orvel {

// The simulated desktop with the calls of the mouse path answered from a few fields, logged
// nowhere and without allocating, so that what is measured on that path is the program alone.
// Standard output is counted and discarded.
class QuietDesktop : public SimDesktop {
 public:
  static constexpr std::size_t record_slots = 64;

  // A record as WM_INPUT would hand it over: its handle.
  std::int64_t record(RawInputRecord record) {
    const std::int64_t handle = next_record_++;
    records_[static_cast<std::size_t>(handle) % record_slots] = record;
    return handle;
  }

  Point cursor{500, 500};
  Hwnd foreground = 0;
  Hwnd progman = 0;
  Hwnd under_cursor = 0;  // the top-level window under the cursor, which is its own root
  bool swapped = false;
  std::chrono::microseconds now{0};
  std::size_t lines_written = 0;
  std::array<char, 128> last_line{};

  SysResult<RawInputRecord> get_raw_input_data(std::int64_t raw_input) override {
    return records_[static_cast<std::size_t>(raw_input) % record_slots];
  }
  int get_system_metrics(int) override { return swapped ? 1 : 0; }
  SysResult<Point> get_cursor_pos() override { return cursor; }
  std::optional<Hwnd> get_foreground_window() override {
    if (foreground == 0) return std::nullopt;
    return foreground;
  }
  SysResult<Hwnd> find_window_a(std::string_view) override {
    if (progman == 0) return std::unexpected(LastError{0});
    return progman;
  }
  std::optional<Hwnd> window_from_point(Point) override {
    if (under_cursor == 0) return std::nullopt;
    return under_cursor;
  }
  std::optional<Hwnd> get_ancestor(Hwnd window, std::uint32_t) override { return window; }
  std::chrono::microseconds monotonic_now() override { return now; }
  std::int64_t def_window_proc_a(Hwnd, std::uint32_t, std::uint64_t, std::int64_t) override {
    return 0;
  }
  SysResult<void> write_stdout(std::string_view utf8) override {
    ++lines_written;
    const std::size_t size = std::min(utf8.size(), last_line.size());
    std::memcpy(last_line.data(), utf8.data(), size);
    return {};
  }

 private:
  std::array<RawInputRecord, record_slots> records_{};
  std::int64_t next_record_ = 1;
};

}  // namespace orvel
