#include "attach/placement.h"

#include <optional>

namespace orvel {
namespace {

constexpr std::uint32_t fit_flags =
    win::swp_nozorder | win::swp_noactivate | win::swp_asyncwindowpos;

// Runs `body` with the calling thread per-monitor DPI aware, then gives the thread its own
// context back, so that rectangles are physical pixels whatever thread fits the window.
template <class Body>
Result<void> with_per_monitor_dpi(Platform& os, Body&& body) {
  const SysResult<DpiContext> previous =
      os.set_thread_dpi_awareness_context(win::dpi_awareness_context_per_monitor_aware_v2);
  Result<void> done = body();
  if (restores_thread_dpi(previous ? std::optional(*previous) : std::nullopt)) {
    static_cast<void>(os.set_thread_dpi_awareness_context(*previous));
  }
  return done;
}

}  // namespace

Result<void> fit_host_to_monitor(Platform& os, Hwnd host, Hmonitor monitor, Shown shown) {
  return with_per_monitor_dpi(os, [&]() -> Result<void> {
    const SysResult<Rect> info = os.get_monitor_info_w(monitor);
    if (!info) return std::unexpected(call_failed(os, info.error()));
    const Rect& area = *info;
    Point origin{.x = area.left, .y = area.top};
    if (const std::optional<Hwnd> parent = os.get_ancestor(host, win::ga_parent)) {
      origin = os.screen_to_client(*parent, origin).value_or(origin);
    }
    const Placement place = fit_placement(area, origin);
    const std::uint32_t flags = fit_flags | (shown == Shown::show ? win::swp_showwindow : 0);
    if (const SysResult<void> placed = os.set_window_pos(host, win::hwnd_top, place.x, place.y,
                                                         place.width, place.height, flags);
        !placed) {
      return std::unexpected(call_failed(os, placed.error()));
    }
    return {};
  });
}

Result<void> refresh_wallpaper(Platform& os) {
  const SysResult<void> done =
      os.system_parameters_info_w(win::spi_setdeskwallpaper, 0, nullptr, win::spif_updateinifile);
  if (!done) return std::unexpected(call_failed(os, done.error(), "SPI_SETDESKWALLPAPER refresh"));
  return {};
}

}  // namespace orvel
