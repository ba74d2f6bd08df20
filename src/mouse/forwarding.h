#pragma once

#include <atomic>
#include <cstdint>

#include "events/event.h"
#include "platform/platform.h"

namespace orvel {

// The windows that make up the desktop for the hit tests, rewritten by the re-attach worker while
// the main thread reads them: each is read and written whole, without a lock.
struct DesktopWindows {
  std::atomic<Hwnd> mouse_layer{0};    // the layer that holds the host window
  std::atomic<Hwnd> icons_workerw{0};  // the top-level WorkerW of the desktop icons; 0 for none
};
DesktopWindows& desktop_windows();

// Registers the message window for raw mouse input in the background and starts the mouse timer,
// after recording the desktop windows for `workerw`.
Result<void> start_mouse_forwarding(Platform& os, Hwnd message_window, Hwnd workerw);

// Whether the foreground window is one of the desktop's.
bool desktop_is_foreground(Platform& os);
// Whether the top-level window under the screen point is one of the desktop's.
bool cursor_over_desktop(Platform& os, Point point);
// Microseconds since the first set-up of mouse forwarding in the process, never decreasing.
std::uint64_t mouse_clock_micros(Platform& os);

// The desktop windows and the clock as they are at process start, for harnesses that run several
// monitors in one process.
void reset_mouse_forwarding();

inline constexpr std::uint64_t mouse_timer_id = 2;
inline constexpr std::uint32_t mouse_timer_period_ms = 16;

}  // namespace orvel
