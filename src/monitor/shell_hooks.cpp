#include "attach/attach.h"
#include "events/event.h"
#include "monitor/decisions.h"
#include "monitor/session.h"

namespace orvel {

// The hooks see every window of every other process, so what concerns neither the visibility
// answer nor the layer is dropped before anything else, and a destroyed window costs one compare
// after. Once the close has begun, nothing the shell does is answered.
void AttachSession::on_win_event(std::uint32_t event, Hwnd window,
                                 std::int32_t object_id) noexcept {
  if (!shared_ || shared_->closing()) return;
  const ShellInterest interest = shell_interest(event, object_id, visibility_.has_value());
  if (interest.visibility) visibility_->mark_stale();
  if (!interest.layer) return;
  const Watched watched = shared_->with_state([](const MonitorState& state) {
    return Watched{.host = state.host, .workerw = state.workerw, .zguard = state.zguard};
  });
  switch (react_to_shell_event(event, window, watched)) {
    case ShellReaction::none:
      return;
    case ShellReaction::guard:
      guard_zorder();
      return;
    case ShellReaction::layer_destroyed:
      shared_->destroyed = window;
      emit_event(os_, Event::WorkerwDestroyed{.hwnd = watched.host});
      start_reattach_worker(os_, shared_);
      return;
  }
}

void AttachSession::guard_zorder() {
  const auto [host, workerw] = shared_->with_state(
      [](const MonitorState& state) { return std::pair(state.host, state.workerw); });
  if (!os_.is_window(host)) return;
  const std::optional<Hwnd> parent = os_.get_ancestor(host, win::ga_parent);
  // The layer's children are looked at only while the host window is one of them.
  std::optional<Hwnd> top;
  if (parent == workerw) {
    if (const SysResult<Hwnd> child = os_.get_window(workerw, win::gw_child)) top = *child;
  }
  if (!host_covered(host, workerw, parent, top)) return;
  const bool due = shared_->with_state([now = os_.monotonic_now()](const MonitorState& state) {
    return reassert_due(state.last_reassert, now);
  });
  if (!due || !raise_host(os_, host)) return;
  shared_->with_state(
      [now = os_.monotonic_now()](MonitorState& state) { state.last_reassert = now; });
  emit_event(os_, Event::Reasserted{.hwnd = host});
}

}  // namespace orvel
