// Monitors that come and go while the helper runs, as the tests make them under Wine: what a
// process started before the change sees, and the stand-in shell following the new screen.
#include <cstdio>

#include "e2e/session.h"

namespace orvel::e2e {
namespace {

const std::string first = R"(\\.\DISPLAY1 0,0,1920,1080)",
                  second = R"(\\.\DISPLAY2 1920,0,3840,1080)";

// Whatever a test finds, the ones after it have two monitors again.
struct TwoMonitorsAfter {
  ~TwoMonitorsAfter() { set_monitor_count(2); }
};

// Each shell's layer, unpainted: away from the screen's origin by its own offset, as large as the
// screen, on one monitor and on two, and once moved left by a monitor's width and up by 10.
struct LayerCase {
  Layout layout;
  Box one, moved, two;
};
constexpr LayerCase layer_cases[] = {
    {Layout::classic, {200, 150, 2120, 1230}, {-1720, 140, 200, 1220}, {200, 150, 4040, 1230}},
    {Layout::raised, {160, 90, 2080, 1170}, {-1760, 80, 160, 1160}, {160, 90, 4000, 1170}},
};

// 2 -> 1 -> 2: a process started before sees each change, with the same device names, and its
// hidden top-level window takes one WM_DISPLAYCHANGE from Wine for each. The
// shells' layers keep their size until told to fit, and move as told.
TEST(Monitors, ComeAndGoForEveryProcessAndTheShellFollows) {
  const TwoMonitorsAfter restore;
  Process watcher(L"orvel_stand_in_shell.exe", L"watch-display");
  // Its lines end in "\r\n", as the C runtime writes text.
  const auto seen = [&](bool ask = true) {
    if (ask) watcher.write("monitors\n");
    std::string line = watcher.read_line().value_or("");
    if (line.ends_with('\r')) line.pop_back();
    return line;
  };
  EXPECT_EQ(seen(false), "0 " + first + ' ' + second);
  const Window host = create_window(WS_POPUP, {2020, 80, 2660, 560});
  Shell classic(Layout::classic), raised(Layout::raised);
  Shell* const shells[] = {&classic, &raised};

  ULONGLONG started = GetTickCount64();
  ASSERT_TRUE(set_monitor_count(1));
  std::printf("monitors: 2 -> 1 took %llu ms\n", GetTickCount64() - started);
  EXPECT_EQ(seen(), "1 " + first);
  EXPECT_EQ(MonitorFromWindow(host.get(), MONITOR_DEFAULTTONULL), nullptr);
  EXPECT_EQ(monitor_box(host.get()), (Box{0, 0, 1920, 1080}));
  for (std::size_t index = 0; index < std::size(layer_cases); ++index) {
    const LayerCase& expected = layer_cases[index];
    Shell& shell = *shells[index];
    SCOPED_TRACE(expected.layout == Layout::classic ? "classic" : "raised");
    EXPECT_EQ(window_box(shell.layer()), expected.two);
    shell.fit_layer();
    EXPECT_EQ(window_box(shell.layer()), expected.one);
    shell.move_layer(-1920, -10);
    EXPECT_EQ(window_box(shell.layer()), expected.moved);
  }

  started = GetTickCount64();
  ASSERT_TRUE(set_monitor_count(2));
  std::printf("monitors: 1 -> 2 took %llu ms\n", GetTickCount64() - started);
  EXPECT_EQ(seen(), "2 " + first + ' ' + second);
  EXPECT_EQ(monitor_box(host.get()), (Box{1920, 0, 3840, 1080}));
  for (std::size_t index = 0; index < std::size(layer_cases); ++index) {
    SCOPED_TRACE(layer_cases[index].layout == Layout::classic ? "classic" : "raised");
    shells[index]->fit_layer();
    EXPECT_EQ(window_box(shells[index]->layer()), layer_cases[index].two);
  }
}

}  // namespace
}  // namespace orvel::e2e
