#include "attach/placement.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sim_desktop.h"
#include "unit/printers.h"

namespace orvel {
namespace {

class FitHostToMonitor : public testing::Test {
 protected:
  SimDesktop os;
  Hmonitor left = os.add_monitor({-1920, 0, 0, 1080}, {-1920, 0, 0, 1040});
  Hmonitor right = os.add_monitor({1920, 0, 4480, 1440});
  Hwnd host = os.create_window({.class_name = u"OrvelHost", .rect = {10, 10, 110, 110}});
  std::string h = std::to_string(host);
};

TEST_F(FitHostToMonitor, ShowsTheWindowOverTheWholeMonitorInPerMonitorPixels) {
  const Hwnd above = os.create_window({.class_name = u"Other", .rect = {0, 0, 50, 50}});
  os.set_thread_dpi_awareness_context(-2);
  os.clear_calls();

  fit_host_to_monitor(os, host, left);

  std::vector<std::string> calls = os.calls();
  std::erase_if(calls, [](const std::string& call) { return !call.starts_with("Set"); });
  EXPECT_THAT(calls,
              testing::ElementsAre("SetThreadDpiAwarenessContext(-4)",
                                   "SetWindowPos(" + h + ", 0, -1920, 0, 1920, 1080, 0x4054)",
                                   "SetThreadDpiAwarenessContext(-2)"));
  // The taskbar's share of the monitor is covered too, and the z-order stays.
  EXPECT_EQ(os.window(host)->screen_rect, (Rect{-1920, 0, 0, 1080}));
  EXPECT_TRUE(os.window(host)->visible);
  EXPECT_EQ(os.children(0).front(), above);

  // A child goes to its parent's client coordinates.
  os.set_parent(host, os.create_window({.class_name = u"WorkerW", .rect = {-1920, 0, 4480, 1440}}));
  fit_host_to_monitor(os, host, right);
  EXPECT_EQ(os.window(host)->rect, (Rect{3840, 0, 6400, 1440}));
  EXPECT_EQ(os.window(host)->screen_rect, (Rect{1920, 0, 4480, 1440}));
}

// The context goes back when the switch gave one: not after a failed switch, nor for a previous
// context with all bits set. A null or invalid monitor leaves everything alone.
TEST_F(FitHostToMonitor, RestoresOnlyAThreadContextThatTheSwitchGave) {
  os.fail_call(Call::GetMonitorInfoW, 1461, 1);
  fit_host_to_monitor(os, host, right);
  EXPECT_EQ(os.count_calls(Call::SetThreadDpiAwarenessContext), 2u);
  EXPECT_EQ(os.window(host)->rect, (Rect{10, 10, 110, 110}));

  os.fail_call(Call::SetThreadDpiAwarenessContext, 87, 1);
  fit_host_to_monitor(os, host, right);
  EXPECT_EQ(os.count_calls(Call::SetThreadDpiAwarenessContext), 3u);
  EXPECT_EQ(os.window(host)->screen_rect, (Rect{1920, 0, 4480, 1440}));

  os.set_thread_dpi_awareness_context(-1);
  os.clear_calls();
  fit_host_to_monitor(os, host, right);
  fit_host_to_monitor(os, host, 0);
  fit_host_to_monitor(os, host, -1);
  EXPECT_EQ(os.count_calls(Call::SetThreadDpiAwarenessContext), 1u);
  EXPECT_EQ(os.count_calls(Call::SetWindowPos), 1u);
}

}  // namespace
}  // namespace orvel
