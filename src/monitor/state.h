#pragma once

#include <atomic>
#include <chrono>
#include <optional>

#include "monitor/poison_lock.h"
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

// The one monitor state of the process, empty until start-up fills it. The lock is held only to
// copy fields in or out, never across a window call, a sleep or an event.
using MonitorStateCell = PoisonLock<std::optional<MonitorState>>;
MonitorStateCell& monitor_state_cell();
inline MonitorStateCell::Guard lock_monitor_state() {
  return monitor_state_cell().lock();
}

// One field of the monitor state, copied under the lock; empty when the cell is poisoned or empty.
template <class Field>
std::optional<Field> read_monitor_state(Field MonitorState::*field) {
  MonitorStateCell::Guard state = lock_monitor_state();
  if (state.poisoned() || !state.value()) return std::nullopt;
  return (*state.value()).*field;
}

// The monitor's other process-wide values. The message window, the "TaskbarCreated" id and the
// mouse option are written once, before any other thread starts.
struct MonitorValues {
  std::atomic<Hwnd> message_window{0};
  std::atomic<std::uint32_t> taskbar_created{0};
  std::atomic<bool> forward_mouse{false};
  std::atomic<bool> closing{false};
  std::atomic<bool> reattach_running{false};
  // The window whose destruction started a re-attach, until the worker has seen it gone.
  std::atomic<Hwnd> destroyed{0};
};
MonitorValues& monitor_values();

inline Hwnd message_window() {
  return monitor_values().message_window.load(std::memory_order_relaxed);
}

// The monitor's process state as it is at process start, for harnesses that run the program more
// than once in one process. The poisoned mark stays.
void reset_monitor_process_state();

}  // namespace orvel
