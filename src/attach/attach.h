#pragma once

#include "attach/discovery.h"
#include "events/event.h"
#include "platform/platform.h"

namespace orvel {

// Makes the host window a child of its monitor's desktop layer, with the styles of a child, fitted
// over the monitor and on top of its new siblings. A failure leaves the host window as it was.
Result<DesktopLayer> attach_host(Platform& os, Hwnd host);

// Gives the host window back to the desktop as a top-level window with fixed style bits; a
// failure leaves it where it was.
Result<void> detach_host(Platform& os, Hwnd host);

}  // namespace orvel
