#pragma once

#include <windows.h>

#include <vector>

namespace host_example {

// The window that becomes the wallpaper: a gradient that drifts, a clock, and a ripple wherever
// the desktop is clicked. It starts hidden, covering the primary monitor; the helper shows it
// once it is behind the desktop icons.
class HostWindow {
 public:
  HostWindow();  // throws std::system_error when the window cannot be made
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  ~HostWindow();

  // Null once the window is gone: destroying the desktop layer destroys it too.
  HWND handle() const { return window_; }
  // `screen` in screen coordinates, as the helper's mouse events give them.
  void ripple_at(POINT screen);

 private:
  struct Ripple {
    POINT center;  // client coordinates
    ULONGLONG started_ms;
  };

  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void paint(HDC dc, const RECT& client, ULONGLONG now_ms);

  HWND window_ = nullptr;
  std::vector<Ripple> ripples_;
};

}  // namespace host_example
