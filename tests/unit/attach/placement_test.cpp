#include "attach/placement.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sim_desktop.h"
#include "unit/printers.h"

namespace orvel {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

class FitHostToMonitor : public testing::Test {
 protected:
  SimDesktop os;
  Hmonitor left = os.add_monitor({-1920, 0, 0, 1080}, {-1920, 0, 0, 1040});
  Hmonitor right = os.add_monitor({1920, 0, 4480, 1440});
  Hwnd host = os.create_window({.class_name = u"OrvelHost",
                                .process_id = 42,
                                .rect = {10, 10, 110, 110},
                                .style = 0x16CF0000});
  std::string h = std::to_string(host);
};

TEST_F(FitHostToMonitor, ShowsATopLevelWindowOverTheWholeMonitorWithoutReordering) {
  const Hwnd above = os.create_window({.class_name = u"Other", .rect = {0, 0, 50, 50}});
  os.set_thread_dpi_awareness_context(-2);
  os.clear_calls();

  fit_host_to_monitor(os, host, left);

  const std::string desktop = std::to_string(os.desktop_window());
  EXPECT_THAT(os.calls(),
              ElementsAre("SetThreadDpiAwarenessContext(-4)",
                          "GetMonitorInfoW(" + std::to_string(left) + ")",
                          "GetAncestor(" + h + ", 1)", "ScreenToClient(" + desktop + ", -1920, 0)",
                          "SetWindowPos(" + h + ", 0, -1920, 0, 1920, 1080, 0x4054)",
                          "SetThreadDpiAwarenessContext(-2)"));
  const auto state = os.window(host);
  // The taskbar's share of the monitor is covered too.
  EXPECT_EQ(state->screen_rect, (Rect{-1920, 0, 0, 1080}));
  EXPECT_TRUE(state->visible);
  EXPECT_EQ(os.children(0).front(), above);
  EXPECT_EQ(os.thread_dpi_context(), -2);
}

TEST_F(FitHostToMonitor, PlacesAChildInItsParentsClientCoordinates) {
  const Hwnd at_origin = os.create_window({.class_name = u"WorkerW", .rect = {0, 0, 4480, 1440}});
  const Hwnd shifted = os.create_window({.class_name = u"WorkerW", .rect = {-1920, 0, 4480, 1440}});
  os.set_parent(host, at_origin);
  fit_host_to_monitor(os, host, right);
  EXPECT_EQ(os.window(host)->rect, (Rect{1920, 0, 4480, 1440}));

  os.set_parent(host, shifted);
  os.clear_calls();
  fit_host_to_monitor(os, host, right);
  EXPECT_THAT(os.calls(),
              testing::Contains("SetWindowPos(" + h + ", 0, 3840, 0, 2560, 1440, 0x4054)"));
  EXPECT_EQ(os.window(host)->screen_rect, (Rect{1920, 0, 4480, 1440}));
}

TEST_F(FitHostToMonitor, DoesNothingAtAllForANullOrInvalidMonitor) {
  os.clear_calls();
  fit_host_to_monitor(os, host, 0);
  fit_host_to_monitor(os, host, -1);
  EXPECT_THAT(os.calls(), IsEmpty());
  EXPECT_EQ(os.window(host)->rect, (Rect{10, 10, 110, 110}));
}

TEST_F(FitHostToMonitor, RestoresTheThreadContextOnlyWhenTheSwitchGaveOne) {
  os.fail_call(Call::GetMonitorInfoW, 1461, 1);
  os.clear_calls();
  fit_host_to_monitor(os, host, right);
  EXPECT_THAT(os.calls(), ElementsAre("SetThreadDpiAwarenessContext(-4)",
                                      "GetMonitorInfoW(" + std::to_string(right) + ")",
                                      "SetThreadDpiAwarenessContext(24592)"));
  EXPECT_EQ(os.window(host)->rect, (Rect{10, 10, 110, 110}));

  os.fail_call(Call::SetThreadDpiAwarenessContext, 87, 1);
  os.fail_call(Call::SetWindowPos, 5, 1);
  os.clear_calls();
  fit_host_to_monitor(os, host, right);
  EXPECT_EQ(os.count_calls(Call::SetThreadDpiAwarenessContext), 1u);
  EXPECT_EQ(os.count_calls(Call::SetWindowPos), 1u);

  // A previous context with all bits set is not given back either.
  os.set_thread_dpi_awareness_context(-1);
  os.clear_calls();
  fit_host_to_monitor(os, host, right);
  EXPECT_EQ(os.count_calls(Call::SetThreadDpiAwarenessContext), 1u);
  EXPECT_EQ(os.window(host)->screen_rect, (Rect{1920, 0, 4480, 1440}));
}

TEST(RefreshWallpaper, AppliesTheSettingAgainWithANullString) {
  SimDesktop os;
  EXPECT_TRUE(refresh_wallpaper(os).has_value());
  EXPECT_THAT(os.calls(), ElementsAre("SystemParametersInfoW(0x14, 0, null, 0x1)"));

  os.fail_call(Call::SystemParametersInfoW, 5);
  const Result<void> failed = refresh_wallpaper(os);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error(),
            (HelperError{"SPI_SETDESKWALLPAPER refresh failed: Access is denied. (0x80070005)",
                         std::nullopt}));
}

}  // namespace
}  // namespace orvel
