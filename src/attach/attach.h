#pragma once

#include <optional>

#include "attach/discovery.h"
#include "attach/layer.h"
#include "attach/placement.h"
#include "events/event.h"
#include "platform/platform.h"

namespace orvel {

// The desktop layer for the area of the virtual screen that the host window is to cover. The
// search can take seconds.
Result<LayerFound> find_host_layer(Platform& os, Hwnd host, const std::optional<Rect>& area);

// Makes the host window a child of the layer found, with the styles of a child, fitted over its
// area and on top of its new siblings. A failure leaves the host window as it was.
struct AttachedHost {
  DesktopLayer layer;
  std::optional<Fit> fit;  // where in the layer the fit asked it to be
};
Result<AttachedHost> attach_host_to(Platform& os, Hwnd host, const LayerFound& found);

// Puts the host window on top of its siblings, without activating it.
SysResult<void> raise_host(Platform& os, Hwnd host);

// Gives the host window back to the desktop as a top-level window with fixed style bits; a
// failure leaves it where it was. Succeeds only when the window is top-level afterwards.
Result<void> detach_host(Platform& os, Hwnd host);

// Whether the window lies in another window: its parent is one, not the desktop. A window whose
// parent cannot be told does not.
bool in_a_parent(Platform& os, Hwnd window);

}  // namespace orvel
