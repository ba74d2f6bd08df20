#pragma once

#include "events/event.h"
#include "platform/platform.h"

namespace orvel {

// Shows the host window over the whole of `monitor`, in its parent's coordinates, without
// activating or re-ordering it. Silent: every failure leaves things as they were.
void fit_host_to_monitor(Platform& os, Hwnd host, Hmonitor monitor);

// Makes the system apply the wallpaper setting again, which repaints the static wallpaper.
Result<void> refresh_wallpaper(Platform& os);

}  // namespace orvel
