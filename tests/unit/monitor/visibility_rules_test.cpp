#include "monitor/visibility_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvel {
namespace {

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
      // A window hidden, or inside a hidden layer, is seen nowhere.
      {{.shown = false, .window = second}, two, none, false},
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

// Right after an attach, the fit that shows the host window may not have reached its thread: the
// window counts as shown while its layer is.
TEST(Visibility, AWindowThatTheAttachIsShowingCountsAsShown) {
  EXPECT_TRUE(host_shown(true, false, false));
  EXPECT_TRUE(host_shown(false, true, true));
  EXPECT_FALSE(host_shown(false, true, false));
  EXPECT_FALSE(host_shown(false, false, true));
}

TEST(Visibility, TheDisplaysStateIsReadOnlyFromItsOwnSetting) {
  Guid brightness = win::guid_console_display_state;
  brightness.data4[7] ^= 1;
  EXPECT_EQ(display_on_in({win::guid_console_display_state, 0}), false);
  EXPECT_EQ(display_on_in({win::guid_console_display_state, 1}), true);
  EXPECT_EQ(display_on_in({win::guid_console_display_state, 2}), true);  // dimmed is still seen
  EXPECT_EQ(display_on_in({brightness, 0}), std::nullopt);
}

}  // namespace
}  // namespace orvel
