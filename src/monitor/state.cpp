#include "monitor/state.h"

namespace orvel {

MonitorValues& monitor_values() {
  static MonitorValues values;
  return values;
}

}  // namespace orvel
