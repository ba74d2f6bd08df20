#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>

#include "attach/placement.h"
#include "events/event.h"
#include "events/trace.h"
#include "monitor/reattach.h"
#include "platform/lock.h"
#include "platform/platform.h"

namespace orvel {

// What a running attach monitor knows of the host window and its layer.
struct MonitorState {
  Hwnd host = 0;
  Hwnd workerw = 0;                // the desktop layer the host window is attached to
  std::uint32_t explorer_pid = 0;  // of the taskbar when it was last looked up; 0 for none
  bool zguard = false;
  std::optional<std::chrono::microseconds> last_reassert;  // on the monotonic clock
  Home home;                                               // where the host window belongs
  std::optional<FitRecord> fitted;                         // the helper's last fit of it
};

// The part of an attach session that its re-attach worker shares with the main thread. Both hold
// it: the close waits for a worker's attach step, not for its search, which may then run on after
// the session ended.
class SharedState {
 public:
  SharedState(MonitorState state, Hwnd window, std::uint32_t layer_changed_id,
              std::shared_ptr<Trace> shared_trace)
      : message_window(window),
        layer_changed_message(layer_changed_id),
        trace(std::move(shared_trace)),
        state_(state) {}

  // The hidden window; the worker only posts to it, this message when it attached to a new layer.
  const Hwnd message_window;
  const std::uint32_t layer_changed_message;
  const std::shared_ptr<Trace> trace;
  WorkerGate reattach;
  // The window whose destruction started a re-attach, until the worker has seen it gone.
  std::atomic<Hwnd> destroyed{0};
  // Set by the worker with each new layer, taken by the main thread when it follows it: a message
  // that says so without it, from anyone else, does nothing.
  std::atomic<bool> layer_changed{false};

  bool closing() const { return closing_.load(); }
  // The close begins: true when it had begun already. No line of the worker follows this, and an
  // attach step of the worker under way has ended when it returns.
  bool begin_close() {
    bool began = false;
    {
      const std::lock_guard turn(report_turn_);
      began = closing_.exchange(true);
    }
    const std::lock_guard step(attach_step_);
    return began;
  }
  // The worker's attach and its answer, which the close waits for.
  void begin_attach_step() { attach_step_.lock(); }
  void end_attach_step() { attach_step_.unlock(); }
  // Writes the worker's event unless the close has begun; whether it did.
  bool emit_unless_closing(Platform& os, const Event& event) {
    const std::lock_guard turn(report_turn_);
    if (closing_) return false;
    emit_event(os, event);
    return true;
  }

  // Runs `use` on the state under its lock, which is never held across a window call, a sleep or
  // an event; gives what `use` gives.
  template <class Use>
  auto with_state(Use&& use) {
    const std::lock_guard lock(state_lock_);
    return use(state_);
  }
  template <class Field>
  Field read(Field MonitorState::*field) {
    return with_state([field](const MonitorState& state) { return state.*field; });
  }

  // Where the host window goes now, as host_target finds it; the home is kept for next time.
  std::optional<Target> settle_target(Platform& os) {
    const auto [host, home, fitted] = with_state(
        [](const MonitorState& state) { return std::tuple(state.host, state.home, state.fitted); });
    std::optional<Target> target = host_target(os, host, home, fitted);
    if (!target) return target;
    with_state([&](MonitorState& state) {
      state.home = target->home;
      // The fit seen arrived is the one judged, unless another fit has come since.
      if (target->fit_arrived && state.fitted && fitted && state.fitted->at == fitted->at) {
        state.fitted->arrived = true;
      }
    });
    return target;
  }

 private:
  std::atomic<bool> closing_{false};
  Lock report_turn_;
  Lock attach_step_;
  Lock state_lock_;
  MonitorState state_;
};

}  // namespace orvel
