#pragma once

#include "platform/types.h"

namespace orvel {

// The shell's windows that make up the desktop, as discovery found them beside the layer; 0 for
// one that is not there.
struct DesktopWindows {
  Hwnd layer = 0;  // the desktop layer that holds the host window
  Hwnd icons = 0;  // the top-level window that holds the icons: Progman, or a WorkerW
  Hwnd progman = 0;
  Hwnd icon_view = 0;  // the icons' own window (SHELLDLL_DefView) in `icons`
  Hwnd icon_list = 0;  // the list of the icons in it, where there is one
  bool operator==(const DesktopWindows&) const = default;
};

// Whether `window` is one of them. A handle of 0 never matches.
constexpr bool is_desktop_window(Hwnd window, const DesktopWindows& desktop) {
  return window != 0 &&
         (window == desktop.layer || window == desktop.icons || window == desktop.progman);
}

// Whether `window`, found under a point, is known to lie in the desktop without asking for its
// top-level window: the desktop's top-level windows, and the icons' own windows, which are the
// desktop wherever the shell keeps them.
constexpr bool is_known_desktop_part(Hwnd window, const DesktopWindows& desktop) {
  return window != 0 && (window == desktop.icon_view || window == desktop.icon_list ||
                         window == desktop.progman || window == desktop.icons);
}

}  // namespace orvel
