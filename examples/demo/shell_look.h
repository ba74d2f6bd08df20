// How the stand-in shell looks in the demo picture: a teal wallpaper on Progman and on the layer,
// icon tiles in SHELLDLL_DefView, around which the layer shows, and a dark taskbar.
#pragma once

#include <windows.h>

#include <cstddef>

namespace orvel::desktop {

inline constexpr COLORREF wallpaper_colour = RGB(38, 110, 120);
inline constexpr std::size_t icon_tiles = 4;
// Where icon tile `index` is, in the icon view's client coordinates: on the painted desktop, which
// covers the screen from its origin, the screen's too.
RECT tile_rect(std::size_t index);

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
