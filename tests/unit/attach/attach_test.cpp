#include "attach/attach.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "attach/placement.h"
#include "platform/sim_desktop.h"

namespace orvel {
namespace {

using testing::ElementsAre;

constexpr std::uint32_t host_style = 0x96CF0000;     // popup, visible, clip siblings, caption...
constexpr std::uint32_t host_ex_style = 0x00040110;  // app window, window edge, accept files

// The host window on a monitor left of the primary one, so that the desktop layer's client
// coordinates differ from the screen's there.
class HostWindow : public testing::Test {
 protected:
  // The calls that change something, in order.
  std::vector<std::string> changes() const {
    std::vector<std::string> calls = os.calls();
    std::erase_if(calls, [](const std::string& call) { return !call.starts_with("Set"); });
    return calls;
  }

  SimDesktop os;
  Hmonitor primary = os.add_monitor({0, 0, 1920, 1080});
  Hmonitor left = os.add_monitor({-2560, 0, 0, 1440}, {-2560, 0, 0, 1400});
  Hwnd host = os.create_window({.class_name = u"OrvelHost",
                                .process_id = 42,
                                .rect = {-2000, 100, -1400, 500},
                                .style = host_style,
                                .ex_style = host_ex_style});
  std::string h = std::to_string(host);
};

TEST_F(HostWindow, AttachesOnTopOfTheLayerOverItsWholeMonitorAndDetachesAsATopLevelPopup) {
  const auto shell =
      os.start_shell({.layout = SimDesktop::ShellLayout::raised, .layer_exists = true});
  os.create_window({.class_name = u"Other", .parent = shell.layer});

  EXPECT_EQ(attach_host(os, host), (DesktopLayer{shell.layer, AttachMode::raised}));
  // WS_CHILD set, WS_CLIPSIBLINGS cleared, WS_POPUP kept; the three extended bits cleared; the
  // values written have an empty upper half. Styles go before the new parent; the fit is in
  // per-monitor pixels, and the raise comes last.
  EXPECT_THAT(changes(), ElementsAre("SetWindowLongPtrW(" + h + ", -16, 0xD2CF0000)",
                                     "SetWindowLongPtrW(" + h + ", -20, 0x0)",
                                     "SetParent(" + h + ", " + std::to_string(shell.layer) + ")",
                                     "SetThreadDpiAwarenessContext(-4)",
                                     "SetWindowPos(" + h + ", 0, 0, 0, 2560, 1440, 0x4054)",
                                     "SetThreadDpiAwarenessContext(24592)",
                                     "SetWindowPos(" + h + ", 0, 0, 0, 0, 0, 0x4013)"));
  EXPECT_EQ(os.window(host)->screen_rect, (Rect{-2560, 0, 0, 1440}));
  EXPECT_EQ(os.children(shell.layer).front(), host);

  os.clear_calls();
  ASSERT_TRUE(detach_host(os, host).has_value());
  // WS_CLIPSIBLINGS and WS_EX_ACCEPTFILES stay lost, and the window is not placed anew.
  EXPECT_THAT(changes(), ElementsAre("SetParent(" + h + ", 0)",
                                     "SetWindowLongPtrW(" + h + ", -16, 0x92CF0000)",
                                     "SetWindowLongPtrW(" + h + ", -20, 0x40100)"));
  EXPECT_EQ(os.window(host)->parent, os.desktop_window());
}

// The thread's context goes back only when the switch gave one: not after a failed switch, nor
// for a previous context with all bits set.
TEST_F(HostWindow, FittingGivesBackNoThreadContextThatTheSwitchDidNotGive) {
  os.set_thread_dpi_awareness_context(-1);
  fit_host_to_monitor(os, host, primary);
  os.fail_call(Call::SetThreadDpiAwarenessContext, 87, 1);
  fit_host_to_monitor(os, host, primary);
  EXPECT_EQ(os.count_calls(Call::SetThreadDpiAwarenessContext), 3u);
  EXPECT_EQ(os.window(host)->screen_rect, (Rect{0, 0, 1920, 1080}));
}

}  // namespace
}  // namespace orvel
