// The window whose colour the checks look for on the screen: that colour and nothing else.
#pragma once

#include <windows.h>

#include <string>

namespace wallpaper_check {

// Seldom a wallpaper's, and far from any icon's.
inline constexpr COLORREF window_colour = RGB(255, 0, 170);

// It starts hidden, over the primary monitor, as an application's wallpaper window would; the
// helper shows it once it is in the desktop layer.
class ColourWindow {
 public:
  // With `draw_through_parent`, while the window is inside another process's window, it is painted
  // through the device context of the top-level window that holds it, clipped to its own place:
  // Wine 8 shows nothing that such a child paints itself. On Windows it paints itself, as any
  // window does.
  explicit ColourWindow(bool draw_through_parent);
  ColourWindow(const ColourWindow&) = delete;
  ColourWindow& operator=(const ColourWindow&) = delete;
  ~ColourWindow();

  // Null when it could not be made; error() says why.
  HWND handle() const { return window_; }
  const std::string& error() const { return error_; }
  void hide() { ShowWindow(window_, SW_HIDE); }

 private:
  HWND window_ = nullptr;
  std::string error_;
};

}  // namespace wallpaper_check
