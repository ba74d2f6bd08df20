#include "platform/desktop_windows.h"

#include <gtest/gtest.h>

namespace orvel {
namespace {

TEST(MouseHitTest, OnlyTheDesktopsWindowsAreTheDesktop) {
  constexpr Hwnd layer = 0x20, icons = 0x30, progman = 0x10, app = 0x40;
  const struct {
    Hwnd window;
    DesktopWindows desktop;
    bool expected;
  } cases[] = {
      {progman, {.layer = layer, .icons = 0, .progman = progman}, true},
      {icons, {.layer = layer, .icons = icons, .progman = progman}, true},
      {layer, {.layer = layer, .icons = icons, .progman = progman}, true},
      {layer, {.layer = layer}, true},  // no shell running
      {app, {.layer = layer, .icons = icons, .progman = progman}, false},
      {icons, {.layer = layer, .icons = 0, .progman = progman}, false},
      {0, {.layer = layer}, false},  // a missing window matches no missing one
      {0, {}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_desktop_window(c.window, c.desktop), c.expected) << c.window;
  }
}

// The window under the cursor answers alone when it is the icons' own or a top-level window of the
// desktop; the layer may lie inside Progman, so its top-level window is still asked for.
TEST(MouseHitTest, TheIconsOwnWindowsAndTheTopLevelOnesAreKnownParts) {
  constexpr DesktopWindows desktop{
      .layer = 0x20, .icons = 0x30, .progman = 0x10, .icon_view = 0x50, .icon_list = 0x60};
  const struct {
    Hwnd window;
    bool expected;
  } cases[] = {{0x50, true},  {0x60, true},  {0x30, true}, {0x10, true},
               {0x20, false}, {0x40, false}, {0, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(is_known_desktop_part(c.window, desktop), c.expected) << c.window;
  }
  EXPECT_FALSE(is_known_desktop_part(0, DesktopWindows{.layer = 0x20}));
}

}  // namespace
}  // namespace orvel
