#include "mouse/translate.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

#include "unit/mouse/quiet_desktop.h"

namespace orvel {
namespace {

// Plays `steps`, ";" apart, each "<ms> tick" or "<ms> <record> <x> <y>", the record a button
// transition, a wheel with its data ("ld", "wheel=-120") or "move", then who else is there:
// "@app" in front, "@bar" under the cursor, "@icons" (the icons' WorkerW) both, "swap" (swapped
// buttons from then on). Gives the mouse lines as "<ms> <event> <x> <y> [<dx> <dy>]", ";" apart.
std::string play(std::string_view steps) {
  static const std::map<std::string, std::uint16_t, std::less<>> flags = {
      {"move", 0},    {"ld", 0x0001},    {"lu", 0x0002},    {"rd", 0x0004},
      {"ru", 0x0008}, {"wheel", 0x0400}, {"hwheel", 0x0800}};
  QuietDesktop os;
  EXPECT_TRUE(os.start_forwarding());
  os.keep_lines = true;
  std::string lines;
  std::istringstream all{std::string(steps)};
  for (std::string step; std::getline(all, step, ';');) {
    std::istringstream words(step);
    int ms = 0;
    std::string what;
    words >> ms >> what;
    os.now = std::chrono::milliseconds(ms);
    os.foreground = os.under_cursor = os.progman;
    if (what == "tick") {
      os.tick();
    } else {
      words >> os.cursor.x >> os.cursor.y;
      for (std::string where; words >> where;) {
        if (where == "@app") os.foreground = 0x777;
        if (where == "@bar") os.under_cursor = 0x777;
        if (where == "@icons") os.foreground = os.under_cursor = os.shell.icons_workerw;
        if (where == "swap") os.swapped = true;
      }
      const std::size_t equals = what.find('=');
      os.input({.button_flags = flags.at(what.substr(0, equals)),
                .button_data = static_cast<std::uint16_t>(
                    equals == std::string::npos ? 0 : std::stoi(what.substr(equals + 1)))});
    }
    for (; !os.lines.empty(); os.lines.erase(os.lines.begin())) {
      const std::string values =
          std::regex_replace(os.lines[0], std::regex(R"("\w+":|[{}"\n])"), "");
      lines += (lines.empty() ? "" : "; ") + std::to_string(ms) + " " +
               std::regex_replace(values, std::regex(","), " ");
    }
  }
  return lines;
}

TEST(MouseTranslation, TurnsRawInputOverTheDesktopIntoEvents) {
  const std::vector<std::array<std::string_view, 3>> sessions = {
      {"moves 4 ms apart, the others at the next tick, never to the same place twice",
       "156 move 100 200; 157 move 101 200; 159 move 102 200; 160 tick; 162 move 103 200; "
       "165 move 104 200; 176 tick; 200 move 104 200; 208 tick",
       "156 mousemove 100 200; 160 mousemove 102 200; 165 mousemove 104 200"},
      {"a release only after a press over the desktop, wherever it is; no other buttons",
       "100 ld 500 500 @app; 120 lu 500 500; 140 rd 500 500; 150 ru 500 500; 160 ld 500 500; "
       "180 lu 500 1060 @bar; 200 ld 500 1060 @bar",
       "160 mousedown 500 500; 180 mouseup 500 1060"},
      {"the icons' WorkerW is the desktop too, and swapped buttons swap",
       "100 ld 500 500 @icons; 120 lu 500 500 @icons; 130 ld 500 500 swap; 140 rd 500 500 swap; "
       "160 ru 501 500 swap",
       "100 mousedown 500 500; 120 mouseup 500 500; 140 mousedown 500 500; 160 mouseup 501 500"},
      {"wheels over the desktop only",
       "100 hwheel=-10 500 500; 180 wheel=120 500 1060 @bar; 200 wheel=120 500 500 @app",
       "100 mousewheel 500 500 -10 0"},
  };
  for (const auto& [name, steps, lines] : sessions) EXPECT_EQ(play(steps), lines) << name;
}

}  // namespace
}  // namespace orvel
