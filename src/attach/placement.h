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

// A fit of the host window: where in its parent it was, and where the fit asked it to be. The fit
// arrives when the window's own thread next takes messages.
struct Fit {
  Rect area;  // on the screen
  Rect before;
  Rect placement;
  bool operator==(const Fit&) const = default;
};

// The helper's last fit of the host window, when it asked for it, and whether the window has been
// seen where it asked since.
struct FitRecord {
  Fit fit;
  std::chrono::microseconds at{};
  bool arrived = false;
  bool operator==(const FitRecord&) const = default;
};
inline constexpr std::chrono::seconds fit_arrival{1};
inline FitRecord fit_record(Platform& os, const Fit& fit) {
  return {.fit = fit, .at = os.monotonic_now()};
}

// What the host window's place in its parent, read now, says of the helper's last fit. A layer that
// moves takes its children along without changing their place in it.
enum class PlaceSeen {
  arrived,  // where the fit asked
  pending,  // not yet: still where it was
  unsure,   // elsewhere, but the fit may not have arrived: the window's thread may be busy
  another,  // someone else placed it
};
// A place that is neither the old one nor the one asked for, or the old one again once the fit
// arrived, is someone else's doing once the fit has been seen to arrive, or has had time to with
// the window's thread answering (`host_answers`, asked only then).
template <class Answers>
PlaceSeen judge_place(const FitRecord& fitted, const Rect& placement, std::chrono::microseconds now,
                      Answers&& host_answers) {
  if (placement == fitted.fit.placement) return PlaceSeen::arrived;
  if (!fitted.arrived && placement == fitted.fit.before) return PlaceSeen::pending;
  if (fitted.arrived || (now - fitted.at >= fit_arrival && host_answers())) {
    return PlaceSeen::another;
  }
  return PlaceSeen::unsure;
}

// Whether the thread's own DPI context, as the switch away from it gave it, can be set back: a
// failed switch, or a null or invalid context, leaves nothing to restore.
inline bool restores_thread_dpi(std::optional<DpiContext> previous) {
  return previous && *previous != 0 && *previous != win::invalid_handle_value;
}

// Whether a fit shows the host window, or leaves it shown or hidden as its application has it.
enum class Shown { show, keep };

// Places the host window over `area` of the virtual screen, in its parent's coordinates, without
// activating or re-ordering it; gives the fit asked for. A failure leaves things as they were.
Result<Fit> fit_host(Platform& os, Hwnd host, const Rect& area, Shown shown);

// Fits the host window over `area` as `fit_host` does, leaving it shown or hidden, unless it
// covers exactly that area already; gives the fit asked for, or none when nothing moved.
Result<std::optional<Fit>> refit_host(Platform& os, Hwnd host, const Rect& area);

// The home of a window about to be attached: all monitors, or the monitor nearest to it.
Home initial_home(Platform& os, Hwnd host, bool span);

// Where the host window goes now, and its home: where someone else placed it, if someone did, or
// where it belongs; whether the last fit was seen to arrive, and whether it asked for this very
// area and is still on its way, the window where it was before it. None without monitors.
struct Target {
  Rect area;
  Home home;
  bool fit_arrived = false;
  bool fit_on_its_way = false;
};
std::optional<Target> host_target(Platform& os, Hwnd host, const Home& home,
                                  const std::optional<FitRecord>& fitted);

// Makes the system apply the wallpaper setting again, which repaints the static wallpaper.
Result<void> refresh_wallpaper(Platform& os);

}  // namespace orvel
