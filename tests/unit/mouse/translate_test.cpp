#include "mouse/translate.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <sstream>
#include <string>

#include "unit/mouse/facts.h"

namespace orvel {
namespace {

// A record written as "move", "key", or button transitions and wheels joined by "+".
RawInputRecord record_of(const std::string& what) {
  static const std::map<std::string, std::uint16_t, std::less<>> flags = {
      {"move", 0},    {"key", 0},     {"ld", 0x0001},    {"lu", 0x0002},    {"rd", 0x0004},
      {"ru", 0x0008}, {"md", 0x0010}, {"wheel", 0x0400}, {"hwheel", 0x0800}};
  RawInputRecord record{.type = what == "key" ? 1u : win::rim_typemouse};
  std::istringstream parts(what);
  for (std::string part; std::getline(parts, part, '+');) {
    const std::size_t equals = part.find('=');
    record.button_flags |= flags.at(part.substr(0, equals));
    if (equals != std::string::npos) {
      record.button_data = static_cast<std::uint16_t>(std::stoi(part.substr(equals + 1)));
    }
  }
  return record;
}

// Plays `steps`, ";" apart, each "<ms> <what> [<x> <y>] [@app] [@bar] [swap]" on one translator.
// <what> is "tick", or a record: "move", button transitions and wheels joined by "+" ("ld+lu",
// "wheel=-120"), or "key" (not a mouse record). Without <x> <y> the cursor cannot be read; "@app"
// puts another window in front, "@bar" another window under the cursor, "swap" swaps the buttons.
// Gives the events as "<ms> <name> <x> <y> [<dx> <dy>]", ";" apart.
std::string play(std::string_view steps) {
  MouseTranslator translator;
  std::string out;
  std::istringstream all{std::string(steps)};
  for (std::string step; std::getline(all, step, ';');) {
    std::istringstream words(step);
    int ms = 0;
    std::string what;
    words >> ms >> what;
    Facts facts;
    facts.now = static_cast<std::uint64_t>(ms) * 1000;
    for (std::string word; words >> word;) {
      if (word == "@app") {
        facts.foreground = false;
      } else if (word == "@bar") {
        facts.over = false;
      } else if (word == "swap") {
        facts.swapped = true;
      } else {
        facts.at = Point{std::stoi(word), 0};
        words >> facts.at->y;
      }
    }
    MouseEvents events;
    if (what == "tick") {
      if (const std::optional<MouseEvent> move = translator.on_tick(facts)) events.add(*move);
    } else {
      events = translator.on_record(record_of(what), facts);
    }
    for (const MouseEvent& e : events) {
      out += (out.empty() ? "" : "; ") + std::to_string(ms) + " " +
             std::string(mouse_event_name(e.kind)) + " " + std::to_string(e.at.x) + " " +
             std::to_string(e.at.y);
      if (e.kind == MouseEventKind::wheel) {
        out += " " + std::to_string(e.delta_x) + " " + std::to_string(e.delta_y);
      }
    }
  }
  return out;
}

TEST(MouseTranslation, TurnsRecordsOverTheDesktopIntoEvents) {
  const std::vector<std::array<std::string_view, 3>> sessions = {
      {"moves 4 ms apart at once, the latest of the others at the next tick, never twice",
       "10 move 100 200; 11 move 101 200; 12 move 102 200; 14 tick; 17 move 103 200; "
       "18 move 104 200; 20 tick; 40 move 104 200; 56 tick; 60 move; 76 tick",
       "10 mousemove 100 200; 14 mousemove 102 200; 18 mousemove 104 200"},
      {"the first move within 4 ms of the start waits for a tick", "1 move 7 8; 3 move 9 9; 5 tick",
       "5 mousemove 9 9"},
      {"moves away from the desktop wait for the first tick with the desktop back",
       "100 move 5 5 @app; 116 tick @app; 132 tick", "132 mousemove 5 5"},
      {"a release only after a press over the desktop, wherever it is; no other buttons",
       "100 ld 500 500 @app; 120 lu 500 500; 130 ld 500 500 @bar; 135 lu 1 1; 140 rd 500 500; "
       "150 ru 500 500; 155 md 500 500; 160 ld 500 500; 170 ld 600 600; 180 lu 500 1060 @bar; "
       "190 lu 500 1060",
       "160 mousedown 500 500; 180 mouseup 500 1060"},
      {"a press and its release in one record; a lost release position, the last one read instead; "
       "a lost press position",
       "10 ld+lu 5 5; 20 ld 6 6; 25 move 9 9; 30 lu; 40 lu 7 7; 50 ld; 60 lu 8 8",
       "10 mousedown 5 5; 10 mouseup 5 5; 20 mousedown 6 6; 25 mousemove 9 9; 30 mouseup 9 9"},
      {"swapped buttons swap, at every record",
       "130 ld 500 500 swap; 140 rd 500 500 swap; 150 lu 1 1 swap; 160 ru 501 500 swap; "
       "170 ld 2 2; 180 lu 3 3",
       "140 mousedown 500 500; 160 mouseup 501 500; 170 mousedown 2 2; 180 mouseup 3 3"},
      {"other buttons and primary transitions carry no movement, and no wheel",
       "10 move 1 1; 20 rd 2 2; 30 lu+wheel=120 3 3; 40 tick; 50 md 4 4; 60 tick",
       "10 mousemove 1 1"},
      {"wheels over the desktop in the foreground only, deltas as given",
       "100 hwheel=-10 -5 -6; 110 wheel=120 500 500; 120 wheel=-120 0 0; 180 wheel=120 9 9 @bar; "
       "200 wheel=120 9 9 @app; 210 wheel=120",
       "100 mousewheel -5 -6 -10 0; 110 mousewheel 500 500 0 120; 120 mousewheel 0 0 0 -120"},
      {"records that are not the mouse's give nothing", "10 key 1 1; 20 tick", ""},
  };
  for (const auto& [name, steps, events] : sessions) EXPECT_EQ(play(steps), events) << name;
}

}  // namespace
}  // namespace orvel
