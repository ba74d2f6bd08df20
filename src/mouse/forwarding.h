#pragma once

#include "events/event.h"
#include "platform/platform.h"

namespace orvel {

// Sets up raw mouse input over the desktop layer `workerw` and the mouse timer.
Result<void> start_mouse_forwarding(Platform& os, Hwnd workerw);

}  // namespace orvel
