#include "attach/attach.h"
#include "events/event.h"
#include "monitor/decisions.h"
#include "monitor/monitor.h"
#include "monitor/state.h"
#include "monitor/visibility.h"

namespace orvel {
namespace {

std::optional<Watched> watched() {
  return with_monitor_state([](const std::optional<MonitorState>& state) -> std::optional<Watched> {
    if (!state) return std::nullopt;
    return Watched{.host = state->host, .workerw = state->workerw, .zguard = state->zguard};
  });
}

}  // namespace

// The hooks see every window of every other process, so what concerns neither the visibility
// answer nor the layer is dropped before the lock, and a destroyed window costs one compare after.
void on_shell_event(Platform& os, Hhook, std::uint32_t event, Hwnd window, std::int32_t object_id,
                    std::int32_t, std::uint32_t, std::uint32_t) noexcept {
  const ShellInterest interest = shell_interest(
      event, object_id, monitor_values().report_visibility.load(std::memory_order_relaxed));
  if (interest.visibility) mark_visibility_stale(os);
  if (!interest.layer) return;
  const std::optional<Watched> state = watched();
  if (!state) return;
  switch (react_to_shell_event(event, window, *state)) {
    case ShellReaction::none:
      return;
    case ShellReaction::guard:
      guard_zorder(os);
      return;
    case ShellReaction::layer_destroyed:
      monitor_values().destroyed = window;
      emit_event(os, Event::WorkerwDestroyed{.hwnd = state->host});
      start_reattach_worker(os);
      return;
  }
}

void guard_zorder(Platform& os) {
  const std::optional<Watched> state = watched();
  if (!state || !os.is_window(state->host)) return;
  const std::optional<Hwnd> parent = os.get_ancestor(state->host, win::ga_parent);
  // The layer's children are looked at only while the host window is one of them.
  std::optional<Hwnd> top;
  if (parent == state->workerw) {
    if (const SysResult<Hwnd> child = os.get_window(state->workerw, win::gw_child)) top = *child;
  }
  if (!host_covered(state->host, state->workerw, parent, top)) return;
  const bool due = with_monitor_state([now = os.monotonic_now()](auto& cell) {
    return !cell || reassert_due(cell->last_reassert, now);
  });
  if (!due) return;
  if (!raise_host(os, state->host)) return;
  with_monitor_state([now = os.monotonic_now()](auto& cell) {
    if (cell) cell->last_reassert = now;
  });
  emit_event(os, Event::Reasserted{.hwnd = state->host});
}

}  // namespace orvel
