#include "monitor/window_messages.h"

#include <gtest/gtest.h>

namespace orvel {
namespace {

TEST(FollowDisplay, RefitsAfterDisplayWorkAreaAndDpiChangesAndAResume) {
  const struct {
    std::uint32_t message;
    std::uint64_t wparam;
    bool changed;
  } cases[] = {
      {win::wm_displaychange, 32, true},
      {win::wm_settingchange, win::spi_setworkarea, true},
      {win::wm_settingchange, win::spi_setdeskwallpaper, false},
      {win::wm_powerbroadcast, win::pbt_apmresumeautomatic, true},
      {win::wm_powerbroadcast, win::pbt_powersettingchange, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(display_changed(c.message, c.wparam), c.changed) << c.message << " " << c.wparam;
  }
}

// Messages from other processes: a posted power setting or a timer message with a procedure never
// reaches the window procedure.
TEST(ForeignMessages, OnlyTheSystemsPowerSettingsAndTimersWithoutProcedureGoOn) {
  const struct {
    Message message;
    bool dispatched;
  } cases[] = {
      {{.message = win::wm_powerbroadcast, .wparam = win::pbt_powersettingchange, .lparam = 8},
       false},
      {{.message = win::wm_powerbroadcast, .wparam = win::pbt_apmresumeautomatic}, true},
      {{.message = win::wm_timer, .wparam = 1, .lparam = 0x401000}, false},
      {{.message = win::wm_timer, .wparam = 1}, true},
      {{.message = win::wm_close}, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dispatches_queued(c.message), c.dispatched)
        << c.message.message << " " << c.message.wparam;
  }
}

}  // namespace
}  // namespace orvel
