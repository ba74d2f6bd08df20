#include "monitor/zorder_guard.h"

#include <algorithm>
#include <utility>

#include "attach/attach.h"
#include "events/event.h"
#include "monitor/coverage.h"

namespace orvel {

bool host_covered(const Rect& host, std::span<const Rect> above) {
  return std::ranges::any_of(
      above, [&](const Rect& window) { return !is_empty(intersection(host, window)); });
}

bool reassert_due(std::optional<std::chrono::microseconds> last, std::chrono::microseconds now) {
  if (!last) return true;
  return (now > *last ? now - *last : std::chrono::microseconds{0}) >= reassert_spacing;
}

// The guard acts only while the host window is a child of the layer it was attached to, and only
// for a window above it there that covers some of it: a wallpaper on another monitor in the same
// layer is a sibling, not a cover.
void ZorderGuard::guard_zorder(Platform& os, SharedState& shared, Trace& trace) {
  const auto [host, workerw] = shared.with_state(
      [](const MonitorState& state) { return std::pair(state.host, state.workerw); });
  if (!os.is_window(host) || os.get_ancestor(host, win::ga_parent) != workerw) return;
  const SysResult<Rect> host_rect = os.get_window_rect(host);
  if (!host_rect) return;
  above_.clear();
  for (SysResult<Hwnd> sibling = os.get_window(host, win::gw_hwndprev); sibling;
       sibling = os.get_window(*sibling, win::gw_hwndprev)) {
    if (!os.is_window_visible(*sibling)) continue;
    if (const SysResult<Rect> rect = os.get_window_rect(*sibling)) above_.push_back(*rect);
  }
  const bool covered = host_covered(*host_rect, above_);
  const bool due =
      covered && shared.with_state([now = os.monotonic_now()](const MonitorState& state) {
        return reassert_due(state.last_reassert, now);
      });
  const bool raised = due && raise_host(os, host);
  trace.note("guard", [&](JsonWriter& json) {
    json.number("above", static_cast<std::int64_t>(above_.size()))
        .boolean("covered", covered)
        .boolean("due", due)
        .boolean("raised", raised);
  });
  if (!raised) return;
  shared.with_state([now = os.monotonic_now()](MonitorState& state) { state.last_reassert = now; });
  emit_event(os, Event::Reasserted{.hwnd = host});
}

}  // namespace orvel
