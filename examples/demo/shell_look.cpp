#include "demo/shell_look.h"

#include <array>
#include <cstddef>
#include <iterator>
#include <string_view>

namespace orvel::desktop {
namespace {

constexpr COLORREF taskbar_colour = RGB(28, 32, 38);
constexpr COLORREF tile_colour = RGB(24, 40, 52);
constexpr LONG tile_size = 96;
constexpr LONG tile_spacing = 120;
constexpr LONG glyph_size = 44;
struct Tile {
  const wchar_t* label;
  COLORREF glyph;
};
constexpr Tile tiles[icon_tiles] = {{L"Documents", RGB(240, 196, 80)},
                                    {L"Pictures", RGB(110, 190, 240)},
                                    {L"Music", RGB(230, 110, 140)},
                                    {L"Recycle Bin", RGB(190, 200, 210)}};

void fill(HDC dc, RECT rect, COLORREF colour) {
  const HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

void paint_tiles(HDC dc) {
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  for (std::size_t index = 0; index < std::size(tiles); ++index) {
    const RECT tile = tile_rect(index);
    fill(dc, tile, tile_colour);
    const LONG glyph_left = tile.left + (tile_size - glyph_size) / 2;
    fill(dc, {glyph_left, tile.top + 12, glyph_left + glyph_size, tile.top + 12 + glyph_size},
         tiles[index].glyph);
    RECT label{tile.left, tile.top + 12 + glyph_size, tile.right, tile.bottom};
    DrawTextW(dc, tiles[index].label, -1, &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}

}  // namespace

// A column down the left, as the shell lays them.
RECT tile_rect(std::size_t index) {
  const LONG top = 24 + static_cast<LONG>(index) * tile_spacing;
  return {24, top, 24 + tile_size, top + tile_size};
}

void paint_shell_window(HWND window) {
  PAINTSTRUCT painting;
  const HDC dc = BeginPaint(window, &painting);
  RECT client;
  GetClientRect(window, &client);
  std::array<wchar_t, 32> name{};
  GetClassNameW(window, name.data(), static_cast<int>(name.size()));
  if (std::wstring_view(name.data()) == L"SHELLDLL_DefView") {
    paint_tiles(dc);
  } else {
    const bool taskbar = std::wstring_view(name.data()) == L"Shell_TrayWnd";
    fill(dc, client, taskbar ? taskbar_colour : wallpaper_colour);
  }
  EndPaint(window, &painting);
}

// Everything but the tiles lets the windows below show, as the real icon view's transparent
// background does.
void cut_to_tiles(HWND window) {
  const HRGN shape = CreateRectRgn(0, 0, 0, 0);
  for (std::size_t index = 0; index < std::size(tiles); ++index) {
    const RECT tile = tile_rect(index);
    const HRGN part = CreateRectRgn(tile.left, tile.top, tile.right, tile.bottom);
    CombineRgn(shape, shape, part, RGN_OR);
    DeleteObject(part);
  }
  // The window owns the region from here on.
  SetWindowRgn(window, shape, TRUE);
}

// Each goes down first, since one at the top already is not raised again. The taskbar may be
// another process's, after a restart.
void restack_for_x(HWND icons) {
  for (const HWND window : {icons, FindWindowW(L"Shell_TrayWnd", nullptr)}) {
    if (!window) continue;
    for (const HWND place : {HWND_BOTTOM, HWND_TOP}) {
      SetWindowPos(window, place, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
}

}  // namespace orvel::desktop
