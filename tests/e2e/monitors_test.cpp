// Wallpapers on two monitors, as applications have them: one per monitor, and one spanning both,
// while the shell restarts, monitors come and go, and the shell moves its layer.
#include "e2e/session.h"

namespace orvel::e2e {
namespace {

constexpr Box first{0, 0, 1920, 1080}, second{1920, 0, 3840, 1080}, both{0, 0, 3840, 1080};

// A window of ours over `box`, shown and hidden as Windows would say.
struct Cover {
  explicit Cover(Box box)
      : window(create_window(WS_POPUP | WS_VISIBLE, {box[0], box[1], box[2], box[3]})) {
    raise_win_event(EVENT_OBJECT_SHOW, window.get());
  }
  ~Cover() {
    ShowWindow(window.get(), SW_HIDE);
    raise_win_event(EVENT_OBJECT_HIDE, window.get());
  }
  Window window;
};

// Two helpers, one window each on its own monitor, both guarding: siblings in one layer that do
// not overlap never set the guards off, neither at a reorder nor at the heartbeat, and covering one
// monitor changes only that helper's visibility.
TEST(Monitors, AWallpaperPerMonitorEachStaysAndTheGuardsLeaveEachOtherAlone) {
  Shell shell(Layout::classic);
  const Window left = create_window(WS_POPUP, {100, 80, 740, 560}),
               right = create_window(WS_POPUP, {2020, 80, 2660, 560});
  Session one(shell, left.get(), L" --zguard --report-visibility"),
      two(shell, right.get(), L" --zguard --report-visibility");
  EXPECT_EQ(one.next(), visible(left.get(), true));
  EXPECT_EQ(two.next(), visible(right.get(), true));
  EXPECT_EQ(window_box(left.get()), first);
  EXPECT_EQ(window_box(right.get()), second);
  raise_win_event(EVENT_OBJECT_REORDER, shell.layer());
  EXPECT_EQ(one.next(false, 5'500), std::nullopt);
  EXPECT_EQ(two.next(false, 500), std::nullopt);
  {
    const Cover over_first(first);
    EXPECT_EQ(one.next(), visible(left.get(), false));
    EXPECT_EQ(two.next(false, 1'000), std::nullopt);
  }
  EXPECT_EQ(one.next(), visible(left.get(), true));
  EXPECT_EQ(one.close(), 0u);
  EXPECT_EQ(two.close(), 0u);
}

// A spanning window covers both monitors, through a taskbar restart and a display change, and is
// seen while either monitor shows some of it.
TEST(Monitors, ASpanningWallpaperCoversBothThroughARestartAndADisplayChange) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  Session session(shell, host.get(), L" --span --report-visibility --follow-display");
  EXPECT_EQ(session.next(), visible(host.get(), true));
  EXPECT_EQ(window_box(host.get()), both);
  {
    const Cover over_first(first);
    EXPECT_EQ(session.next(false, 1'000), std::nullopt);
    const Cover over_second(second);
    EXPECT_EQ(session.next(), visible(host.get(), false));
  }
  EXPECT_EQ(session.next(), visible(host.get(), true));
  shell.restart_taskbar();
  EXPECT_EQ(session.next(), restarted);
  EXPECT_EQ(session.next(), attached(host.get(), shell.layer(), Layout::classic));
  EXPECT_EQ(session.next(), visible(host.get(), true));
  EXPECT_EQ(window_box(host.get()), both);
  display_changed();
  EXPECT_EQ(session.next(false, 1'000), std::nullopt);
  EXPECT_EQ(window_box(host.get()), both);
  EXPECT_EQ(session.close(), 0u);
}

// Whatever a test finds, the ones after it have two monitors again.
struct TwoMonitorsAfter {
  ~TwoMonitorsAfter() { set_monitor_count(2); }
};

// A window on the second monitor goes to the first while the second is gone and back once it
// returns, with one "moved" each time and none for a change that moves nothing; a layer that the
// shell moves by a monitor's width takes it along, and the next display change brings it home; a
// `move` to the other monitor makes that its home.
TEST(Monitors, AWallpaperFollowsItsMonitorAwayAndBackAndStaysWhenTheLayerMoves) {
  const TwoMonitorsAfter restore;
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {2020, 80, 2660, 560});
  Session session(shell, host.get(), L" --follow-display");
  const std::string moved = event("moved", host.get());
  ASSERT_TRUE(set_monitor_count(1));
  EXPECT_EQ(session.next(), moved);
  EXPECT_EQ(window_box(host.get()), first);
  ASSERT_TRUE(set_monitor_count(2));
  EXPECT_EQ(session.next(), moved);
  EXPECT_EQ(window_box(host.get()), second);
  display_changed();
  EXPECT_EQ(session.next(false, 1'000), std::nullopt);
  shell.move_layer(-1920, 0);
  EXPECT_EQ(window_box(host.get()), first);
  display_changed();
  EXPECT_EQ(session.next(), moved);
  EXPECT_EQ(window_box(host.get()), second);
  // A look that finds the window where the helper put it: the fit has arrived, so that a window
  // found at its old place after this was put there by someone else.
  display_changed();
  EXPECT_EQ(session.next(false, 1'000), std::nullopt);
  // The application moves it to the first monitor with `move`, where the layer's move had left it:
  // there it stays from then on.
  POINT origin{};
  ClientToScreen(shell.layer(), &origin);
  SetWindowPos(host.get(), nullptr, 100 - origin.x, 100 - origin.y, 640, 480, SWP_NOZORDER);
  expect_done(L"move", host.get(), "moved");
  EXPECT_EQ(window_box(host.get()), first);
  Sleep(1'000);
  display_changed();
  EXPECT_EQ(session.next(false, 1'000), std::nullopt);
  EXPECT_EQ(window_box(host.get()), first);
  EXPECT_EQ(session.close(), 0u);
}

}  // namespace
}  // namespace orvel::e2e
