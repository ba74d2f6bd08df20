#include <gtest/gtest.h>

#include <string>

#include "e2e/desktop.h"
#include "e2e/helper_process.h"

namespace orvel::e2e {
namespace {

std::string moved_line(HWND host) {
  return "{\"event\":\"moved\",\"hwnd\":" + handle_text(host) + "}\n";
}

// A hidden top-level host window between two windows of ours, the upper one active.
class MoveTopLevel : public testing::Test {
 protected:
  void SetUp() override {
    SetForegroundWindow(above.get());
    ASSERT_EQ(GetWindow(above.get(), GW_HWNDNEXT), host.get());
    ASSERT_EQ(GetWindow(host.get(), GW_HWNDNEXT), below.get());
    ASSERT_EQ(GetActiveWindow(), above.get());
    ASSERT_NE(window_rect(host.get()), monitor);
  }

  Window below{create_window(
      {.style = WS_POPUP | WS_VISIBLE, .rect = {.left = 0, .top = 0, .right = 50, .bottom = 50}})};
  HostWindow host{{.style = WS_POPUP | WS_CLIPCHILDREN,
                   .rect = {.left = 100, .top = 80, .right = 740, .bottom = 560}}};
  Window above{create_window({.style = WS_POPUP | WS_VISIBLE,
                              .rect = {.left = 60, .top = 0, .right = 110, .bottom = 50}})};
  Box monitor = monitor_nearest(host.get());
};

TEST_F(MoveTopLevel, CoversItsMonitorShownWithoutReorderingOrActivating) {
  const HelperRun run =
      run_helper(quoted_helper_path() + L" move --hwnd " + widen(handle_text(host.get())));

  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.out, moved_line(host.get()));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(window_rect(host.get()), monitor);
  EXPECT_TRUE(window_style(host.get()) & WS_VISIBLE);
  EXPECT_EQ(GetWindow(above.get(), GW_HWNDNEXT), host.get());
  EXPECT_EQ(GetWindow(host.get(), GW_HWNDNEXT), below.get());
  EXPECT_EQ(GetActiveWindow(), above.get());
}

// A hidden host window inside the desktop layer, a child that kept WS_POPUP as an attach leaves
// it, between two siblings (a new child window goes below its siblings).
class MoveChild : public testing::TestWithParam<Layout> {
 protected:
  explicit MoveChild(Area area = Area::primary_monitor, LONG host_left = 10)
      : shell{GetParam(), Layer::present, area},
        host{{.style = WS_CHILD | WS_POPUP,
              .rect = {.left = host_left, .top = 20, .right = host_left + 320, .bottom = 260},
              .parent = shell.layer()}} {}

  void SetUp() override {
    ASSERT_EQ(GetWindow(upper, GW_HWNDNEXT), host.get());
    ASSERT_EQ(GetWindow(host.get(), GW_HWNDNEXT), lower);
    // Else a position left in screen coordinates would look right.
    const POINT origin = client_origin(shell.layer());
    ASSERT_TRUE(origin.x != monitor.left && origin.y != monitor.top);
  }

  void expect_covers_its_monitor_in_place() {
    const HelperRun run =
        run_helper(quoted_helper_path() + L" move --hwnd " + widen(handle_text(host.get())));

    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.out, moved_line(host.get()));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), shell.layer());
    EXPECT_EQ(window_rect(host.get()), monitor);
    EXPECT_TRUE(window_style(host.get()) & WS_VISIBLE);
    EXPECT_EQ(GetWindow(upper, GW_HWNDNEXT), host.get());
    EXPECT_EQ(GetWindow(host.get(), GW_HWNDNEXT), lower);
  }

  Shell shell;
  HWND upper = create_window({.style = WS_CHILD | WS_VISIBLE,
                              .rect = {.left = 20, .top = 0, .right = 30, .bottom = 10},
                              .parent = shell.layer()});
  HostWindow host;
  HWND lower = create_window({.style = WS_CHILD | WS_VISIBLE,
                              .rect = {.left = 0, .top = 0, .right = 10, .bottom = 10},
                              .parent = shell.layer()});
  Box monitor = monitor_nearest(host.get());
};

TEST_P(MoveChild, CoversItsMonitorInItsParentsCoordinatesShownInPlace) {
  expect_covers_its_monitor_in_place();
}

// With two monitors the shell's layer spans both; the host window starts on the second one.
class MoveChildOnSecondMonitor : public MoveChild {
 protected:
  MoveChildOnSecondMonitor() : MoveChild(Area::virtual_screen, 1900) {}
};

TEST_P(MoveChildOnSecondMonitor, CoversThatMonitorInItsParentsCoordinatesShownInPlace) {
  ASSERT_EQ(monitor, second_monitor);
  expect_covers_its_monitor_in_place();
}

const auto layouts = testing::Values(Layout::classic, Layout::raised);
const auto layout_name = [](const testing::TestParamInfo<Layout>& layout) {
  return testing::PrintToString(layout.param);
};
INSTANTIATE_TEST_SUITE_P(Layouts, MoveChild, layouts, layout_name);
INSTANTIATE_TEST_SUITE_P(TwoMonitors, MoveChildOnSecondMonitor, layouts, layout_name);

}  // namespace
}  // namespace orvel::e2e
