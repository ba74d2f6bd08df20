#include "attach/discovery.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sim_desktop.h"
#include "unit/printers.h"

namespace orvel {
namespace {

using namespace std::chrono_literals;
using Layout = SimDesktop::ShellLayout;

// A 1000 x 1000 monitor, so that window areas read as per-mille of the monitor.
class Discovery : public testing::Test {
 protected:
  Hwnd worker(Rect rect, Hwnd parent = 0, std::u16string class_name = u"WorkerW") {
    return os.create_window({.class_name = std::move(class_name), .parent = parent, .rect = rect});
  }
  std::optional<DesktopLayer> search() { return search_desktop_layer(os, monitor); }
  std::chrono::microseconds elapsed_since(std::chrono::microseconds start) {
    return os.monotonic_now() - start;
  }

  SimDesktop os;
  Hmonitor monitor = os.add_monitor({0, 0, 1000, 1000});
};

TEST_F(Discovery, PrefersTheLargestCoverAndTopLevelOnATie) {
  const auto& shell = os.start_shell({.layout = Layout::raised});
  const Hwnd inside = worker({0, 0, 1000, 1000}, shell.progman);
  const Hwnd top_level = worker({0, 0, 1000, 1000});
  EXPECT_EQ(search(), (DesktopLayer{top_level, AttachMode::classic}));

  // A top-level WorkerW over 70 % loses to one inside Progman over all of it.
  os.set_window_pos(top_level, 0, 0, 0, 1000, 700, win::swp_nozorder);
  EXPECT_EQ(search(), (DesktopLayer{inside, AttachMode::raised}));

  // Among equal top-level covers, the one higher in z-order stays.
  const Hwnd higher = worker({-50, 0, 1000, 1000});
  os.set_window_pos(top_level, 0, 0, 0, 1000, 1000, win::swp_nozorder);
  EXPECT_EQ(search(), (DesktopLayer{higher, AttachMode::classic}));
}

TEST_F(Discovery, QualifiesAtExactlyFourFifthsOfTheMonitor) {
  // 1536 x 1080 is exactly 80 % of 1920 x 1080; one column less is not enough.
  const Hmonitor wide = os.add_monitor({5000, 0, 6920, 1080});
  const Hwnd exact = worker({5000, 0, 6536, 1080});
  EXPECT_EQ(search_desktop_layer(os, wide), (DesktopLayer{exact, AttachMode::classic}));
  os.set_window_pos(exact, 0, 5001, 0, 1535, 1080, win::swp_nozorder);
  EXPECT_EQ(search_desktop_layer(os, wide), std::nullopt);

  // 80 % of 1001 x 1001 is 801 600.8 pixels, so 960 x 835 = 801 600 falls short.
  const Hmonitor odd = os.add_monitor({0, 2000, 1001, 3001});
  const Hwnd short_by_a_fraction = worker({0, 2000, 960, 2835});
  EXPECT_EQ(search_desktop_layer(os, odd), std::nullopt);
  os.set_window_pos(short_by_a_fraction, 0, 0, 2000, 1001, 801, win::swp_nozorder);
  EXPECT_EQ(search_desktop_layer(os, odd),
            (DesktopLayer{short_by_a_fraction, AttachMode::classic}));

  // Only the part over the monitor counts.
  const Hwnd spilling = worker({-500, 200, 1500, 1000});
  EXPECT_EQ(search(), (DesktopLayer{spilling, AttachMode::classic}));
  os.set_window_pos(spilling, 0, -500, 201, 2000, 800, win::swp_nozorder);
  EXPECT_EQ(search(), std::nullopt);
}

TEST_F(Discovery, TakesOnlyWorkerWsWithoutTheIcons) {
  const Hwnd icons = worker({0, 0, 1000, 1000});
  os.create_window({.class_name = u"SHELLDLL_DefView", .parent = icons});
  worker({0, 0, 1000, 1000}, 0, u"workerw");
  worker({0, 0, 1000, 1000}, 0, u"WorkerW2");
  worker({0, 0, 1000, 1000}, 0, u"WorkerWWorkerWWorkerWWorkerWWorkerWWorkerW");
  worker({0, 0, 1000, 1000}, 0, u"Worker");
  EXPECT_EQ(search(), std::nullopt);

  // A window whose class cannot be read is skipped, and the search goes on.
  const Hwnd good = worker({0, 0, 1000, 1000});
  os.fail_call(Call::GetClassNameW, 5, 1);
  EXPECT_EQ(search(), std::nullopt);
  EXPECT_EQ(search(), (DesktopLayer{good, AttachMode::classic}));
}

TEST_F(Discovery, FallsBackToTheShellStructureWithoutAMonitor) {
  // Icons in a top-level WorkerW: the next top-level WorkerW below it, whatever its size.
  const auto& shell = os.start_shell({.layout = Layout::classic, .layer_exists = true});
  os.set_window_pos(shell.layer, 0, 0, 0, 10, 10, win::swp_nozorder);
  os.clear_calls();
  EXPECT_EQ(search_desktop_layer(os, 0), (DesktopLayer{shell.layer, AttachMode::classic}));
  EXPECT_EQ(os.count_calls(Call::GetMonitorInfoW), 0u);
  EXPECT_EQ(os.count_calls(Call::EnumChildWindows), 0u);
  // A monitor that cannot be read is no monitor.
  os.fail_call(Call::GetMonitorInfoW, 1461, 1);
  EXPECT_EQ(search(), (DesktopLayer{shell.layer, AttachMode::classic}));
}

TEST_F(Discovery, FindsTheLayerBelowIconsThatStayInProgman) {
  // Icons in Progman itself: Progman is the window that holds them, and the next top-level
  // WorkerW after it is the layer.
  const auto& shell = os.start_shell({.layout = Layout::raised});
  const Hwnd below = worker({0, 0, 10, 10});
  os.set_window_pos(below, 1, 0, 0, 0, 0, win::swp_nomove | win::swp_nosize);
  EXPECT_EQ(search_desktop_layer(os, 0), (DesktopLayer{below, AttachMode::classic}));

  // With none after it, the WorkerW inside Progman.
  os.destroy(below);
  const Hwnd inside = worker({0, 0, 10, 10}, shell.progman);
  EXPECT_EQ(search_desktop_layer(os, 0), (DesktopLayer{inside, AttachMode::raised}));
}

TEST_F(Discovery, WaitsASecondForAProgmanThatHoldsTheIconsAndNoLayer) {
  os.start_shell({.layout = Layout::raised});
  const auto start = os.monotonic_now();
  EXPECT_EQ(search(), std::nullopt);
  EXPECT_EQ(elapsed_since(start), 1s);
  EXPECT_EQ(os.count_calls(Call::Sleep), 10u);
  EXPECT_EQ(os.count_calls(Call::SendMessageTimeoutW), 0u);
}

TEST_F(Discovery, AsksProgmanOnceAndFindsTheLayerItCreates) {
  const auto& shell = os.start_shell({.layout = Layout::classic});
  const auto start = os.monotonic_now();
  const std::string progman = std::to_string(shell.progman);

  const Result<DesktopLayer> found = find_desktop_layer(os, monitor);
  EXPECT_EQ(found, (DesktopLayer{os.shell().layer, AttachMode::classic}));
  EXPECT_THAT(os.calls(),
              testing::Contains("SendMessageTimeoutW(" + progman + ", 0x52C, 13, 1, 0x0, 1000)"));
  EXPECT_EQ(os.count_calls(Call::SendMessageTimeoutW), 1u);
  // One search of a second before the request; the second search finds the layer.
  EXPECT_EQ(elapsed_since(start), 1s);
  EXPECT_EQ(os.window(os.shell().defview)->parent, os.shell().icons_workerw);
}

TEST_F(Discovery, WaitsForALayerThatComesLate) {
  os.start_shell({.layout = Layout::raised, .spawn_delay = 250ms});
  auto start = os.monotonic_now();
  // The second search's own wait inside Progman sees it arrive.
  const Result<DesktopLayer> raised = find_desktop_layer(os, monitor);
  EXPECT_EQ(raised, (DesktopLayer{os.shell().layer, AttachMode::raised}));
  EXPECT_EQ(elapsed_since(start), 1300ms);

  SimDesktop classic;
  const Hmonitor screen = classic.add_monitor({0, 0, 1000, 1000});
  classic.start_shell({.layout = Layout::classic, .spawn_delay = 1050ms});
  start = classic.monotonic_now();
  const Result<DesktopLayer> found = find_desktop_layer(classic, screen);
  EXPECT_EQ(found, (DesktopLayer{classic.shell().layer, AttachMode::classic}));
  // It arrives just after the second search gave up, and the first retry finds it.
  EXPECT_EQ(classic.monotonic_now() - start, 2100ms);
}

TEST_F(Discovery, GivesUpAfterTwelveSearchesOnAShellThatNeverCreatesItsLayer) {
  os.start_shell({.layout = Layout::raised, .creates_layer = false});
  auto start = os.monotonic_now();
  auto failed = find_desktop_layer(os, monitor);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error(), (HelperError{"WorkerW not found after spawn", std::nullopt}));
  EXPECT_EQ(os.count_calls(Call::GetMonitorInfoW), 12u);
  EXPECT_EQ(os.count_calls(Call::SendMessageTimeoutW), 1u);
  // Twelve searches that wait a second each, and ten pauses between the last eleven.
  EXPECT_EQ(elapsed_since(start), 13s);

  // A shell that does not answer adds the request's whole time-out.
  SimDesktop hung;
  const Hmonitor screen = hung.add_monitor({0, 0, 1000, 1000});
  hung.start_shell({.layout = Layout::raised, .hung = true});
  start = hung.monotonic_now();
  failed = find_desktop_layer(hung, screen);
  EXPECT_EQ(failed.error().message, "WorkerW not found after spawn");
  EXPECT_EQ(hung.monotonic_now() - start, 14s);
}

}  // namespace
}  // namespace orvel
