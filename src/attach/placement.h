#pragma once

#include <optional>

#include "events/event.h"
#include "platform/platform.h"

namespace orvel {

// Where the host window goes: over the whole monitor, its top-left corner at `origin`, the
// monitor's corner in the parent's coordinates.
struct Placement {
  std::int32_t x;
  std::int32_t y;
  std::int32_t width;
  std::int32_t height;
  bool operator==(const Placement&) const = default;
};
inline Placement fit_placement(const Rect& monitor, Point origin) {
  return {.x = origin.x,
          .y = origin.y,
          .width = monitor.right - monitor.left,
          .height = monitor.bottom - monitor.top};
}

// Whether the thread's own DPI context, as the switch away from it gave it, can be set back: a
// failed switch, or a null or invalid context, leaves nothing to restore.
inline bool restores_thread_dpi(std::optional<DpiContext> previous) {
  return previous && *previous != 0 && *previous != win::invalid_handle_value;
}

// Whether a fit shows the host window, or leaves it shown or hidden as its application has it.
enum class Shown { show, keep };

// Places the host window over the whole of `monitor`, in its parent's coordinates, without
// activating or re-ordering it. A failure leaves things as they were.
Result<void> fit_host_to_monitor(Platform& os, Hwnd host, Hmonitor monitor, Shown shown);

// Makes the system apply the wallpaper setting again, which repaints the static wallpaper.
Result<void> refresh_wallpaper(Platform& os);

}  // namespace orvel
