#include "events/event.h"
#include "monitor/session.h"
#include "monitor/shell_events.h"
#include "monitor/worker.h"

namespace orvel {

// The hooks see every window of every other process, so what concerns neither the visibility
// answer nor the layer is dropped before anything else, and a destroyed window costs one compare
// after. Once the close has begun, nothing the shell does is answered.
void AttachSession::on_win_event(std::uint32_t event, Hwnd window,
                                 std::int32_t object_id) noexcept {
  if (!shared_ || shared_->closing()) return;
  const ShellInterest interest = shell_interest(event, object_id, visibility_.has_value());
  if (interest.visibility) {
    if (event == win::event_object_hide) visibility_->on_hidden(window, host_);
    visibility_->mark_stale();
  }
  if (!interest.layer) return;
  const Watched watched = shared_->with_state([](const MonitorState& state) {
    return Watched{.host = state.host, .workerw = state.workerw, .zguard = state.zguard};
  });
  switch (react_to_shell_event(event, window, watched)) {
    case ShellReaction::none:
      return;
    case ShellReaction::guard:
      guard_.guard_zorder(os_, *shared_, *trace_);
      return;
    case ShellReaction::layer_destroyed:
      shared_->destroyed = window;
      emit_event(os_, Event::WorkerwDestroyed{.hwnd = watched.host});
      start_reattach_worker(os_, shared_);
      return;
  }
}

}  // namespace orvel
