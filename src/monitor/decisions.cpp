#include "monitor/decisions.h"

namespace orvel {

ShellReaction react_to_shell_event(std::uint32_t event, Hwnd window, const Watched& watched) {
  if (event == win::event_object_reorder) {
    return watched.zguard ? ShellReaction::guard : ShellReaction::none;
  }
  if (event == win::event_object_destroy && (window == watched.host || window == watched.workerw)) {
    return ShellReaction::layer_destroyed;
  }
  return ShellReaction::none;
}

bool reassert_due(std::optional<std::chrono::microseconds> last, std::chrono::microseconds now) {
  if (!last) return true;
  return (now > *last ? now - *last : std::chrono::microseconds{0}) >= reassert_spacing;
}

bool WorkerGate::claim() {
  int state = state_.load();
  for (;;) {
    if (state == again) return false;
    if (state_.compare_exchange_weak(state, state == idle ? once : again)) return state == idle;
  }
}

bool WorkerGate::finish() {
  int state = state_.load();
  while (!state_.compare_exchange_weak(state, state == again ? once : idle)) {
  }
  return state == again;
}

}  // namespace orvel
