#include "monitor/monitor.h"

#include <gmock/gmock.h>

#include "unit/monitor/monitor_fixture.h"

namespace orvel {
namespace {

using testing::ElementsAre;
using testing::StartsWith;

// Only a taskbar of another process is a restart; each trigger writes its event, but a second
// worker never starts while one runs, and a host window gone with its layer is reported.
TEST_F(MonitorRun, FollowsTheShellThroughRestarts) {
  const Hwnd other = os.create_window({.class_name = u"App", .process_id = 9});
  const Hwnd sibling = os.create_window({.class_name = u"Other", .parent = shell.layer});
  os.at(500ms, [&] { os.destroy(other); });
  os.at(700ms, [&] { os.raise(sibling); });
  os.at(1s, [this] { os.restart_taskbar(700); });
  os.at(2s, [this] { os.restart_taskbar(701); });
  os.at(3s, [this] {
    os.restart_shell({.layout = SimDesktop::ShellLayout::raised, .taskbar = false});
  });
  os.at(6s, [this] { os.end_stdin(); });

  EXPECT_EQ(run(), 0);
  // The layer goes first, then the host window in it: each is reported.
  const std::string destroyed = hwnd_event("workerw-destroyed");
  EXPECT_THAT(timed_lines(),
              ElementsAre("0 " + attached(shell.layer), "2000 " + explorer_restarted,
                          "2000 " + attached(shell.layer), "3000 " + destroyed, "3000 " + destroyed,
                          "3000 " + explorer_restarted, "3000 " + window_destroyed_error,
                          "5000 " + heartbeat, "6000 " + window_gone_error));
  EXPECT_EQ(os.count_calls(Call::CreateThread), 3u);
  // Without --forward-mouse nothing is registered, not even for the layer of a re-attach.
  EXPECT_EQ(os.count_calls(Call::RegisterRawInputDevices), 0u);
}

// Up to ten tries half a second apart, each looking afresh at the host window.
TEST(Reattach, GivesUpAfterTenTriesOrOnceTheHostWindowIsGone) {
  for (const bool host_goes : {false, true}) {
    SCOPED_TRACE(host_goes);
    AttachRun r;
    r.os.at(1s, [&r] {
      r.os.fail_call(Call::SetParent, 5);
      r.os.restart_taskbar(701);
    });
    if (host_goes) r.os.at(2200ms, [&r] { r.os.destroy(r.host); });
    r.os.at(host_goes ? 4s : 7s, [&r] { r.os.end_stdin(); });
    EXPECT_EQ(r.run(), 0);
    const std::vector<std::string> lines = r.timed_lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2],
              host_goes ? "2200 " + r.hwnd_event("workerw-destroyed") : "5000 " + heartbeat);
    EXPECT_THAT(lines[3], StartsWith(host_goes ? R"(2500 {"event":"error","message":"orvel window)"
                                               : R"(5500 {"event":"error","message":"re-attach)"));
    EXPECT_EQ(r.os.count_calls(Call::Sleep), host_goes ? 3u : 9u);
  }
}

// The shell tells of the layer's end before the host window in it goes: the worker waits for the
// layer to be gone rather than attach the host window to it once more.
TEST_F(MonitorRun, WaitsForADestroyedLayerToBeGoneBeforeItTries) {
  os.at(1s, [this] { os.destroy_after_telling(shell.layer, 120ms); });
  os.at(2s, [this] { os.end_stdin(); });
  EXPECT_EQ(run(), 0);
  const std::string destroyed = hwnd_event("workerw-destroyed");
  EXPECT_THAT(timed_lines(),
              ElementsAre("0 " + attached(shell.layer), "1000 " + destroyed, "1120 " + destroyed,
                          StartsWith(R"(1150 {"event":"error","message":"orvel window was)"),
                          "2000 " + window_gone_error));
}

// A poisoned state stops everything but the heartbeat and the close; no monitor starts on one.
TEST_F(MonitorRun, APoisonedStateStopsEverythingButTheHeartbeatAndTheClose) {
  os.at(1s, [] { monitor_state_cell().mark_poisoned(); });
  os.at(2s, [this] { os.restart_taskbar(701); });
  os.at(4s, [this] { os.destroy(host); });
  os.at(6s, [this] { os.end_stdin(); });
  EXPECT_EQ(run(), 0);
  EXPECT_THAT(timed_lines(), ElementsAre("0 " + attached(shell.layer), "5000 " + heartbeat));

  AttachRun again;
  EXPECT_EQ(again.run(), 1);
  EXPECT_EQ(again.os.stdout_text(), error_line("monitor state poisoned") + "\n");
}

// The close begins while the worker waits for the shell to make a new layer: the attach that then
// succeeds is undone, and no "attached" is written.
TEST_F(MonitorRun, AReattachThatEndsAfterTheCloseBeganLeavesTheHostDetached) {
  SimDesktop::ShellWindows raised = os.restart_shell(
      {.layout = SimDesktop::ShellLayout::raised, .layer_exists = true, .spawn_delay = 300ms});
  os.at(1s, [&] {
    static_cast<void>(os.set_parent(host, 0));
    os.destroy(raised.layer);
  });
  os.at(1150ms, [] { monitor_values().closing = true; });
  os.at(3s, [this] { os.end_stdin(); });

  EXPECT_EQ(run(), 0);
  EXPECT_THAT(timed_lines(), ElementsAre("0 " + attached(raised.layer, "raised"),
                                         "1000 " + hwnd_event("workerw-destroyed")));
  EXPECT_EQ(os.window(host)->parent, os.desktop_window());
  EXPECT_EQ(os.children(os.shell().layer), std::vector<Hwnd>{});
}

// Reassertions at most every 10 s of the monotonic clock, and at once after a re-attach; each,
// as each attach, raises the host window without activating it. None while the host window is out
// of its layer.
TEST_F(MonitorRun, GuardsTheHostsPlaceAtMostEveryTenSeconds) {
  const Hwnd sibling = os.create_window({.class_name = u"Other", .parent = shell.layer});
  const Hwnd elsewhere = os.create_window({.class_name = u"Elsewhere"});
  os.at(500ms, [&] { static_cast<void>(os.set_parent(host, elsewhere)); });
  os.at(800ms, [&] { static_cast<void>(os.set_parent(host, shell.layer)); });
  for (const auto at : {600ms, 1000ms, 6000ms, 10900ms, 11000ms, 11500ms}) {
    os.at(at, [&] { os.raise(sibling); });
  }
  os.at(11200ms, [this] { os.restart_taskbar(701); });
  os.at(11900ms, [this] { os.end_stdin(); });

  EXPECT_EQ(run(" --zguard"), 0);
  const std::string reasserted = hwnd_event("reasserted");
  EXPECT_THAT(
      timed_lines(),
      ElementsAre("0 " + attached(shell.layer), "1000 " + reasserted, "5000 " + heartbeat,
                  "10000 " + heartbeat, "11000 " + reasserted, "11200 " + explorer_restarted,
                  "11200 " + attached(shell.layer), "11500 " + reasserted, "11900 " + detached()));
  EXPECT_EQ(std::ranges::count(os.calls(), "SetWindowPos(" + h() + ", 0, 0, 0, 0, 0, 0x4013)"), 5);
}

}  // namespace
}  // namespace orvel
