#include "attach/attach.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sim_desktop.h"
#include "unit/printers.h"

namespace orvel {
namespace {

using testing::ElementsAre;

constexpr std::uint32_t host_style = 0x96CF0000;     // popup, visible, clip siblings, caption...
constexpr std::uint32_t host_ex_style = 0x00040110;  // app window, window edge, accept files

class AttachDetach : public testing::Test {
 protected:
  std::string h() const { return std::to_string(host); }

  SimDesktop os;
  Hmonitor primary = os.add_monitor({0, 0, 1920, 1080});
  Hmonitor second = os.add_monitor({1920, 0, 4480, 1440});
  Hwnd host = os.create_window({.class_name = u"OrvelHost",
                                .process_id = 42,
                                .rect = {2000, 100, 2600, 500},
                                .style = host_style,
                                .ex_style = host_ex_style});
};

TEST_F(AttachDetach, AttachesBehindTheIconsOverTheHostsMonitor) {
  os.start_shell({.layout = SimDesktop::ShellLayout::classic});

  const Result<DesktopLayer> attached = attach_host(os, host);

  ASSERT_TRUE(attached.has_value()) << attached.error().message;
  EXPECT_EQ(*attached, (DesktopLayer{os.shell().layer, AttachMode::classic}));
  const auto state = os.window(host);
  EXPECT_EQ(state->parent, os.shell().layer);
  // WS_CHILD set, WS_CLIPSIBLINGS cleared, WS_POPUP kept; the three extended bits cleared.
  EXPECT_EQ(state->style, 0xD2CF0000u);
  EXPECT_EQ(state->ex_style, 0u);
  EXPECT_EQ(state->screen_rect, (Rect{1920, 0, 4480, 1440}));
  EXPECT_TRUE(state->visible);
  EXPECT_EQ(os.children(os.shell().layer).front(), host);

  // Styles before the new parent; the values written have an empty upper half.
  std::vector<std::string> tail = os.calls();
  tail.erase(tail.begin(), std::ranges::find(tail, "GetWindowLongPtrW(" + h() + ", -16)"));
  const std::string layer = std::to_string(os.shell().layer);
  EXPECT_THAT(
      tail,
      ElementsAre("GetWindowLongPtrW(" + h() + ", -16)",
                  "SetWindowLongPtrW(" + h() + ", -16, 0xD2CF0000)",
                  "GetWindowLongPtrW(" + h() + ", -20)", "SetWindowLongPtrW(" + h() + ", -20, 0x0)",
                  "SetParent(" + h() + ", " + layer + ")", "SetThreadDpiAwarenessContext(-4)",
                  "GetMonitorInfoW(" + std::to_string(second) + ")", "GetAncestor(" + h() + ", 1)",
                  "ScreenToClient(" + layer + ", 1920, 0)",
                  "SetWindowPos(" + h() + ", 0, 1920, 0, 2560, 1440, 0x4054)",
                  "SetThreadDpiAwarenessContext(24592)",
                  "SetWindowPos(" + h() + ", 0, 0, 0, 0, 0, 0x4013)"));
}

TEST_F(AttachDetach, ReattachingAChildMovesItToTheLayerOfItsMonitor) {
  os.start_shell({.layout = SimDesktop::ShellLayout::raised, .layer_exists = true});
  ASSERT_TRUE(attach_host(os, host).has_value());
  const Hwnd other = os.create_window({.class_name = u"Other", .parent = os.shell().layer});
  ASSERT_EQ(os.children(os.shell().layer).front(), other);

  const Result<DesktopLayer> again = attach_host(os, host);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->mode, AttachMode::raised);
  EXPECT_EQ(os.children(os.shell().layer).front(), host);
  EXPECT_EQ(os.window(host)->screen_rect, (Rect{1920, 0, 4480, 1440}));
}

// Parent and styles always agree: a style that cannot be read or written stops the attach or the
// detach, and what was changed goes back. Without a layer no style is touched at all.
TEST_F(AttachDetach, AStyleThatCannotBeChangedLeavesTheHostWhereItWas) {
  EXPECT_EQ(attach_host(os, host).error().message, "Progman not found");
  EXPECT_EQ(os.count_calls(Call::SetWindowLongPtrW), 0u);
  os.start_shell({.layout = SimDesktop::ShellLayout::raised, .layer_exists = true});
  const auto expect_top_level_as_before = [this] {
    const auto state = os.window(host);
    EXPECT_EQ(state->parent, os.desktop_window());
    EXPECT_EQ(state->style, host_style);
    EXPECT_EQ(state->ex_style, host_ex_style);
  };
  os.fail_call(Call::GetWindowLongPtrW, 5, 1);
  EXPECT_EQ(attach_host(os, host).error().message,
            "GetWindowLongPtrW failed: Access is denied. (0x80070005)");
  expect_top_level_as_before();
  os.fail_call(Call::SetWindowLongPtrW, 5, 1, 1);
  EXPECT_EQ(attach_host(os, host).error().message,
            "SetWindowLongPtrW failed: Access is denied. (0x80070005)");
  expect_top_level_as_before();
  EXPECT_EQ(os.count_calls(Call::SetParent), 0u);

  ASSERT_TRUE(attach_host(os, host).has_value());
  os.fail_call(Call::SetWindowLongPtrW, 5, 1);
  EXPECT_EQ(detach_host(os, host).error().message,
            "SetWindowLongPtrW failed: Access is denied. (0x80070005)");
  EXPECT_EQ(os.window(host)->parent, os.shell().layer);
  EXPECT_EQ(os.window(host)->style, 0xD2CF0000u);
}

TEST_F(AttachDetach, DetachGivesBackATopLevelPopupWithFixedBits) {
  os.start_shell({.layout = SimDesktop::ShellLayout::raised, .layer_exists = true});
  ASSERT_TRUE(attach_host(os, host).has_value());
  os.clear_calls();

  ASSERT_TRUE(detach_host(os, host).has_value());
  EXPECT_THAT(os.calls(), ElementsAre("IsWindow(" + h() + ")", "SetParent(" + h() + ", 0)",
                                      "GetWindowLongPtrW(" + h() + ", -16)",
                                      "SetWindowLongPtrW(" + h() + ", -16, 0x92CF0000)",
                                      "GetWindowLongPtrW(" + h() + ", -20)",
                                      "SetWindowLongPtrW(" + h() + ", -20, 0x40100)"));
  const auto state = os.window(host);
  EXPECT_EQ(state->parent, os.desktop_window());
  // WS_CLIPSIBLINGS and WS_EX_ACCEPTFILES stay lost; nothing is moved.
  EXPECT_EQ(state->style, 0x92CF0000u);
  EXPECT_EQ(state->ex_style, 0x00040100u);
  EXPECT_EQ(state->screen_rect, (Rect{1920, 0, 4480, 1440}));
}

}  // namespace
}  // namespace orvel
