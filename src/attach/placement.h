#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "events/event.h"
#include "platform/platform.h"

namespace orvel {

// A monitor as the program keeps it: its device name and its area on the virtual screen.
struct MonitorArea {
  std::string device;
  Rect area;
  bool operator==(const MonitorArea&) const = default;
};

// The monitors as the system has them now.
std::vector<MonitorArea> list_monitors(Platform& os);

// Where the host window belongs: all monitors, or one, by its device name, with the area it had
// when last seen, for while it is gone.
struct Home {
  bool span = false;
  std::string device;
  Rect area;
  bool operator==(const Home&) const = default;
};

// The bounding box of all monitors: what a spanning window covers.
Rect virtual_screen(std::span<const MonitorArea> monitors);

// The monitor that `area` overlaps most, or, overlapping none, the one closest to it; none
// without monitors.
const MonitorArea* nearest_monitor(const Rect& area, std::span<const MonitorArea> monitors);

// What the host window covers for `home`: all monitors; its monitor while it is there, or the one
// nearest to where it was while it is gone. None without monitors.
std::optional<Rect> home_area(const Home& home, std::span<const MonitorArea> monitors);

// The home with its monitor's area as it is now, while that monitor is there.
Home home_seen(Home home, std::span<const MonitorArea> monitors);

// The home of a window that someone else has placed (`move` does): all monitors when it covers
// exactly their bounding box, the monitor nearest to it otherwise.
std::optional<Home> home_of(const Rect& window, std::span<const MonitorArea> monitors);

// The helper's last fit of the host window: where in its parent it asked it to be, and when.
struct FitRecord {
  Rect placement;
  std::chrono::microseconds at{};
  bool operator==(const FitRecord&) const = default;
};
inline constexpr std::chrono::seconds fit_arrival{1};
inline FitRecord fit_record(Platform& os, const Rect& placement) {
  return {.placement = placement, .at = os.monotonic_now()};
}

// Whether the host window's place in its parent, read now, is someone else's doing: not where the
// helper last asked for it, once that request has had time to arrive. A layer that moves takes
// its children along without changing their place in it.
bool placed_by_another(const std::optional<FitRecord>& fitted, const Rect& placement,
                       std::chrono::microseconds now);

// Where a window covering `area` goes in its parent: the area's corner in the parent's
// coordinates, `origin`, and the area's size.
inline Rect fit_placement(const Rect& area, Point origin) {
  return {.left = origin.x,
          .top = origin.y,
          .right = origin.x + (area.right - area.left),
          .bottom = origin.y + (area.bottom - area.top)};
}

// Whether the thread's own DPI context, as the switch away from it gave it, can be set back: a
// failed switch, or a null or invalid context, leaves nothing to restore.
inline bool restores_thread_dpi(std::optional<DpiContext> previous) {
  return previous && *previous != 0 && *previous != win::invalid_handle_value;
}

// Whether a fit shows the host window, or leaves it shown or hidden as its application has it.
enum class Shown { show, keep };

// Places the host window over `area` of the virtual screen, in its parent's coordinates, without
// activating or re-ordering it; gives the place it asked for. A failure leaves things as they were.
Result<Rect> fit_host(Platform& os, Hwnd host, const Rect& area, Shown shown);

// Fits the host window over `area` as `fit_host` does, leaving it shown or hidden, unless it
// covers exactly that area already; gives the place asked for, or none when nothing moved.
Result<std::optional<Rect>> refit_host(Platform& os, Hwnd host, const Rect& area);

// The home of a window about to be attached: all monitors, or the monitor nearest to it.
Home initial_home(Platform& os, Hwnd host, bool span);

// Where the host window goes now, and its home: where someone else placed it, if someone did, or
// where it belongs. None without monitors.
struct Target {
  Rect area;
  Home home;
};
std::optional<Target> host_target(Platform& os, Hwnd host, const Home& home,
                                  const std::optional<FitRecord>& fitted);

// Makes the system apply the wallpaper setting again, which repaints the static wallpaper.
Result<void> refresh_wallpaper(Platform& os);

}  // namespace orvel
