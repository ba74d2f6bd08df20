#include "monitor/state.h"

namespace orvel {

MonitorStateCell& monitor_state_cell() {
  static MonitorStateCell cell;
  return cell;
}

MonitorValues& monitor_values() {
  static MonitorValues values;
  return values;
}

void reset_monitor_process_state() {
  lock_monitor_state().value() = std::nullopt;
  MonitorValues& values = monitor_values();
  values.message_window = 0;
  values.taskbar_created = 0;
  values.forward_mouse = false;
  values.closing = false;
  values.reattach_running = false;
  values.destroyed = 0;
}

}  // namespace orvel
