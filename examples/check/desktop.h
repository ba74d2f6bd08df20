// What the checks look at on the desktop, with the system's own calls: the shell's windows and
// their order, and the screen as the user sees it; and a restart of the shell.
#pragma once

#include <windows.h>

#include <expected>
#include <string>
#include <vector>

namespace wallpaper_check {

// The shell as it is now: its Progman, the process that owns it, and the icons' view.
struct Shell {
  HWND progman = nullptr;
  DWORD process = 0;
  HWND icons = nullptr;  // SHELLDLL_DefView, in Progman or in a top-level WorkerW
};
Shell find_shell();

// Whether the desktop itself is in front at `point`: the window there is the shell's Progman or
// one of its WorkerW windows, or lies in one; not another program's window, nor the taskbar.
bool desktop_at(const Shell& shell, POINT point);
// Points spread over the primary monitor's work area where the desktop is in front now.
std::vector<POINT> desktop_points(const Shell& shell);

// Whether `window` lies behind `icons` on the screen: of the two, or of the ancestors of each
// that are siblings, its own comes later in their z-order. A window inside the icons' view lies in
// front of it.
bool lies_behind(HWND window, HWND icons);

// One pixel of the screen, as the user sees it.
COLORREF screen_pixel(POINT point);
// Within a few steps in every channel: a desktop that is scaled or in HDR may round a colour.
bool looks_like(COLORREF seen, COLORREF colour);
std::string colour_text(COLORREF colour);  // "#rrggbb"

// The visible taskbar of any process but `not_of`: Wine keeps a hidden one of its own.
HWND visible_taskbar(DWORD not_of = 0);
// Ends the process of the visible taskbar and starts its program again, as one restarts
// explorer.exe: the ended process's id, or what failed.
std::expected<DWORD, std::string> restart_shell();

}  // namespace wallpaper_check
