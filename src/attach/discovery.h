#pragma once

#include <optional>

#include "events/event.h"
#include "platform/platform.h"

namespace orvel {

// The shell's WorkerW into which the host window goes, and the layout it was found in.
struct DesktopLayer {
  Hwnd window = 0;
  AttachMode mode = AttachMode::classic;
  bool operator==(const DesktopLayer&) const = default;
};

// One look for the desktop layer of `monitor` (which may be null). Never asks the shell for
// anything, but may wait up to a second for a layer that Progman is about to create.
std::optional<DesktopLayer> search_desktop_layer(Platform& os, Hmonitor monitor);

// Finds the desktop layer, asking the shell once to create it when it is missing.
Result<DesktopLayer> find_desktop_layer(Platform& os, Hmonitor monitor);

}  // namespace orvel
