#include "mouse/translate.h"

#include <gmock/gmock.h>

#include <map>
#include <regex>
#include <sstream>

#include "unit/monitor/monitor_fixture.h"

namespace orvel {
namespace {

using Layout = SimDesktop::ShellLayout;

// Mouse input played on the virtual clock at a monitor started with --forward-mouse, whose timer
// ticks every 16 ms from 0. Each step of `steps`, ";" apart, is "<ms> <x> <y>", then a button
// transition or a wheel with its data ("ld", "wheel=-120"; none: a pure move), then who has the
// foreground ("@app", "@icons"; none: the desktop). Gives the mouse lines as
// "<ms> <event> <x> <y> [<dx> <dy>]", ";" apart.
std::string play(std::string_view steps, Layout layout = Layout::classic, bool swapped = false) {
  static const std::map<std::string, std::uint16_t, std::less<>> flags = {
      {"ld", 0x0001}, {"lu", 0x0002}, {"rd", 0x0004},    {"ru", 0x0008},
      {"md", 0x0010}, {"x1", 0x0040}, {"wheel", 0x0400}, {"hwheel", 0x0800}};
  AttachRun r(layout);
  const Hwnd app = r.os.create_window({.class_name = u"App", .process_id = 9});
  r.os.set_swap_buttons(swapped);
  std::istringstream all{std::string(steps)};
  for (std::string step; std::getline(all, step, ';');) {
    std::istringstream words(step);
    int at = 0;
    Point cursor;
    words >> at >> cursor.x >> cursor.y;
    RawInputRecord record;
    Hwnd front = r.shell.progman;
    for (std::string word; words >> word;) {
      if (word.starts_with('@')) {
        front = word == "@app" ? app : r.shell.icons_workerw;
        continue;
      }
      const std::size_t equals = word.find('=');
      record.button_flags = flags.at(word.substr(0, equals));
      if (equals != std::string::npos) {
        record.button_data = static_cast<std::uint16_t>(std::stoi(word.substr(equals + 1)));
      }
    }
    r.os.at(std::chrono::milliseconds(at), [&r, front, cursor, record] {
      r.os.set_foreground(front);
      r.os.set_cursor(cursor);
      r.os.mouse_input(record);
    });
  }
  r.os.at(1s, [&r] { r.os.end_stdin(); });
  EXPECT_EQ(r.run(" --forward-mouse"), 0);
  // Input comes while other windows have the foreground too.
  EXPECT_THAT(r.os.calls(), testing::Contains("RegisterRawInputDevices(0x1, 0x2, 0x100, " +
                                              std::to_string(message_window()) + ")"));
  std::string lines;
  for (const SimDesktop::OutputLine& out : r.os.stdout_lines()) {
    if (!out.text.starts_with(R"({"event":"mouse)")) continue;
    const std::string values = std::regex_replace(out.text, std::regex(R"("\w+":|[{}"])"), "");
    lines += (lines.empty() ? "" : "; ") + std::to_string(out.at / 1ms) + " " +
             std::regex_replace(values, std::regex(","), " ");
  }
  return lines;
}

TEST(MouseTranslation, TurnsRawInputOverTheDesktopIntoEvents) {
  const std::vector<std::array<std::string_view, 3>> sessions = {
      {"moves paced by 4 ms and the timer, never to the same place twice",
       "156 100 200; 157 101 200; 159 102 200; 162 103 200; 165 104 200; 200 104 200",
       "156 mousemove 100 200; 160 mousemove 102 200; 165 mousemove 104 200"},
      {"a release only after a press over the desktop, wherever it is; no other buttons",
       "100 500 500 ld @app; 120 500 500 lu; 140 500 500 rd; 150 500 500 ru; 160 500 500 ld; "
       "180 500 1060 lu; 200 500 1060 ld",
       "160 mousedown 500 500; 180 mouseup 500 1060"},
      {"the icons' WorkerW is the desktop too", "100 500 500 ld @icons; 120 500 500 lu @icons",
       "100 mousedown 500 500; 120 mouseup 500 500"},
      {"wheels over the desktop only",
       "100 500 500 hwheel=-10; 180 500 1060 wheel=120; 200 500 500 wheel=120 @app",
       "100 mousewheel 500 500 -10 0"},
  };
  for (const auto& [name, steps, lines] : sessions) EXPECT_EQ(play(steps), lines) << name;
  EXPECT_EQ(
      play("100 500 500 ld; 120 500 500 lu; 140 500 500 rd; 160 501 500 ru", Layout::raised, true),
      "140 mousedown 500 500; 160 mouseup 501 500");
}

}  // namespace
}  // namespace orvel
