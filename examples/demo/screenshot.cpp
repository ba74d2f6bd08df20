#include "demo/screenshot.h"

#include <fstream>

namespace orvel::demo {

Screenshot take_screenshot() {
  Screenshot shot{.width = GetSystemMetrics(SM_CXSCREEN), .height = GetSystemMetrics(SM_CYSCREEN)};
  shot.pixels.resize(static_cast<std::size_t>(shot.stride() * shot.height));
  const HDC screen = GetDC(nullptr);
  const HDC copy = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, shot.width, shot.height);
  const HGDIOBJ old = SelectObject(copy, bitmap);
  BitBlt(copy, 0, 0, shot.width, shot.height, screen, 0, 0, SRCCOPY | CAPTUREBLT);
  SelectObject(copy, old);
  BITMAPINFO format{.bmiHeader = {.biSize = sizeof(BITMAPINFOHEADER),
                                  .biWidth = shot.width,
                                  .biHeight = -shot.height,  // top row first
                                  .biPlanes = 1,
                                  .biBitCount = 24,
                                  .biCompression = BI_RGB}};
  GetDIBits(copy, bitmap, 0, static_cast<UINT>(shot.height), shot.pixels.data(), &format,
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(copy);
  ReleaseDC(nullptr, screen);
  return shot;
}

bool save(const Screenshot& shot, const std::string& path) {
  const BITMAPINFOHEADER info{.biSize = sizeof(BITMAPINFOHEADER),
                              .biWidth = shot.width,
                              .biHeight = -shot.height,
                              .biPlanes = 1,
                              .biBitCount = 24,
                              .biCompression = BI_RGB,
                              .biSizeImage = static_cast<DWORD>(shot.pixels.size())};
  constexpr DWORD headers = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  const BITMAPFILEHEADER file{.bfType = 0x4D42,  // "BM"
                              .bfSize = headers + info.biSizeImage,
                              .bfOffBits = headers};
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(reinterpret_cast<const char*>(shot.pixels.data()),
            static_cast<std::streamsize>(shot.pixels.size()));
  return static_cast<bool>(out);
}

}  // namespace orvel::demo
