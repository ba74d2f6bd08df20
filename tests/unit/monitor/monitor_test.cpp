#include "monitor/monitor.h"

#include <gmock/gmock.h>

#include "monitor/state.h"
#include "unit/monitor/monitor_fixture.h"

namespace orvel {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

const std::string beat(heartbeat);

TEST_F(MonitorRun, AttachesBeatsEveryFiveSecondsAndDetachesWhenInputEnds) {
  os.at(12s, [this] { os.end_stdin(); });
  EXPECT_EQ(run(), 0);
  EXPECT_THAT(timed_lines(), ElementsAre("0 " + attached(shell.layer), "5000 " + beat,
                                         "10000 " + beat, "12000 " + detached()));
  const auto state = os.window(host);
  EXPECT_EQ(state->parent, os.desktop_window());
  EXPECT_EQ(state->style, 0x92CF0000u);
  EXPECT_EQ(state->ex_style, 0x00040100u);

  const std::string window = std::to_string(message_window());
  const std::string layer = std::to_string(shell.layer);
  EXPECT_THAT(
      calls_of({Call::RegisterClassA, Call::RegisterWindowMessageW, Call::CreateWindowExA,
                Call::SetParent, Call::SetWinEventHook, Call::SetTimer, Call::CreateThread,
                Call::InvalidateRect, Call::UpdateWindow, Call::SystemParametersInfoW,
                Call::DestroyWindow, Call::PostQuitMessage}),
      ElementsAre(
          "RegisterClassA(0x0, \"OrvelWallpaperHelperWindow\")",
          "RegisterWindowMessageW(\"TaskbarCreated\")",
          "CreateWindowExA(0x0, \"OrvelWallpaperHelperWindow\", \"OrvelWallpaperHelper\", "
          "0x0, 0, 0, 0, 0, 0, 0x400000)",
          "SetParent(" + h() + ", " + layer + ")", "SetWinEventHook(0x8001, 0x8001, 0, 0, 0, 0x2)",
          "SetWinEventHook(0x8004, 0x8004, 0, 0, 0, 0x2)", "SetTimer(" + window + ", 1, 5000)",
          "CreateThread()", "SetParent(" + h() + ", 0)", "InvalidateRect(" + layer + ", true)",
          "UpdateWindow(" + layer + ")", "SystemParametersInfoW(0x14, 0, null, 0x1)",
          "DestroyWindow(" + window + ")", "PostQuitMessage(0)"));
}

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
  const std::string destroyed = R"({"event":"workerw-destroyed","hwnd":)" + h() + "}";
  EXPECT_THAT(
      timed_lines(),
      ElementsAre(
          "0 " + attached(shell.layer), R"(2000 {"event":"explorer-restarted"})",
          "2000 " + attached(shell.layer), "3000 " + destroyed, "3000 " + destroyed,
          R"(3000 {"event":"explorer-restarted"})",
          R"(3000 {"event":"error","message":"orvel window was destroyed together with the WorkerW; the main process must rebuild it","kind":"window-destroyed"})",
          "5000 " + beat, R"(6000 {"event":"error","message":"orvel window no longer exists"})"));
  EXPECT_EQ(os.count_calls(Call::CreateThread), 3u);
}

TEST_F(MonitorRun, GivesUpAfterTenTriesHalfASecondApart) {
  os.at(1s, [this] {
    os.fail_call(Call::SetParent, 5);
    os.restart_taskbar(701);
  });
  os.at(7s, [this] { os.end_stdin(); });

  EXPECT_EQ(run(), 0);
  EXPECT_THAT(
      timed_lines(),
      ElementsAre(
          "0 " + attached(shell.layer), R"(1000 {"event":"explorer-restarted"})", "5000 " + beat,
          R"x(5500 {"event":"error","message":"re-attach failed after 10 retries: SetParent failed: Access is denied. (0x80070005)"})x",
          testing::StartsWith("7000 {\"event\":\"error\"")));
  EXPECT_EQ(os.count_calls(Call::Sleep), 9u);
}

TEST_F(MonitorRun, StopsTryingOnceTheHostWindowIsGone) {
  os.at(1s, [this] {
    os.fail_call(Call::SetParent, 5);
    os.restart_taskbar(701);
  });
  os.at(2200ms, [this] { os.destroy(host); });
  os.at(4s, [this] { os.end_stdin(); });

  EXPECT_EQ(run(), 0);
  EXPECT_THAT(timed_lines(),
              ElementsAre("0 " + attached(shell.layer), R"(1000 {"event":"explorer-restarted"})",
                          R"(2200 {"event":"workerw-destroyed","hwnd":)" + h() + "}",
                          testing::StartsWith(
                              R"(2500 {"event":"error","message":"orvel window was destroyed)"),
                          testing::StartsWith("4000 {\"event\":\"error\"")));
  EXPECT_EQ(os.count_calls(Call::Sleep), 3u);
}

// The shell tells of the layer's end before the host window in it goes: the worker waits for the
// layer to be gone instead of attaching the host window to it once more.
TEST_F(MonitorRun, WaitsForADestroyedLayerToBeGoneBeforeItTries) {
  os.at(1s, [this] { os.destroy_after_telling(shell.layer, 120ms); });
  os.at(2s, [this] { os.end_stdin(); });
  EXPECT_EQ(run(), 0);
  EXPECT_THAT(timed_lines(),
              ElementsAre("0 " + attached(shell.layer),
                          R"(1000 {"event":"workerw-destroyed","hwnd":)" + h() + "}",
                          R"(1120 {"event":"workerw-destroyed","hwnd":)" + h() + "}",
                          testing::StartsWith(R"(1150 {"event":"error","message":"orvel window)"),
                          testing::StartsWith(R"(2000 {"event":"error")")));
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
  EXPECT_THAT(timed_lines(),
              ElementsAre("0 " + attached(raised.layer, "raised"),
                          R"(1000 {"event":"workerw-destroyed","hwnd":)" + h() + "}"));
  const auto state = os.window(host);
  EXPECT_EQ(state->parent, os.desktop_window());
  EXPECT_EQ(state->style & 0xC0000000u, 0x80000000u);
  EXPECT_EQ(os.children(os.shell().layer), std::vector<Hwnd>{});
}

// Reassertions at most every 10 s of the monotonic clock, and at once after a re-attach.
TEST_F(MonitorRun, GuardsTheHostsPlaceAtMostEveryTenSeconds) {
  const Hwnd sibling = os.create_window({.class_name = u"Other", .parent = shell.layer});
  for (const auto at : {1000ms, 6000ms, 10900ms, 11000ms, 11500ms}) {
    os.at(at, [&] { os.raise(sibling); });
  }
  os.at(11200ms, [this] { os.restart_taskbar(701); });
  os.at(11900ms, [this] { os.end_stdin(); });

  EXPECT_EQ(run(" --zguard"), 0);
  const std::string reasserted = R"({"event":"reasserted","hwnd":)" + h() + "}";
  EXPECT_THAT(
      timed_lines(),
      ElementsAre("0 " + attached(shell.layer), "1000 " + reasserted, "5000 " + beat,
                  "10000 " + beat, "11000 " + reasserted, R"(11200 {"event":"explorer-restarted"})",
                  "11200 " + attached(shell.layer), "11500 " + reasserted, "11900 " + detached()));
}

// Every Part of the monitor that finds the state poisoned does nothing, but beats and closes.
TEST_F(MonitorRun, APoisonedStateStopsEverythingButTheHeartbeatAndTheClose) {
  const Hwnd sibling = os.create_window({.class_name = u"Other", .parent = shell.layer});
  os.at(1s, [] { monitor_state_cell().mark_poisoned(); });
  os.at(2s, [this] { os.restart_taskbar(701); });
  os.at(3s, [&] { os.raise(sibling); });
  os.at(4s, [this] { os.destroy(host); });
  os.at(6s, [this] { os.end_stdin(); });

  EXPECT_EQ(run(" --zguard"), 0);
  EXPECT_THAT(timed_lines(), ElementsAre("0 " + attached(shell.layer), "5000 " + beat));
  EXPECT_EQ(os.count_calls(Call::CreateThread), 1u);
  EXPECT_EQ(os.count_calls(Call::InvalidateRect), 0u);
  EXPECT_EQ(os.count_calls(Call::SystemParametersInfoW), 1u);
}

struct StartFailure {
  const char* name;
  std::function<void(SimDesktop&)> arrange;
  std::string options;
  std::string message;
};

// Each failure writes its one error line and ends with 1; the host window stays where it was.
TEST(MonitorStart, EachFailureWritesOneErrorAndExitsWithOne) {
  const std::vector<StartFailure> rows = {
      {"module", [](SimDesktop& os) { os.fail_call(Call::GetModuleHandleW, 5); }, "",
       "GetModuleHandleW failed: Access is denied. (0x80070005)"},
      {"class", [](SimDesktop& os) { os.fail_call(Call::RegisterClassA, 5); }, "",
       "message window creation failed: 0x8007057F"},
      {"window", [](SimDesktop& os) { os.fail_call(Call::CreateWindowExA, 5); }, "",
       "message window creation failed: Access is denied. (0x80070005)"},
      {"shell",
       [](SimDesktop& os) {
         os.destroy(os.shell().layer);
         os.destroy(os.shell().progman);
       },
       "", "Progman not found"},
      {"destroy hook", [](SimDesktop& os) { os.fail_call(Call::SetWinEventHook, 0, 1); }, "",
       "SetWinEventHook(EVENT_OBJECT_DESTROY) failed"},
      {"reorder hook", [](SimDesktop& os) { os.fail_call(Call::SetWinEventHook, 0, 1, 1); }, "",
       "SetWinEventHook(EVENT_OBJECT_REORDER) failed"},
      {"timer", [](SimDesktop& os) { os.fail_call(Call::SetTimer, 5); }, "", "SetTimer failed"},
      {"mouse", [](SimDesktop& os) { os.fail_call(Call::RegisterRawInputDevices, 5); },
       " --forward-mouse",
       "mouse forwarding unavailable: RegisterRawInputDevices failed: Access is denied. "
       "(0x80070005)"},
      {"mouse timer", [](SimDesktop& os) { os.fail_call(Call::SetTimer, 5, 1, 1); },
       " --forward-mouse", "mouse forwarding unavailable: SetTimer(mouse move) failed"},
      {"poisoned", [](SimDesktop&) { monitor_state_cell().mark_poisoned(); }, "",
       "monitor state poisoned"},
  };
  for (const StartFailure& row : rows) {
    SCOPED_TRACE(row.name);
    reset_monitor_process_state();
    SimDesktop os;
    os.add_monitor({0, 0, 1920, 1080});
    os.start_shell({.layer_exists = true});
    const Hwnd host = os.create_window({.class_name = u"OrvelHost", .process_id = 42});
    row.arrange(os);
    const std::string line = "h.exe attach --hwnd " + std::to_string(host) + row.options;
    os.set_command_line(std::u16string(line.begin(), line.end()));

    EXPECT_EQ(run_program(os), 1);
    EXPECT_EQ(os.stdout_text(), R"({"event":"error","message":")" + row.message + "\"}\n");
    EXPECT_EQ(os.count_calls(Call::CreateThread), 0u);
    EXPECT_TRUE(os.window(host).has_value());
  }
}

}  // namespace
}  // namespace orvel
