#pragma once

#include <windows.h>

#include <vector>

namespace host_example {

// The window that becomes the wallpaper: a gradient that drifts, a clock, and a ripple wherever
// the desktop is clicked; a wheel notch turns its colours. It starts hidden, covering the primary
// monitor; the helper shows it once it is behind the desktop icons.
class HostWindow {
 public:
  // With `draw_through_parent`, while the window is a child of another process's window, each
  // frame is drawn on that window, clipped to ours: Wine 8 gives such a child nothing to draw on.
  // Throws std::system_error when the window cannot be made.
  explicit HostWindow(bool draw_through_parent);
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  ~HostWindow();

  // Null once the window is gone: destroying the desktop layer destroys it too.
  HWND handle() const { return window_; }
  // `screen` in screen coordinates, as the helper's mouse events give them.
  void ripple_at(POINT screen);
  // 120 a notch, as the helper's wheel events give it.
  void turn(int wheel_delta);
  // While nothing of it can be seen, it draws no frames at all.
  void set_drawing(bool drawing);

 private:
  struct Ripple {
    POINT center;  // client coordinates
    ULONGLONG started_ms;
  };

  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // Through `own`, the window's painting context, or through its parent's (see the constructor).
  void draw_frame(HDC own);
  void paint(HDC dc, const RECT& client, ULONGLONG now_ms);

  HWND window_ = nullptr;
  bool draw_through_parent_;
  bool drawing_ = true;
  int notches_ = 0;  // wheel notches turned, each a sixth of a turn of the colours
  std::vector<Ripple> ripples_;
};

}  // namespace host_example
