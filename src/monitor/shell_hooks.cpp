#include <chrono>

#include "events/event.h"
#include "monitor/monitor.h"
#include "monitor/state.h"

namespace orvel {
namespace {

using namespace std::chrono_literals;

constexpr auto reassert_spacing = 10s;
constexpr std::uint32_t raise_flags =
    win::swp_nosize | win::swp_nomove | win::swp_noactivate | win::swp_asyncwindowpos;

struct Watched {
  Hwnd host;
  Hwnd workerw;
  bool zguard;
};

std::optional<Watched> watched() {
  MonitorStateCell::Guard state = lock_monitor_state();
  if (state.poisoned() || !state.value()) return std::nullopt;
  const MonitorState& fields = *state.value();
  return Watched{.host = fields.host, .workerw = fields.workerw, .zguard = fields.zguard};
}

// A poisoned or empty state cannot say when the guard last acted, so it may act now.
bool reassert_due(std::chrono::microseconds now) {
  MonitorStateCell::Guard state = lock_monitor_state();
  if (state.poisoned() || !state.value() || !state.value()->last_reassert) return true;
  const std::chrono::microseconds last = *state.value()->last_reassert;
  return (now > last ? now - last : 0us) >= reassert_spacing;
}

void record_reassert(std::chrono::microseconds now) {
  MonitorStateCell::Guard state = lock_monitor_state();
  if (!state.poisoned() && state.value()) state.value()->last_reassert = now;
}

}  // namespace

// Both hooks see every window of every other process, so anything but a window is dropped before
// the lock, and a destroyed window costs one compare after it.
void on_shell_event(Platform& os, Hhook, std::uint32_t event, Hwnd window, std::int32_t object_id,
                    std::int32_t, std::uint32_t, std::uint32_t) noexcept {
  if (object_id != win::objid_window) return;
  const std::optional<Watched> state = watched();
  if (!state) return;
  if (event == win::event_object_reorder) {
    if (state->zguard) guard_zorder(os);
  } else if (event == win::event_object_destroy) {
    if (window != state->host && window != state->workerw) return;
    monitor_values().destroyed = window;
    emit_event(os, Event::WorkerwDestroyed{.hwnd = state->host});
    start_reattach_worker(os);
  }
}

void guard_zorder(Platform& os) {
  const std::optional<Watched> state = watched();
  if (!state || !os.is_window(state->host)) return;
  // Only while the host window is still a child of the layer it was attached to.
  if (os.get_ancestor(state->host, win::ga_parent) != state->workerw) return;
  if (const SysResult<Hwnd> top = os.get_window(state->workerw, win::gw_child);
      top && *top == state->host) {
    return;
  }
  if (!reassert_due(os.monotonic_now())) return;
  if (!os.set_window_pos(state->host, win::hwnd_top, 0, 0, 0, 0, raise_flags)) return;
  record_reassert(os.monotonic_now());
  emit_event(os, Event::Reasserted{.hwnd = state->host});
}

}  // namespace orvel
