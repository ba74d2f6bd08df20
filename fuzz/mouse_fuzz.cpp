#include <cstddef>
#include <cstdint>
#include <optional>

#include "mouse/translate.h"
#include "require.h"
#include "unit/mouse/facts.h"

namespace {

using orvel::Facts;
using orvel::MouseEvent;
using orvel::MouseEventKind;
using orvel::Point;

// What the main process can tell from the events alone, checked as each one comes.
struct Oracle {
  bool down = false;          // a "mousedown" went out and its "mouseup" has not
  std::optional<Point> sent;  // the last "mousemove"
  std::uint64_t sent_micros = 0;
  std::optional<Point> moved_to;  // where the latest pure move with a readable cursor went
  Point read;                     // the cursor of the latest press or pure move

  void check(const MouseEvent& event, const Facts& facts, bool from_tick) {
    // Positions are the cursor's when the event is made, a lost release's the last one read; a
    // tick sends where the mouse went.
    require(from_tick ? event.at == moved_to
                      : event.at == facts.at.value_or(read) &&
                            (facts.at || event.kind == MouseEventKind::up));
    if (event.kind == MouseEventKind::down) {
      require(!down && facts.foreground && facts.over);
      down = true;
      read = event.at;
    } else if (event.kind == MouseEventKind::up) {
      require(down);
      down = false;
    } else if (event.kind == MouseEventKind::wheel) {
      require(facts.foreground && facts.over && (event.delta_x == 0 || event.delta_y == 0));
    } else {
      // Never twice in a row to one place, and from input at least 4 ms after the last one.
      require(facts.foreground && event.at != sent);
      require(from_tick || facts.now - sent_micros >= 4000);
      sent = event.at;
      sent_micros = facts.now;
    }
  }
};

}  // namespace

// Any sequence of raw records, desktop and cursor changes, clock steps and timer ticks, three
// bytes a step, on a fresh translator, the clock going forward only, as the real one does.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvel::MouseTranslator translator;
  Facts facts;
  facts.at = Point{500, 500};
  Oracle oracle;
  for (std::size_t i = 0; i + 2 < size; i += 3) {
    const std::uint8_t op = data[i];
    const auto value = static_cast<std::uint16_t>(data[i + 1] | data[i + 2] << 8);
    if (op % 6 == 0) {
      facts.foreground = op & 8;
      facts.over = op & 16;
      facts.swapped = op & 32;
      if (op & 64) facts.at = std::nullopt;
    } else if (op % 6 == 1) {
      facts.at = Point{value % 64 - 32, op >> 6};
    } else if (op % 6 == 2) {
      facts.now += value;
    } else if (op % 6 == 3) {
      if (const std::optional<MouseEvent> move = translator.on_tick(facts)) {
        require(move->kind == MouseEventKind::move);
        oracle.check(*move, facts, true);
      }
      // A mouse that stops is sent by the next tick with the desktop in front, at the latest.
      require(!facts.foreground || oracle.moved_to == oracle.sent);
    } else {
      const orvel::RawInputRecord record{
          .type = op & 128 ? 1u : 0u, .button_flags = value, .button_data = value};
      const bool mouse = record.type == orvel::win::rim_typemouse;
      const std::uint16_t release = facts.swapped ? 0x0008 : 0x0002;
      const std::uint16_t primary = facts.swapped ? 0x000C : 0x0003;
      const bool was_down = oracle.down;
      const bool wheel = (value & 0x0C00) != 0 && (value & primary) == 0;
      const orvel::MouseEvents events = translator.on_record(record, facts);
      if (mouse && value == 0 && facts.at) oracle.moved_to = oracle.read = *facts.at;
      for (const MouseEvent& event : events) {
        // Presses and releases of the primary button, wheel steps and pure moves, nothing else.
        require(mouse);
        require(event.kind == MouseEventKind::move ? value == 0
                : event.kind == MouseEventKind::wheel
                    ? wheel && (event.delta_x | event.delta_y) == static_cast<std::int16_t>(value)
                    : (value & primary) != 0);
        oracle.check(event, facts, false);
      }
      require(events.size() < 2 || (events.begin()->kind == MouseEventKind::down &&
                                    events.begin()[1].kind == MouseEventKind::up));
      // A release ends a forwarded press with a "mouseup", wherever it is.
      if (mouse && (value & release) != 0) {
        require(!was_down || (events.size() == 1 && events.begin()->kind == MouseEventKind::up));
        oracle.down = false;
      }
    }
  }
  return 0;
}
