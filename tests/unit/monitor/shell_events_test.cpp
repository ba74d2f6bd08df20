#include "monitor/shell_events.h"

#include <gtest/gtest.h>

namespace orvel {
namespace {

constexpr Hwnd host = 300, layer = 200, other = 999;

TEST(ShellEvents, OnlyTheHostOrItsLayerGoingNeedsAReattachAndReordersRunTheGuardWhenItIsOn) {
  const Watched guarded{.host = host, .workerw = layer, .zguard = true};
  const Watched unguarded{.host = host, .workerw = layer, .zguard = false};
  const struct {
    std::uint32_t event;
    Hwnd window;
    Watched watched;
    ShellReaction reaction;
  } cases[] = {
      {win::event_object_destroy, host, unguarded, ShellReaction::layer_destroyed},
      {win::event_object_destroy, layer, guarded, ShellReaction::layer_destroyed},
      {win::event_object_destroy, other, guarded, ShellReaction::none},
      // The window a reorder names is not compared with anything.
      {win::event_object_reorder, other, guarded, ShellReaction::guard},
      {win::event_object_reorder, host, unguarded, ShellReaction::none},
      {0x8002, host, guarded, ShellReaction::none},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(react_to_shell_event(c.event, c.window, c.watched), c.reaction)
        << c.event << " " << c.window;
  }
  EXPECT_TRUE(shell_restarted(0, 701));
  EXPECT_TRUE(shell_restarted(700, 0));
  EXPECT_FALSE(shell_restarted(700, 700));
}

TEST(ShellEvents, OnlyWindowEventsThatCanChangeWhatIsSeenMakeTheVisibilityAnswerStale) {
  constexpr std::int32_t objid_cursor = -9, objid_client = -4;
  const struct {
    std::uint32_t event;
    std::int32_t object_id;
    bool reports;
    ShellInterest interest;
  } cases[] = {
      {win::event_object_locationchange, win::objid_window, true, {.visibility = true}},
      {win::event_object_locationchange, objid_cursor, true, {}},
      {win::event_object_locationchange, win::objid_window, false, {}},
      {win::event_system_foreground, win::objid_window, true, {.visibility = true}},
      {win::event_object_uncloaked, win::objid_window, true, {.visibility = true}},
      // A desktop switch is let through whatever object it names.
      {win::event_system_desktopswitch, objid_client, true, {.visibility = true}},
      {win::event_object_destroy, win::objid_window, true, {.visibility = true, .layer = true}},
      {win::event_object_reorder, win::objid_window, false, {.layer = true}},
      {win::event_object_reorder, objid_client, true, {}},
      {0x8005, win::objid_window, true, {}},  // focus
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shell_interest(c.event, c.object_id, c.reports), c.interest)
        << c.event << " " << c.object_id << " " << c.reports;
  }
}

}  // namespace
}  // namespace orvel
