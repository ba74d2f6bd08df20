#pragma once

#include "platform/types.h"

namespace orvel {

// The shell's windows that make up the desktop, as discovery found them beside the layer; 0 for
// one that is not there.
struct DesktopWindows {
  Hwnd layer = 0;  // the desktop layer that holds the host window
  Hwnd icons = 0;  // the top-level window that holds the icons: Progman, or a WorkerW
  Hwnd progman = 0;
  bool operator==(const DesktopWindows&) const = default;
};

// Whether `window` is one of them. A handle of 0 never matches.
constexpr bool is_desktop_window(Hwnd window, const DesktopWindows& desktop) {
  return window != 0 &&
         (window == desktop.layer || window == desktop.icons || window == desktop.progman);
}

}  // namespace orvel
