#pragma once

#include <cstdint>

#include "platform/types.h"

namespace orvel {

// What the monitor makes of the window events that its hooks hear, from values alone.

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

}  // namespace orvel
