#include "mouse/translate.h"

#include <array>
#include <atomic>
#include <limits>

#include "events/event.h"
#include "mouse/forwarding.h"

namespace orvel {
namespace {

constexpr std::uint16_t left_button_down = 0x0001;
constexpr std::uint16_t left_button_up = 0x0002;
constexpr std::uint16_t right_button_down = 0x0004;
constexpr std::uint16_t right_button_up = 0x0008;
constexpr std::uint16_t wheel = 0x0400;
constexpr std::uint16_t horizontal_wheel = 0x0800;
constexpr std::uint64_t least_move_interval_us = 4000;
constexpr Point no_position{std::numeric_limits<std::int32_t>::min(),
                            std::numeric_limits<std::int32_t>::min()};

// Only the main thread, in the window procedure, reads and writes these.
std::atomic<bool> button_down{false};
bool move_pending = false;
Point latest_cursor = no_position;
Point last_sent_cursor = no_position;
std::uint64_t last_move_micros = 0;

void emit_mouse(Platform& os, std::string_view name, Point at) {
  std::array<char, mouse_line_capacity> buffer;
  emit_line(os, mouse_line(buffer, name, at.x, at.y));
}

// The physical right button is the primary one while the buttons are swapped.
struct PrimaryButton {
  std::uint16_t press;
  std::uint16_t release;
};
PrimaryButton primary_button(Platform& os) {
  if (os.get_system_metrics(win::sm_swapbutton) != 0) return {right_button_down, right_button_up};
  return {left_button_down, left_button_up};
}

void on_press(Platform& os) {
  if (!desktop_is_foreground(os)) return;
  const SysResult<Point> at = os.get_cursor_pos();
  if (!at || !cursor_over_desktop(os, *at)) return;
  button_down = true;
  emit_mouse(os, "mousedown", *at);
}

// A release ends a forwarded press wherever it happens.
void on_release(Platform& os) {
  if (!button_down.exchange(false)) return;
  if (const SysResult<Point> at = os.get_cursor_pos()) emit_mouse(os, "mouseup", *at);
}

void on_move(Platform& os) {
  const SysResult<Point> at = os.get_cursor_pos();
  if (!at) return;
  latest_cursor = *at;
  move_pending = true;
  const std::uint64_t now = mouse_clock_micros(os);
  if (now > last_move_micros && now - last_move_micros >= least_move_interval_us) {
    flush_mouse_move(os);
  }
}

}  // namespace

void on_raw_input(Platform& os, std::int64_t raw_input) {
  const SysResult<RawInputRecord> record = os.get_raw_input_data(raw_input);
  if (!record || record->type != win::rim_typemouse) return;
  const std::uint16_t flags = record->button_flags;
  const PrimaryButton primary = primary_button(os);
  if ((flags & primary.press) != 0 && !button_down) on_press(os);
  if ((flags & primary.release) != 0) on_release(os);
  // A record that carries a primary transition is about nothing else.
  if ((flags & (primary.press | primary.release)) != 0) return;
  const auto data = static_cast<std::int16_t>(record->button_data);
  if ((flags & wheel) != 0) return forward_wheel(os, 0, data);
  if ((flags & horizontal_wheel) != 0) return forward_wheel(os, data, 0);
  // Any other button's transition gives nothing, not even its movement.
  if (flags == 0) on_move(os);
}

void flush_mouse_move(Platform& os) {
  // A move made away from the desktop waits for the first tick after the desktop is back.
  if (!move_pending || !desktop_is_foreground(os)) return;
  move_pending = false;
  if (latest_cursor.x == no_position.x || latest_cursor == last_sent_cursor) return;
  last_sent_cursor = latest_cursor;
  last_move_micros = mouse_clock_micros(os);
  emit_mouse(os, "mousemove", latest_cursor);
}

void forward_wheel(Platform& os, std::int16_t delta_x, std::int16_t delta_y) {
  const SysResult<Point> at = os.get_cursor_pos();
  if (!at || !desktop_is_foreground(os) || !cursor_over_desktop(os, *at)) return;
  std::array<char, mouse_line_capacity> buffer;
  emit_line(
      os, mouse_line(buffer, "mousewheel", at->x, at->y, WheelDeltas{.x = delta_x, .y = delta_y}));
}

void reset_mouse_translation() {
  button_down = false;
  move_pending = false;
  latest_cursor = no_position;
  last_sent_cursor = no_position;
  last_move_micros = 0;
}

}  // namespace orvel
