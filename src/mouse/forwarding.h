#pragma once

#include <cstdint>

#include "events/event.h"
#include "platform/platform.h"

namespace orvel {

// The windows that make up the desktop for the hit tests; 0 for one that is not there.
struct DesktopWindowSet {
  Hwnd layer = 0;  // the desktop layer that holds the host window
  // The top-level WorkerW of the desktop icons, when they are not in Progman itself.
  Hwnd icons_workerw = 0;
  Hwnd progman = 0;
};

// Whether the top-level `window` is one of the desktop's. A handle of 0 never matches.
constexpr bool is_desktop_window(Hwnd window, const DesktopWindowSet& desktop) {
  return window != 0 &&
         (window == desktop.layer || window == desktop.icons_workerw || window == desktop.progman);
}

// Records the desktop windows for the layer `workerw`, then registers `message_window` for raw
// mouse input in the background and starts the mouse timer on it. Called again after each
// re-attach, from the re-attach worker, so that the hit tests follow the new layer.
Result<void> start_mouse_forwarding(Platform& os, Hwnd message_window, Hwnd workerw);

inline constexpr std::uint64_t mouse_timer_id = 2;
inline constexpr std::uint32_t mouse_timer_period_ms = 16;

}  // namespace orvel
