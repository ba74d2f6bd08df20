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

}  // namespace
}  // namespace orvel
