#include "monitor/monitor.h"

#include "monitor/session.h"

namespace orvel {

int run_attach_monitor(Platform& os, const Command& command) {
  AttachSession session(os, command);
  return session.run();
}

}  // namespace orvel
