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

// The guard acts only while the host window is a child of the layer it was attached to, and only
// for a window above it there that covers some of it: a wallpaper on another monitor in the same
// layer is a sibling, not a cover.
void AttachSession::guard_zorder() {
  const auto [host, workerw] = shared_->with_state(
      [](const MonitorState& state) { return std::pair(state.host, state.workerw); });
  if (!os_.is_window(host) || os_.get_ancestor(host, win::ga_parent) != workerw) return;
  const SysResult<Rect> host_rect = os_.get_window_rect(host);
  if (!host_rect) return;
  above_.clear();
  for (SysResult<Hwnd> sibling = os_.get_window(host, win::gw_hwndprev); sibling;
       sibling = os_.get_window(*sibling, win::gw_hwndprev)) {
    if (!os_.is_window_visible(*sibling)) continue;
    if (const SysResult<Rect> rect = os_.get_window_rect(*sibling)) above_.push_back(*rect);
  }
  const bool covered = host_covered(*host_rect, above_);
  const bool due =
      covered && shared_->with_state([now = os_.monotonic_now()](const MonitorState& state) {
        return reassert_due(state.last_reassert, now);
      });
  const bool raised = due && raise_host(os_, host);
  trace_->note("guard", [&](JsonWriter& json) {
    json.number("above", static_cast<std::int64_t>(above_.size()))
        .boolean("covered", covered)
        .boolean("due", due)
        .boolean("raised", raised);
  });
  if (!raised) return;
  shared_->with_state(
      [now = os_.monotonic_now()](MonitorState& state) { state.last_reassert = now; });
  emit_event(os_, Event::Reasserted{.hwnd = host});
}

}  // namespace orvel
