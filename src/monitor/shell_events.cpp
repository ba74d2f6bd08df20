#include "monitor/shell_events.h"

#include <algorithm>
#include <iterator>

namespace orvel {

ShellInterest shell_interest(std::uint32_t event, std::int32_t object_id, bool reports_visibility) {
  // A desktop switch concerns no window in particular, so its object is not looked at.
  if (object_id != win::objid_window && event != win::event_system_desktopswitch) return {};
  return {.visibility = reports_visibility &&
                        std::ranges::find(visibility_events, event) != std::end(visibility_events),
          .layer = event == win::event_object_destroy || event == win::event_object_reorder};
}

ShellReaction react_to_shell_event(std::uint32_t event, Hwnd window, const Watched& watched) {
  if (event == win::event_object_reorder) {
    return watched.zguard ? ShellReaction::guard : ShellReaction::none;
  }
  if (event == win::event_object_destroy && (window == watched.host || window == watched.workerw)) {
    return ShellReaction::layer_destroyed;
  }
  return ShellReaction::none;
}

}  // namespace orvel
