// How the stand-in shell looks in the demo picture: a teal wallpaper on Progman and on the layer,
// icon tiles in SHELLDLL_DefView, around which the layer shows, and a dark taskbar.
#pragma once

#include <windows.h>

namespace orvel::desktop {

// Answers WM_PAINT for one of the shell's windows: the tiles for the icon view, its colour for the
// taskbar, the wallpaper for any other.
void paint_shell_window(HWND window);
// Cuts the window that holds the icons to the tiles, so that the windows below show elsewhere.
void cut_to_tiles(HWND window);
// Wine raises a top-level window's X window when it comes to the top, and never lowers one, so the
// windows that belong above the layer (the icons' holder and the taskbar) are raised once more,
// from the bottom up, for X to stack them as Windows does. The caller then puts the layer back
// right behind the icons.
void restack_for_x(HWND icons);

}  // namespace orvel::desktop
