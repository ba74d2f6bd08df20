#include "mouse/translate.h"

#include <gmock/gmock.h>

#include <cctype>

#include "monitor/state.h"
#include "unit/monitor/monitor_fixture.h"

namespace orvel {
namespace {

using testing::ElementsAreArray;
using Layout = SimDesktop::ShellLayout;

constexpr std::uint16_t left_down = 0x0001;
constexpr std::uint16_t left_up = 0x0002;
constexpr std::uint16_t right_down = 0x0004;
constexpr std::uint16_t right_up = 0x0008;
constexpr std::uint16_t middle_down = 0x0010;
constexpr std::uint16_t x1_down = 0x0040;
constexpr std::uint16_t wheel = 0x0400;
constexpr std::uint16_t hwheel = 0x0800;

// Who has the foreground while a step plays.
enum class Front { desktop, icons, app };

struct Step {
  int at_ms;
  Point cursor;
  std::uint16_t flags = 0;  // no flags: a pure move
  std::uint16_t data = 0;
  Front front = Front::desktop;
};

struct Session {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::string> lines;  // the mouse lines, each "<ms> <event> <x> <y> [<dx> <dy>]"
  Layout layout = Layout::classic;
  bool swapped = false;
};

// Mouse input played on the virtual clock at a monitor started with --forward-mouse, whose timer
// ticks every 16 ms from 0.
std::vector<std::string> play(const Session& session) {
  reset_monitor_process_state();
  SimDesktop os;
  os.add_monitor({0, 0, 1920, 1080});
  const auto shell = os.start_shell({.layout = session.layout, .layer_exists = true});
  const Hwnd app = os.create_window(
      {.class_name = u"App", .process_id = 9, .rect = {0, 0, 400, 300}, .style = 0x10000000});
  const Hwnd host = os.create_window({.class_name = u"Host", .process_id = 42});
  os.set_swap_buttons(session.swapped);
  for (const Step& step : session.steps) {
    os.at(std::chrono::milliseconds(step.at_ms), [&os, &shell, app, step] {
      const Hwnd icons = shell.icons_workerw != 0 ? shell.icons_workerw : shell.progman;
      os.set_foreground(step.front == Front::app     ? app
                        : step.front == Front::icons ? icons
                                                     : shell.progman);
      os.set_cursor(step.cursor);
      os.mouse_input({.button_flags = step.flags, .button_data = step.data});
    });
  }
  os.at(1s, [&os] { os.end_stdin(); });
  const std::string line = "h.exe attach --forward-mouse --hwnd " + std::to_string(host);
  os.set_command_line(std::u16string(line.begin(), line.end()));
  EXPECT_EQ(run_program(os), 0);

  std::vector<std::string> lines;
  for (const SimDesktop::OutputLine& out : os.stdout_lines()) {
    if (!out.text.starts_with(R"({"event":"mouse)")) continue;
    std::string text = std::to_string(out.at / 1ms) + " ";
    for (const char c : out.text) {
      if (c == ',' || c == ':') text += ' ';
      if (std::isalnum(static_cast<unsigned char>(c)) || c == '-') text += c;
    }
    lines.push_back(text);
  }
  return lines;
}

TEST(MouseTranslation, TurnsRawInputOverTheDesktopIntoEvents) {
  const Point at{500, 500};
  const Point taskbar{500, 1060};
  const std::vector<Session> sessions = {
      {"moves paced by 4 ms and the timer",
       {{156, {100, 200}},
        {157, {101, 200}},
        {158, {102, 200}},
        {162, {103, 200}},
        {165, {104, 200}}},
       {"156 event mousemove x 100 y 200", "160 event mousemove x 102 y 200",
        "165 event mousemove x 104 y 200"}},
      {"no position twice",
       {{100, {50, 50}}, {110, {50, 50}}, {120, {50, 50}}},
       {"100 event mousemove x 50 y 50"}},
      {"a click, and a drag onto the taskbar",
       {{100, at, left_down},
        {140, {510, 500}, left_up},
        {200, at, left_down},
        {220, taskbar},
        {240, taskbar, left_up}},
       {"100 event mousedown x 500 y 500", "140 event mouseup x 510 y 500",
        "200 event mousedown x 500 y 500", "220 event mousemove x 500 y 1060",
        "240 event mouseup x 500 y 1060"}},
      {"a press while an app has the foreground, a release over the desktop",
       {{100, at, left_down, 0, Front::app}, {140, at, left_up}},
       {}},
      {"a press on the taskbar, or while a press is down",
       {{100, taskbar, left_down},
        {120, taskbar, left_up},
        {140, at, left_down},
        {160, at, left_down},
        {180, at, left_up}},
       {"140 event mousedown x 500 y 500", "180 event mouseup x 500 y 500"}},
      {"other buttons, with movement too",
       {{100, at, right_down},
        {120, {600, 600}, right_up},
        {140, at, middle_down},
        {160, {700, 700}, x1_down}},
       {}},
      {"the icons' WorkerW is the desktop too",
       {{100, at, left_down, 0, Front::icons}, {120, at, left_up, 0, Front::icons}},
       {"100 event mousedown x 500 y 500", "120 event mouseup x 500 y 500"}},
      {"wheels over the desktop only",
       {{100, at, wheel, 120},
        {120, at, wheel, 0xFF88},
        {140, at, hwheel, 120},
        {160, at, hwheel, 0xFFF6},
        {180, taskbar, wheel, 120},
        {200, at, wheel, 120, Front::app}},
       {"100 event mousewheel x 500 y 500 deltaX 0 deltaY 120",
        "120 event mousewheel x 500 y 500 deltaX 0 deltaY -120",
        "140 event mousewheel x 500 y 500 deltaX 120 deltaY 0",
        "160 event mousewheel x 500 y 500 deltaX -10 deltaY 0"}},
      {"a move away from the desktop waits for the first tick after it is back",
       {{100, {300, 300}, 0, 0, Front::app}, {120, {300, 300}, middle_down}},
       {"128 event mousemove x 300 y 300"}},
  };
  for (const Session& session : sessions) {
    EXPECT_THAT(play(session), ElementsAreArray(session.lines)) << session.name;
  }
  const Session swapped{"swapped buttons",
                        {{100, at, left_down},
                         {120, at, left_up},
                         {140, at, right_down},
                         {160, {501, 500}, right_up}},
                        {"140 event mousedown x 500 y 500", "160 event mouseup x 501 y 500"},
                        Layout::raised,
                        true};
  EXPECT_THAT(play(swapped), ElementsAreArray(swapped.lines));
}

// Without --forward-mouse nothing is ever registered, not even for the layer of a re-attach.
TEST_F(MonitorRun, NeverForwardsTheMouseUnlessAskedTo) {
  os.at(1s, [this] { os.restart_taskbar(701); });
  os.at(2s, [this] {
    os.set_foreground(shell.progman);
    os.set_cursor({500, 500});
    os.mouse_input({.button_flags = left_down});
    os.end_stdin();
  });
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(os.count_calls(Call::RegisterRawInputDevices), 0u);
  EXPECT_EQ(os.count_calls(Call::GetRawInputData), 0u);
  EXPECT_EQ(timed_lines().size(), 4u);
}

}  // namespace
}  // namespace orvel
