#include "attach/placement.h"

#include <algorithm>
#include <limits>

#include "platform/text.h"

namespace orvel {
namespace {

constexpr std::uint32_t fit_flags =
    win::swp_nozorder | win::swp_noactivate | win::swp_asyncwindowpos;

// Runs `body` with the calling thread per-monitor DPI aware, then gives the thread its own
// context back, so that rectangles are physical pixels whatever thread fits the window.
template <class Body>
auto with_per_monitor_dpi(Platform& os, Body&& body) {
  const SysResult<DpiContext> previous =
      os.set_thread_dpi_awareness_context(win::dpi_awareness_context_per_monitor_aware_v2);
  auto done = body();
  if (restores_thread_dpi(previous ? std::optional(*previous) : std::nullopt)) {
    static_cast<void>(os.set_thread_dpi_awareness_context(*previous));
  }
  return done;
}

std::int64_t overlap(const Rect& a, const Rect& b) {
  const std::int64_t width = std::int64_t{std::min(a.right, b.right)} - std::max(a.left, b.left);
  const std::int64_t height = std::int64_t{std::min(a.bottom, b.bottom)} - std::max(a.top, b.top);
  return width > 0 && height > 0 ? width * height : 0;
}

// The square of the distance between two rectangles that do not overlap.
std::int64_t distance_squared(const Rect& a, const Rect& b) {
  const std::int64_t dx =
      std::max({std::int64_t{0}, std::int64_t{a.left} - b.right, std::int64_t{b.left} - a.right});
  const std::int64_t dy =
      std::max({std::int64_t{0}, std::int64_t{a.top} - b.bottom, std::int64_t{b.top} - a.bottom});
  return dx * dx + dy * dy;
}

const MonitorArea* named(std::string_view device, std::span<const MonitorArea> monitors) {
  const auto found = std::ranges::find(monitors, device, &MonitorArea::device);
  return found == monitors.end() ? nullptr : &*found;
}

// The host window's place on the screen and in its parent's coordinates, read on a per-monitor
// DPI aware thread.
struct Placed {
  Rect screen;
  Rect in_parent;
};
std::optional<Placed> placed_in(Platform& os, Hwnd host, Hwnd parent) {
  const SysResult<Rect> rect = os.get_window_rect(host);
  if (!rect) return std::nullopt;
  const SysResult<Rect> mapped = os.map_window_points(0, parent, *rect);
  if (!mapped) return std::nullopt;
  return Placed{.screen = *rect, .in_parent = *mapped};
}

// What fit_host does, on a thread that is per-monitor DPI aware already. The whole rectangle goes
// into the parent's coordinates: a mirrored parent measures from its right edge.
Result<Fit> fit_in_parent(Platform& os, Hwnd host, const Rect& area, Shown shown) {
  Rect place = area;
  Rect before{};
  if (const std::optional<Hwnd> parent = os.get_ancestor(host, win::ga_parent)) {
    place = os.map_window_points(0, *parent, area).value_or(area);
    if (const std::optional<Placed> placed = placed_in(os, host, *parent)) {
      before = placed->in_parent;
    }
  }
  const std::uint32_t flags = fit_flags | (shown == Shown::show ? win::swp_showwindow : 0);
  if (const SysResult<void> placed =
          os.set_window_pos(host, win::hwnd_top, place.left, place.top, place.right - place.left,
                            place.bottom - place.top, flags);
      !placed) {
    return std::unexpected(call_failed(os, ErrorKind::fit_failed, placed.error()));
  }
  return Fit{.area = area, .before = before, .placement = place};
}

// Whether the host window's thread takes messages now, asked without waiting long.
bool host_answers(Platform& os, Hwnd host) {
  constexpr std::uint32_t answer_limit_ms = 100;
  return os.send_message_timeout_w(host, win::wm_null, 0, 0, win::smto_abortifhung, answer_limit_ms)
      .has_value();
}

}  // namespace

std::vector<MonitorArea> list_monitors(Platform& os) {
  std::vector<MonitorArea> monitors;
  os.enum_display_monitors([&](Hmonitor monitor) {
    if (const SysResult<MonitorInfo> info = os.get_monitor_info_w(monitor)) {
      monitors.push_back({.device = utf8_from_utf16_lossy(info->device), .area = info->monitor});
    }
  });
  return monitors;
}

Rect virtual_screen(std::span<const MonitorArea> monitors) {
  if (monitors.empty()) return {};
  Rect box = monitors.front().area;
  for (const MonitorArea& monitor : monitors) {
    box = {.left = std::min(box.left, monitor.area.left),
           .top = std::min(box.top, monitor.area.top),
           .right = std::max(box.right, monitor.area.right),
           .bottom = std::max(box.bottom, monitor.area.bottom)};
  }
  return box;
}

const MonitorArea* nearest_monitor(const Rect& area, std::span<const MonitorArea> monitors) {
  const MonitorArea* nearest = nullptr;
  std::int64_t most = 0;
  std::int64_t closest = std::numeric_limits<std::int64_t>::max();
  for (const MonitorArea& monitor : monitors) {
    const std::int64_t shared = overlap(area, monitor.area);
    const std::int64_t distance = shared > 0 ? 0 : distance_squared(area, monitor.area);
    if (shared > most || (most == 0 && shared == 0 && distance < closest)) {
      nearest = &monitor;
      most = shared;
      closest = distance;
    }
  }
  return nearest;
}

std::optional<Rect> home_area(const Home& home, std::span<const MonitorArea> monitors) {
  if (monitors.empty()) return std::nullopt;
  if (home.span) return virtual_screen(monitors);
  if (const MonitorArea* monitor = named(home.device, monitors)) return monitor->area;
  return nearest_monitor(home.area, monitors)->area;
}

Home home_seen(Home home, std::span<const MonitorArea> monitors) {
  if (const MonitorArea* monitor = home.span ? nullptr : named(home.device, monitors)) {
    home.area = monitor->area;
  }
  return home;
}

std::optional<Home> home_of(const Rect& window, std::span<const MonitorArea> monitors) {
  if (monitors.size() > 1 && window == virtual_screen(monitors)) return Home{.span = true};
  const MonitorArea* monitor = nearest_monitor(window, monitors);
  if (!monitor) return std::nullopt;
  return Home{.device = monitor->device, .area = monitor->area};
}

Result<Fit> fit_host(Platform& os, Hwnd host, const Rect& area, Shown shown) {
  return with_per_monitor_dpi(os, [&] { return fit_in_parent(os, host, area, shown); });
}

Result<std::optional<Fit>> refit_host(Platform& os, Hwnd host, const Rect& area) {
  return with_per_monitor_dpi(os, [&]() -> Result<std::optional<Fit>> {
    if (os.get_window_rect(host) == area) return std::nullopt;
    return fit_in_parent(os, host, area, Shown::keep);
  });
}

Home initial_home(Platform& os, Hwnd host, bool span) {
  if (span) return {.span = true};
  return with_per_monitor_dpi(os, [&] {
    const SysResult<MonitorInfo> monitor =
        os.get_monitor_info_w(os.monitor_from_window(host, win::monitor_defaulttonearest));
    if (!monitor) return Home{};
    return Home{.device = utf8_from_utf16_lossy(monitor->device), .area = monitor->monitor};
  });
}

std::optional<Target> host_target(Platform& os, Hwnd host, const Home& home,
                                  const std::optional<FitRecord>& fitted) {
  return with_per_monitor_dpi(os, [&]() -> std::optional<Target> {
    const std::vector<MonitorArea> monitors = list_monitors(os);
    Home settled = home;
    PlaceSeen seen = PlaceSeen::pending;
    std::optional<Placed> placed;
    if (const std::optional<Hwnd> parent = os.get_ancestor(host, win::ga_parent);
        parent && fitted) {
      placed = placed_in(os, host, *parent);
    }
    if (placed) {
      seen = judge_place(*fitted, placed->in_parent, os.monotonic_now(),
                         [&] { return host_answers(os, host); });
    }
    if (seen == PlaceSeen::another) settled = home_of(placed->screen, monitors).value_or(home);
    settled = home_seen(std::move(settled), monitors);
    const std::optional<Rect> area = home_area(settled, monitors);
    if (!area) return std::nullopt;
    return Target{
        .area = *area,
        .home = std::move(settled),
        .fit_arrived = seen == PlaceSeen::arrived,
        .fit_on_its_way = seen == PlaceSeen::pending && fitted && fitted->fit.area == *area};
  });
}

Result<void> refresh_wallpaper(Platform& os) {
  const SysResult<void> done =
      os.system_parameters_info_w(win::spi_setdeskwallpaper, 0, nullptr, win::spif_updateinifile);
  if (!done) {
    return std::unexpected(call_failed(os, ErrorKind::wallpaper_refresh_failed, done.error(),
                                       "SPI_SETDESKWALLPAPER refresh"));
  }
  return {};
}

}  // namespace orvel
