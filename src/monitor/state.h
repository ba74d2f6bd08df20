#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>

#include "monitor/decisions.h"
#include "platform/platform.h"

namespace orvel {

// What a running attach monitor knows, shared by the main thread and the re-attach worker.
struct MonitorState {
  Hwnd host = 0;
  Hwnd workerw = 0;                // the desktop layer the host window is attached to
  std::uint32_t explorer_pid = 0;  // of the taskbar when it was last looked up; 0 for none
  bool zguard = false;
  std::optional<std::chrono::microseconds> last_reassert;  // on the monotonic clock
};

// The monitor's process-wide values: the window procedure, the hook callback and the worker's
// thread body are called by Windows with nothing of ours, so this is their only way in. The
// message window and the "TaskbarCreated" id are written once, before any other thread starts.
struct MonitorValues {
  std::atomic<Hwnd> message_window{0};
  std::atomic<std::uint32_t> taskbar_created{0};
  std::atomic<bool> forward_mouse{false};
  std::atomic<bool> report_visibility{false};
  std::atomic<bool> follow_display{false};
  std::atomic<bool> closing{false};
  WorkerGate reattach;
  // The window whose destruction started a re-attach, until the worker has seen it gone.
  std::atomic<Hwnd> destroyed{0};

  // The state is empty until start-up fills it. The lock is held only to copy fields in or out,
  // never across a window call, a sleep or an event.
  std::mutex state_lock;
  std::optional<MonitorState> state;
};
MonitorValues& monitor_values();

inline Hwnd message_window() {
  return monitor_values().message_window.load(std::memory_order_relaxed);
}

// Runs `use` on the state under its lock; gives what `use` gives.
template <class Use>
auto with_monitor_state(Use&& use) {
  MonitorValues& values = monitor_values();
  const std::lock_guard lock(values.state_lock);
  return use(values.state);
}

// One field of the state, copied under the lock; empty while there is no state.
template <class Field>
std::optional<Field> read_monitor_state(Field MonitorState::*field) {
  return with_monitor_state([field](const std::optional<MonitorState>& state) {
    return state ? std::optional<Field>((*state).*field) : std::nullopt;
  });
}

}  // namespace orvel
