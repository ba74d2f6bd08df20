#include "mouse/translate.h"

namespace orvel {
namespace {

constexpr std::uint16_t left_button_down = 0x0001;
constexpr std::uint16_t left_button_up = 0x0002;
constexpr std::uint16_t right_button_down = 0x0004;
constexpr std::uint16_t right_button_up = 0x0008;
constexpr std::uint16_t wheel = 0x0400;
constexpr std::uint16_t horizontal_wheel = 0x0800;
constexpr std::uint64_t least_move_interval_us = 4000;

// The physical right button is the primary one while the buttons are swapped.
struct PrimaryButton {
  std::uint16_t press;
  std::uint16_t release;
};
PrimaryButton primary_button(bool swapped) {
  if (swapped) return {right_button_down, right_button_up};
  return {left_button_down, left_button_up};
}

std::optional<MouseEvent> wheel_step(MouseFacts& facts, std::int16_t delta_x,
                                     std::int16_t delta_y) {
  const std::optional<Point> at = facts.cursor();
  if (!at || !facts.desktop_is_foreground() || !facts.over_desktop(*at)) return std::nullopt;
  return MouseEvent{
      .kind = MouseEventKind::wheel, .at = *at, .delta_x = delta_x, .delta_y = delta_y};
}

}  // namespace

std::string_view mouse_event_name(MouseEventKind kind) {
  switch (kind) {
    case MouseEventKind::move:
      return "mousemove";
    case MouseEventKind::down:
      return "mousedown";
    case MouseEventKind::up:
      return "mouseup";
    case MouseEventKind::wheel:
      return "mousewheel";
  }
  return "mousemove";
}

MouseEvents MouseTranslator::on_record(const RawInputRecord& record, MouseFacts& facts) {
  MouseEvents events;
  if (record.type != win::rim_typemouse) return events;
  const std::uint16_t flags = record.button_flags;
  const PrimaryButton primary = primary_button(facts.buttons_swapped());
  if ((flags & primary.press) != 0 && !button_down_) {
    if (const std::optional<MouseEvent> down = on_press(facts)) events.add(*down);
  }
  if ((flags & primary.release) != 0) {
    if (const std::optional<MouseEvent> up = on_release(facts)) events.add(*up);
  }
  // A record that carries a primary transition is about nothing else.
  if ((flags & (primary.press | primary.release)) != 0) return events;
  const auto data = static_cast<std::int16_t>(record.button_data);
  std::optional<MouseEvent> event;
  if ((flags & wheel) != 0) {
    event = wheel_step(facts, 0, data);
  } else if ((flags & horizontal_wheel) != 0) {
    event = wheel_step(facts, data, 0);
  } else if (flags == 0) {
    event = on_move(facts);
  }
  // Any other button's transition gives nothing, not even its movement.
  if (event) events.add(*event);
  return events;
}

std::optional<MouseEvent> MouseTranslator::on_tick(MouseFacts& facts) {
  // A move made away from the desktop waits for the first tick after the desktop is back.
  if (!move_pending_ || !facts.desktop_is_foreground()) return std::nullopt;
  move_pending_ = false;
  if (latest_cursor_.x == no_position.x || latest_cursor_ == last_sent_cursor_) return std::nullopt;
  last_sent_cursor_ = latest_cursor_;
  last_move_micros_ = facts.now_micros();
  return MouseEvent{.kind = MouseEventKind::move, .at = latest_cursor_};
}

std::optional<MouseEvent> MouseTranslator::on_press(MouseFacts& facts) {
  if (!facts.desktop_is_foreground()) return std::nullopt;
  const std::optional<Point> at = facts.cursor();
  if (!at || !facts.over_desktop(*at)) return std::nullopt;
  button_down_ = true;
  last_read_cursor_ = *at;
  return MouseEvent{.kind = MouseEventKind::down, .at = *at};
}

// A release ends a forwarded press wherever it happens. Its position can be lost (the input is on
// another desktop): the main process still needs its "mouseup", at the last place known.
std::optional<MouseEvent> MouseTranslator::on_release(MouseFacts& facts) {
  if (!button_down_) return std::nullopt;
  button_down_ = false;
  return MouseEvent{.kind = MouseEventKind::up, .at = facts.cursor().value_or(last_read_cursor_)};
}

// Only the latest position is kept; it goes out at once when the last move is 4 ms old.
std::optional<MouseEvent> MouseTranslator::on_move(MouseFacts& facts) {
  const std::optional<Point> at = facts.cursor();
  if (!at) return std::nullopt;
  latest_cursor_ = last_read_cursor_ = *at;
  move_pending_ = true;
  const std::uint64_t now = facts.now_micros();
  if (now > last_move_micros_ && now - last_move_micros_ >= least_move_interval_us) {
    return on_tick(facts);
  }
  return std::nullopt;
}

}  // namespace orvel
