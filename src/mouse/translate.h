#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "platform/types.h"

namespace orvel {

// What the translator needs to know about the desktop, asked only when a record needs it: mouse
// input comes at the rate of the hardware, and each answer may cost a call to Windows.
class MouseFacts {
 public:
  virtual bool buttons_swapped() = 0;
  virtual bool desktop_is_foreground() = 0;
  // Empty when the cursor position cannot be read.
  virtual std::optional<Point> cursor() = 0;
  // Whether the top-level window under the screen point is one of the desktop's.
  virtual bool over_desktop(Point point) = 0;
  // Microseconds on a clock that never goes back.
  virtual std::uint64_t now_micros() = 0;

 protected:
  ~MouseFacts() = default;
};

enum class MouseEventKind { move, down, up, wheel };
// The event's name in its line: "mousemove", "mousedown", "mouseup", "mousewheel".
std::string_view mouse_event_name(MouseEventKind kind);

struct MouseEvent {
  MouseEventKind kind = MouseEventKind::move;
  Point at;
  std::int16_t delta_x = 0;  // the wheel's steps, for MouseEventKind::wheel only
  std::int16_t delta_y = 0;
  bool operator==(const MouseEvent&) const = default;
};

// The events of one record: at most two, since a record may carry both the press and the release
// of the primary button.
class MouseEvents {
 public:
  void add(const MouseEvent& event) { events_[count_++] = event; }
  const MouseEvent* begin() const { return events_.data(); }
  const MouseEvent* end() const { return events_.data() + count_; }
  std::size_t size() const { return count_; }

 private:
  std::array<MouseEvent, 2> events_{};
  std::size_t count_ = 0;
};

// Turns raw mouse records and mouse timer ticks into mouse events over the desktop: primary-button
// presses and wheel steps over the desktop in the foreground, the release of a forwarded press
// wherever it happens, and pure moves, at most one every 4 ms from input plus one at each tick.
class MouseTranslator {
 public:
  MouseEvents on_record(const RawInputRecord& record, MouseFacts& facts);
  // The latest pending move, once the desktop has the foreground and if it moved.
  std::optional<MouseEvent> on_tick(MouseFacts& facts);

 private:
  static constexpr Point no_position{std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::min()};

  std::optional<MouseEvent> on_press(MouseFacts& facts);
  std::optional<MouseEvent> on_release(MouseFacts& facts);
  std::optional<MouseEvent> on_move(MouseFacts& facts);

  bool button_down_ = false;  // a "mousedown" went out and its "mouseup" has not
  bool move_pending_ = false;
  Point latest_cursor_ = no_position;
  Point last_sent_cursor_ = no_position;
  Point last_read_cursor_{};  // by a press or a pure move: where a release goes when it is lost
  std::uint64_t last_move_micros_ = 0;
};

}  // namespace orvel
