#include "monitor/decisions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace orvel {
namespace {

using namespace std::chrono_literals;

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

// The host window is seen where it lies on a monitor and nothing covers it: a spanning one while
// any of its monitors shows some of it, even where monitors leave a gap in their bounding box.
TEST(Visibility, SeenUnlessTheDisplayIsOffTheDesktopIsAnotherOrWindowsCoverItOnEveryMonitor) {
  constexpr Rect first{0, 0, 1920, 1080}, second{1920, 0, 3840, 1080}, tall{1920, 0, 3840, 1440};
  const std::vector<Rect> none, over_second{{1912, -8, 3848, 1088}},
      over_both{{-8, -8, 3848, 1088}};
  const std::vector<Rect> two{first, second}, gap{first, tall};
  CoverScratch scratch;
  const struct {
    VisibilityFacts facts;
    const std::vector<Rect>& monitors;
    const std::vector<Rect>& covers;
    bool visible;
  } cases[] = {
      {{.window = second}, two, none, true},
      {{.window = second}, two, over_second, false},
      {{.display_on = false, .window = second}, two, none, false},
      {{.own_desktop = false, .window = second}, two, none, false},
      {{.window = {0, 0, 3840, 1080}}, two, over_second, true},
      {{.window = {0, 0, 3840, 1080}}, two, over_both, false},
      // The bounding box of monitors of two heights holds a corner that no monitor shows.
      {{.window = {0, 0, 3840, 1440}},
       gap,
       {{-8, -8, 3848, 1088}, {1912, 1000, 3848, 1448}},
       false},
      // A window off every monitor is not seen.
      {{.window = {-500, 0, -10, 100}}, two, none, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(window_visible(c.facts, c.monitors, c.covers, scratch), c.visible)
        << c.facts.window.left << " " << c.facts.window.right << " " << c.covers.size();
  }
  // The helper may run on a desktop of any name; one that cannot be named is someone else's.
  EXPECT_TRUE(input_desktop_is_own(u"Default", u"Default"));
  EXPECT_TRUE(input_desktop_is_own(u"Kiosk", u"Kiosk"));
  EXPECT_FALSE(input_desktop_is_own(u"Winlogon", u"Default"));
  EXPECT_FALSE(input_desktop_is_own(std::nullopt, u"Default"));
  EXPECT_FALSE(input_desktop_is_own(std::nullopt, std::nullopt));

  constexpr std::uint32_t layered = win::ws_ex_layered, transparent = win::ws_ex_transparent;
  EXPECT_TRUE(window_hides(false, false, 0));
  EXPECT_TRUE(window_hides(false, false, layered));
  EXPECT_FALSE(window_hides(false, false, layered | transparent | 0x8));
  EXPECT_FALSE(window_hides(true, false, 0));
  EXPECT_FALSE(window_hides(false, true, 0));

  VisibilityReport report;
  const struct {
    bool visible;
    bool written;
  } steps[] = {{true, true}, {true, false}, {false, true}, {false, false}, {true, true}};
  for (const auto& step : steps) EXPECT_EQ(report.changed(step.visible), step.written);
  report.forget();  // a new "attached": the same value is written again
  EXPECT_TRUE(report.changed(true));
}

TEST(FollowDisplay, RefitsAfterDisplayWorkAreaAndDpiChangesAndAResume) {
  const struct {
    std::uint32_t message;
    std::uint64_t wparam;
    bool changed;
  } cases[] = {
      {win::wm_displaychange, 32, true},
      {win::wm_settingchange, win::spi_setworkarea, true},
      {win::wm_settingchange, win::spi_setdeskwallpaper, false},
      {win::wm_powerbroadcast, win::pbt_apmresumeautomatic, true},
      {win::wm_powerbroadcast, win::pbt_powersettingchange, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(display_changed(c.message, c.wparam), c.changed) << c.message << " " << c.wparam;
  }
}

// Messages from other processes: a posted power setting or a timer message with a procedure never
// reaches the window procedure; a power setting's data is read only for the display's state.
TEST(ForeignMessages, OnlyTheSystemsPowerSettingsAndTimersWithoutProcedureGoOn) {
  const struct {
    Message message;
    bool dispatched;
  } cases[] = {
      {{.message = win::wm_powerbroadcast, .wparam = win::pbt_powersettingchange, .lparam = 8},
       false},
      {{.message = win::wm_powerbroadcast, .wparam = win::pbt_apmresumeautomatic}, true},
      {{.message = win::wm_timer, .wparam = 1, .lparam = 0x401000}, false},
      {{.message = win::wm_timer, .wparam = 1}, true},
      {{.message = win::wm_close}, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dispatches_queued(c.message), c.dispatched)
        << c.message.message << " " << c.message.wparam;
  }
  const PowerSettingHeader display{.setting = win::guid_console_display_state, .data_length = 4};
  PowerSettingHeader brightness = display;
  brightness.setting.data4[7] ^= 1;
  EXPECT_EQ(display_on_in(display, std::byte{0}), false);
  EXPECT_EQ(display_on_in(display, std::byte{1}), true);
  EXPECT_EQ(display_on_in(display, std::byte{2}), true);  // dimmed is still seen
  EXPECT_EQ(display_on_in(brightness, std::byte{0}), std::nullopt);
  EXPECT_EQ(display_on_in({.setting = display.setting}, std::byte{0}), std::nullopt);
}

TEST(ZorderGuard, ActsOnAHostWindowThatAWindowAboveItCoversAtMostOnceInTenSeconds) {
  // Only a window above the host window that covers some of it: another monitor's wallpaper, a
  // sibling beside it in the same layer, leaves the guard alone.
  constexpr Rect on_first{0, 0, 1920, 1080}, on_second{1920, 0, 3840, 1080};
  const std::vector<Rect> beside{on_second}, corner{on_second, {1910, 1070, 1921, 1081}};
  EXPECT_FALSE(host_covered(on_first, {}));
  EXPECT_FALSE(host_covered(on_first, beside));
  EXPECT_TRUE(host_covered(on_first, corner));
  EXPECT_TRUE(host_covered(on_second, beside));

  const struct {
    std::optional<std::chrono::microseconds> last;
    std::chrono::microseconds now;
    bool due;
  } cases[] = {
      {std::nullopt, 0us, true}, {0us, 5s, false}, {0us, 9'999'999us, false}, {0us, 10s, true},
      {3s, 14s, true},           {20s, 5s, false}, {20s, 30s, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reassert_due(c.last, c.now), c.due) << c.now.count();
  }
}

TEST(WorkerGate, OneWorkerAtATimeAndATriggerWhileItRunsMakesItRunOnceMore) {
  WorkerGate gate;
  EXPECT_FALSE(gate.running());
  EXPECT_TRUE(gate.claim());
  EXPECT_FALSE(gate.claim());
  EXPECT_FALSE(gate.claim());  // two triggers while it ran: one more run covers both
  EXPECT_TRUE(gate.running());
  EXPECT_TRUE(gate.finish());
  EXPECT_TRUE(gate.running());
  EXPECT_FALSE(gate.finish());
  EXPECT_FALSE(gate.running());
  EXPECT_TRUE(gate.claim());
  gate.abandon();
  EXPECT_FALSE(gate.running());
  EXPECT_TRUE(gate.claim());
}

// Triggers on one thread, a worker that ends at any moment on another: every trigger is followed
// by a run that began after it, and never do two workers run at once.
TEST(WorkerGate, NoTriggerIsLostWhileTheWorkerEnds) {
  WorkerGate gate;
  std::atomic<int> triggers{0}, seen{0}, workers{0};
  std::atomic<bool> overlap{false};
  const auto work = [&] {
    do {
      if (workers.fetch_add(1) != 0) overlap = true;
      seen = triggers.load();
      workers.fetch_sub(1);
    } while (gate.finish());
  };
  std::vector<std::jthread> started;
  for (int i = 0; i < 20'000; ++i) {
    triggers.fetch_add(1);
    if (gate.claim()) started.emplace_back(work);
    if (started.size() > 64) started.clear();
  }
  started.clear();
  EXPECT_FALSE(gate.running());
  EXPECT_FALSE(overlap);
  EXPECT_EQ(seen, triggers);
}

TEST(CloseGate, WaitsForARunningWorkerAtMostAboutTwoSeconds) {
  WorkerGate gate;
  int pauses = 0;
  EXPECT_TRUE(await_worker_end(gate, [&] { ++pauses; }));
  EXPECT_EQ(pauses, 0);
  ASSERT_TRUE(gate.claim());
  EXPECT_TRUE(await_worker_end(gate, [&] {
    if (++pauses == 3) gate.finish();
  }));
  EXPECT_EQ(pauses, 3);
  ASSERT_TRUE(gate.claim());
  pauses = 0;
  EXPECT_FALSE(await_worker_end(gate, [&] { ++pauses; }));
  EXPECT_EQ(pauses * close_wait_pause, 2s);
}

}  // namespace
}  // namespace orvel
