#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "events/trace.h"
#include "monitor/coverage.h"
#include "monitor/visibility_rules.h"
#include "platform/desktop_windows.h"
#include "platform/owned.h"
#include "platform/platform.h"

namespace orvel {

inline constexpr std::uint32_t visibility_delay_ms = 100;

// The "visibility" lines of `attach --report-visibility`, on the monitor's thread alone.
class VisibilityWatch {
 public:
  // Asks for the display's on and off; without that notification the display counts as on.
  // `timer` is the id of its timer on the message window.
  VisibilityWatch(Platform& os, Hwnd message_window, std::uint64_t timer, Trace& trace);

  // Something the answer depends on may have changed: one timer, armed once, recomputes it, so that
  // a burst of window events costs one recomputation.
  void mark_stale();
  void on_timer(Hwnd host, const DesktopWindows& desktop);
  // Computes the answer now and writes it when it differs from the last one written; `afresh`
  // writes it whatever it is (after each "attached").
  void report(Hwnd host, const DesktopWindows& desktop, bool afresh = false);
  // A window was hidden: the host window's own application hid it, after the attach showed it.
  void on_hidden(Hwnd window, Hwnd host);

  // A power setting that the system sent: the display's state counts.
  void on_power_setting(const PowerSetting& setting);

 private:
  bool input_desktop_is_own();

  Platform& os_;
  Hwnd message_window_;
  std::uint64_t timer_;
  Trace& trace_;
  OwnedPowerNotification display_notification_;
  std::optional<std::u16string> own_desktop_;
  bool stale_ = false;  // the timer is armed
  bool display_on_ = true;
  // The attach's fit shows the host window once the window's thread takes it.
  bool show_on_its_way_ = false;
  VisibilityReport report_;
  std::vector<Rect> monitors_;
  std::vector<Rect> covers_;
  CoverScratch scratch_;
};

}  // namespace orvel
