// The demo's pictures of the screen.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orvel::demo {

// The screen as 24-bit rows, top row first.
struct Screenshot {
  LONG width = 0;
  LONG height = 0;
  std::vector<std::uint8_t> pixels;

  LONG stride() const { return (width * 3 + 3) & ~3; }
  COLORREF at(POINT point) const {
    const std::uint8_t* blue = &pixels[static_cast<std::size_t>(point.y * stride() + point.x * 3)];
    return RGB(blue[2], blue[1], blue[0]);
  }
};

Screenshot take_screenshot();
// As a BMP file; whether it was written.
bool save(const Screenshot& shot, const std::string& path);

}  // namespace orvel::demo
