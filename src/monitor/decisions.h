#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "monitor/coverage.h"
#include "platform/platform.h"

namespace orvel {

// What the monitor decides about the shell, the z-order guard, the re-attach worker and the close,
// from values alone: the code around it gathers them with window calls and applies the answer.

// The windows a shell event is compared with, copied from the monitor state.
struct Watched {
  Hwnd host = 0;
  Hwnd workerw = 0;
  bool zguard = false;
};

// What a window event can concern, told before any state is read: the hooks see every window of
// every process, and most of what they see concerns neither.
struct ShellInterest {
  bool visibility = false;  // the visibility answer may have changed
  bool layer = false;       // the host window's layer or z-order may have changed
  bool operator==(const ShellInterest&) const = default;
};
ShellInterest shell_interest(std::uint32_t event, std::int32_t object_id, bool reports_visibility);

// The window events after which the user may see more or less of the desktop.
inline constexpr std::uint32_t visibility_events[] = {
    win::event_system_foreground,     win::event_system_minimizestart,
    win::event_system_minimizeend,    win::event_system_desktopswitch,
    win::event_object_destroy,        win::event_object_show,
    win::event_object_hide,           win::event_object_reorder,
    win::event_object_locationchange, win::event_object_cloaked,
    win::event_object_uncloaked};

enum class ShellReaction { none, guard, layer_destroyed };

// A window event (anything else is dropped before this): a z-order change of any window runs the
// guard when it is on; the destruction of the host window or of its layer needs a re-attach.
ShellReaction react_to_shell_event(std::uint32_t event, Hwnd window, const Watched& watched);

// Only a taskbar of another process than before means that the shell restarted.
inline bool shell_restarted(std::uint32_t previous_pid, std::uint32_t current_pid) {
  return previous_pid != current_pid;
}

// Whether any of the windows above the host window in its layer covers some of it.
bool host_covered(const Rect& host, std::span<const Rect> above);

// A top-level window above the desktop's own windows hides what lies under it, unless it is
// minimized, cloaked (on another virtual desktop, or a suspended app's) or lets everything
// through (layered and transparent).
inline bool window_hides(bool iconic, bool cloaked, std::uint32_t ex_style) {
  constexpr std::uint32_t see_through = win::ws_ex_layered | win::ws_ex_transparent;
  return !iconic && !cloaked && (ex_style & see_through) != see_through;
}

// Whether the desktop that takes the input is the helper's own, by their names; one that cannot be
// named (the lock screen's, which this process may not open) is not.
bool input_desktop_is_own(const std::optional<std::u16string>& input,
                          const std::optional<std::u16string>& own);

// The user can see some of the host window while the display is on, the input desktop is the
// user's own, and the windows above the desktop leave some point of it open on some monitor: a
// window that spans several monitors is seen while any part of it is.
struct VisibilityFacts {
  bool display_on = true;
  bool own_desktop = true;
  Rect window;
};
bool window_visible(const VisibilityFacts& facts, std::span<const Rect> monitors,
                    std::span<const Rect> covers, CoverScratch& scratch);

// The visibility lines: the first value after "attached", then only changes.
class VisibilityReport {
 public:
  // True when `visible` must be written.
  bool changed(bool visible) {
    if (last_ == visible) return false;
    last_ = visible;
    return true;
  }
  void forget() { last_.reset(); }

 private:
  std::optional<bool> last_;
};

// A change of the displays, of the work area or of the DPI, or a resume from sleep: the host
// window may no longer fit its monitor.
bool display_changed(std::uint32_t message, std::uint64_t wparam);

// The console display's state from a power setting's head and its first data byte: off (0), or
// on (1) or dimmed (2), both still seen. None for any other setting, or one without data.
std::optional<bool> display_on_in(const PowerSettingHeader& header, std::byte first);

// Whether a message taken from the queue goes on to the window procedure. A power setting comes
// only sent, by the system, with data that lives as long as the call: a posted one is someone
// else's.
// A timer message with a procedure would have it called through its lparam: the helper's timers
// have none.
bool dispatches_queued(const Message& message);

inline constexpr std::chrono::seconds reassert_spacing{10};

// At most one reassertion in 10 s; a clock that reads earlier than the last one counts as 0 s.
bool reassert_due(std::optional<std::chrono::microseconds> last, std::chrono::microseconds now);

// At most one re-attach worker at a time, and no trigger lost: a trigger that comes while a worker
// runs makes that worker run once more before it ends.
class WorkerGate {
 public:
  // True when the caller must start a worker; false when the running one will run again.
  bool claim();
  // The worker, at its end: true when it must run once more.
  bool finish();
  // The worker that `claim` asked for could not be started.
  void abandon() { state_.store(idle); }
  bool running() const { return state_.load() != idle; }

 private:
  static constexpr int idle = 0;
  static constexpr int once = 1;
  static constexpr int again = 2;
  std::atomic<int> state_{idle};
};

inline constexpr std::chrono::milliseconds close_wait_pause{10};
inline constexpr int close_wait_pauses = 200;

// The close gives the host window back only once no worker is changing it, and waits at most
// about 2 s for that. True when no worker runs any more.
template <class Pause>
bool await_worker_end(const WorkerGate& gate, Pause&& pause) {
  for (int pauses = 0; gate.running(); ++pauses) {
    if (pauses == close_wait_pauses) return false;
    pause();
  }
  return true;
}

}  // namespace orvel
