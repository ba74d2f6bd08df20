#pragma once

#include "attach/discovery.h"
#include "events/event.h"
#include "platform/platform.h"

namespace orvel {

// The desktop layer of the host window's monitor, and that monitor. The search can take seconds.
struct LayerFound {
  DesktopLayer layer;
  Hmonitor monitor{};
};
Result<LayerFound> find_host_layer(Platform& os, Hwnd host);

// Makes the host window a child of the layer found, with the styles of a child, fitted over the
// monitor and on top of its new siblings. A failure leaves the host window as it was.
Result<DesktopLayer> attach_host_to(Platform& os, Hwnd host, const LayerFound& found);

// Both, one after the other.
Result<DesktopLayer> attach_host(Platform& os, Hwnd host);

// Puts the host window on top of its siblings, without activating it.
SysResult<void> raise_host(Platform& os, Hwnd host);

// Gives the host window back to the desktop as a top-level window with fixed style bits; a
// failure leaves it where it was.
Result<void> detach_host(Platform& os, Hwnd host);

}  // namespace orvel
