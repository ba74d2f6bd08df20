#include "monitor/monitor.h"

#include <gmock/gmock.h>

#include "unit/monitor/monitor_fixture.h"

namespace orvel {
namespace {

using testing::ElementsAre;

TEST_F(MonitorRun, AttachesBeatsEveryFiveSecondsAndDetachesWhenInputEnds) {
  os.at(12s, [this] { os.end_stdin(); });
  EXPECT_EQ(run(), 0);
  EXPECT_THAT(timed_lines(),
              ElementsAre("0 " + attached(shell.layer), "5000 " + std::string(heartbeat),
                          "10000 " + std::string(heartbeat), "12000 " + detached()));
  const auto state = os.window(host);
  EXPECT_EQ(state->parent, os.desktop_window());
  EXPECT_EQ(state->style, 0x92CF0000u);
  EXPECT_EQ(state->ex_style, 0x00040100u);
}

}  // namespace
}  // namespace orvel
