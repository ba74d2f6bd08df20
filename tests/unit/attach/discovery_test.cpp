#include "attach/discovery.h"

#include <gtest/gtest.h>

#include "platform/sim_desktop.h"

namespace orvel {
namespace {

using namespace std::chrono_literals;
using Layout = SimDesktop::ShellLayout;

// Of the windows of class WorkerW exactly over four fifths of the monitor, the largest cover wins;
// on a tie top-level ones first, and of those the one higher in z-order. With none, the shell's
// structure alone tells.
TEST(Discovery, PrefersTheLargestCoverThenTheWorkerWAfterTheIconsThenTheOneInProgman) {
  SimDesktop os;
  const Hmonitor monitor = os.add_monitor({0, 0, 1000, 1000});
  const auto shell = os.start_shell({.layout = Layout::raised});
  const auto worker = [&os](Rect rect, Hwnd parent = 0) {
    return os.create_window({.class_name = u"WorkerW", .parent = parent, .rect = rect});
  };
  os.create_window({.class_name = u"WorkerW2", .rect = {0, 0, 1000, 1000}});
  const Hwnd after_icons = worker({0, 0, 10, 10});
  os.set_window_pos(after_icons, 1, 0, 0, 0, 0, win::swp_nomove | win::swp_nosize);
  EXPECT_EQ(search_desktop_layer(os, monitor), (DesktopLayer{after_icons, AttachMode::classic}));

  const Hwnd inside = worker({0, 0, 1000, 1000}, shell.progman);
  const Hwnd top_level = worker({0, 0, 1000, 700});
  EXPECT_EQ(search_desktop_layer(os, monitor), (DesktopLayer{inside, AttachMode::raised}));
  os.set_window_pos(top_level, 0, 0, 0, 1000, 1000, win::swp_nozorder);
  const Hwnd higher = worker({-50, 0, 1000, 1000});
  EXPECT_EQ(search_desktop_layer(os, monitor), (DesktopLayer{higher, AttachMode::classic}));

  os.destroy(after_icons);
  EXPECT_EQ(search_desktop_layer(os, 0), (DesktopLayer{inside, AttachMode::raised}));
}

TEST(DiscoveryCover, TakesAWorkerWFromExactlyFourFifthsOfWhatLiesOverTheMonitor) {
  // 1536 x 1080 is exactly 80 % of 1920 x 1080; 80 % of 1001 x 1001 is 801 600.8 pixels.
  const std::vector<std::tuple<Rect, Rect, bool>> cases = {
      {{0, 0, 1920, 1080}, {0, 0, 1536, 1080}, true},
      {{0, 0, 1920, 1080}, {1, 0, 1536, 1080}, false},
      {{0, 0, 1001, 1001}, {0, 0, 1001, 801}, true},
      {{0, 0, 1001, 1001}, {0, 0, 960, 835}, false},
      {{0, 0, 1000, 1000}, {-500, 200, 1500, 1000}, true},
      {{0, 0, 1000, 1000}, {-500, 201, 1500, 1000}, false},
  };
  for (const auto& [monitor_rect, worker_rect, qualifies] : cases) {
    SimDesktop os;
    const Hmonitor monitor = os.add_monitor(monitor_rect);
    os.create_window({.class_name = u"WorkerW", .rect = worker_rect});
    EXPECT_EQ(search_desktop_layer(os, monitor).has_value(), qualifies)
        << "WorkerW right " << worker_rect.right << ", top " << worker_rect.top;
  }
}

// A search waits up to a second for a layer inside Progman; after one request, ten retries 100 ms
// apart.
TEST(DiscoveryRequest, AsksTheShellOnceAndWaitsForItsLayerWithinItsBudget) {
  struct Case {
    SimDesktop::ShellSpec shell;
    std::optional<AttachMode> found;  // none: not found
    std::chrono::milliseconds elapsed;
  };
  const std::vector<Case> cases = {
      {{.layout = Layout::classic}, AttachMode::classic, 1s},
      // The second search's own wait sees it arrive.
      {{.layout = Layout::raised, .spawn_delay = 250ms}, AttachMode::raised, 1300ms},
      // Just after the second search gave up: the first retry finds it.
      {{.layout = Layout::classic, .spawn_delay = 1050ms}, AttachMode::classic, 2100ms},
      {{.layout = Layout::raised, .creates_layer = false}, std::nullopt, 13s},
      // A shell that does not answer adds the request's whole time-out.
      {{.layout = Layout::raised, .hung = true}, std::nullopt, 14s},
  };
  for (const Case& c : cases) {
    SimDesktop os;
    const Hmonitor monitor = os.add_monitor({0, 0, 1000, 1000});
    os.start_shell(c.shell);
    const Result<DesktopLayer> found = find_desktop_layer(os, monitor);
    EXPECT_EQ(found, c.found ? Result<DesktopLayer>(DesktopLayer{os.shell().layer, *c.found})
                             : fail("WorkerW not found after spawn"));
    EXPECT_EQ(os.elapsed(), c.elapsed);
    EXPECT_EQ(os.count_calls(Call::SendMessageTimeoutW), 1u);
  }
}

}  // namespace
}  // namespace orvel
