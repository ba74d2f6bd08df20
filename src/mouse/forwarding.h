#pragma once

#include <chrono>
#include <cstdint>

#include "events/event.h"
#include "mouse/translate.h"
#include "platform/desktop_windows.h"
#include "platform/platform.h"

namespace orvel {

inline constexpr std::uint32_t mouse_timer_period_ms = 16;

// Mouse input over the desktop, as events: raw input in the background to the message window, and
// a timer that sends the latest pending move. All of it on the thread of the message window.
class MouseForwarding {
 public:
  // `timer` is the id of the mouse timer on the message window.
  MouseForwarding(Platform& os, const DesktopWindows& desktop, std::uint64_t timer);

  // Registers `message_window` for raw mouse input and starts the mouse timer on it.
  Result<void> start(Hwnd message_window);
  // The hit tests follow the desktop's windows after each re-attach.
  void follow(const DesktopWindows& desktop) { desktop_ = desktop; }

  // WM_INPUT's lparam, and the mouse timer's tick.
  void on_raw_input(std::int64_t raw_input);
  void on_tick();

 private:
  class Facts;

  Platform& os_;
  DesktopWindows desktop_;
  std::uint64_t timer_;
  std::chrono::microseconds clock_origin_;
  MouseTranslator translator_;
};

}  // namespace orvel
