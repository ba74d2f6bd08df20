#include "mouse/forwarding.h"

namespace orvel {

// Mouse forwarding is not built yet: a monitor asked for it fails at start-up instead of running
// without it.
Result<void> start_mouse_forwarding(Platform&, Hwnd) {
  return fail("not available in this build");
}

}  // namespace orvel
