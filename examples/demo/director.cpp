// The session that `scripts/run` plays when given no arguments, on a display of its own:
//
//   orvel_demo_director.exe <directory>
//
// It brings up a painted stand-in shell and the example application, which shows its window as the
// wallpaper through the helper, and echoes the helper's lines as they come. Then it does what a
// person and a shell would: a click and a wheel notch on the desktop, a window dropped above the
// host window inside the layer, a window that covers the whole desktop for a while, a taskbar
// restart; the example gives the window back when its time is up. Each step is saved as a picture
// with its caption and its lines (see Album), "attached" while the host window has just become
// the wallpaper and "detached" once it has gone; both are checked. Last come the example's CPU
// figures, also written to <directory>/summary.txt, and a one-line summary; the exit code is 0
// when every step went as expected.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "demo/record.h"
#include "demo/screenshot.h"
#include "demo/shell_look.h"
#include "wine_desktop/desktop.h"

namespace {

using namespace orvel::desktop;
using orvel::demo::Album;
using orvel::demo::Lines;
using orvel::demo::Screenshot;

int desktop_failures = 0;

// Long enough for every step, with time to spare on a cold Wine.
constexpr wchar_t example_seconds[] = L"9";
// Open desktop, away from the icon tiles and the clock in the middle.
constexpr POINT click_at{1250, 380};
// The ripple grows for 900 ms from the press: a picture this long after it shows it well.
constexpr DWORD ripple_ms = 300;
// What a window needs to draw a frame or two, or to paint itself once what covered it has gone.
constexpr DWORD settle_ms = 300;
constexpr DWORD repaint_ms = 500;
// How long the desktop stays covered: long enough to measure the paused example.
constexpr DWORD covered_ms = 2'000;
// Inside the first icon tile.
constexpr POINT on_tile{30, 30};

constexpr char why_draw_through_parent[] =
    "The example runs with --draw-through-parent: Wine 8 draws nothing of a window that is a child "
    "of another program's window, so the example draws each frame on the desktop layer in its "
    "window's place; on Windows the host window draws as any window does.";

void click(POINT at) {
  INPUT steps[] = {mouse_input(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at),
                   mouse_input(MOUSEEVENTF_LEFTDOWN), mouse_input(MOUSEEVENTF_LEFTUP)};
  SendInput(static_cast<UINT>(std::size(steps)), steps, sizeof(INPUT));
}

void turn_wheel() {
  INPUT step = mouse_input(MOUSEEVENTF_WHEEL, {}, WHEEL_DELTA);
  SendInput(1, &step, sizeof(INPUT));
}

// Windows raises a WinEvent when a window is shown, hidden or moved; Wine does not for another
// process's watcher, so the demo raises it, as the shell's stand-in does. Wine drops it from a
// thread that has not taken a message since the watcher hooked it: this one takes one first.
void announce(HWND window, DWORD event) {
  PostMessageW(window, WM_NULL, 0, 0);
  for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&message);
  NotifyWinEvent(event, window, OBJID_WINDOW, CHILDID_SELF);
}

// Another application's window, maximized over the whole screen: a title bar and a light page.
LRESULT CALLBACK cover_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_PAINT) return DefWindowProcW(window, message, wparam, lparam);
  PAINTSTRUCT painting;
  const HDC dc = BeginPaint(window, &painting);
  RECT page;
  GetClientRect(window, &page);
  RECT title = page;
  title.bottom = page.top + 48;
  page.top = title.bottom;
  for (const auto& [rect, colour] :
       {std::pair{title, RGB(52, 56, 64)}, std::pair{page, RGB(236, 236, 232)}}) {
    const HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(60, 60, 60));
  const HFONT font =
      CreateFontW(64, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Segoe UI");
  const HGDIOBJ old_font = SelectObject(dc, font);
  DrawTextW(dc, L"Another application, maximized", -1, &page,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  DeleteObject(SelectObject(dc, old_font));
  EndPaint(window, &painting);
  return 0;
}

Window cover_the_screen() {
  static const WNDCLASSEXW look{
      .cbSize = sizeof look, .lpfnWndProc = cover_procedure, .lpszClassName = L"OrvelDemoCover"};
  static const ATOM registered = RegisterClassExW(&look);
  const HWND window = CreateWindowExW(0, MAKEINTATOM(registered), L"", WS_POPUP, 0, 0,
                                      GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                      nullptr, nullptr, nullptr, nullptr);
  if (!window) report_failure("cannot make the covering window: " + std::to_string(GetLastError()));
  ShowWindow(window, SW_SHOWNOACTIVATE);
  announce(window, EVENT_OBJECT_SHOW);
  return Window(window, &DestroyWindow);
}

// The top-level WorkerW that holds the icons: where a click on the desktop lands, and the one
// desktop window that Wine may raise on activation without hiding anything, being cut to its tiles.
HWND icons_window() {
  for (HWND window = FindWindowExW(nullptr, nullptr, L"WorkerW", nullptr); window;
       window = FindWindowExW(nullptr, window, L"WorkerW", nullptr)) {
    if (FindWindowExW(window, nullptr, L"SHELLDLL_DefView", nullptr)) return window;
  }
  return nullptr;
}

HWND attached_host(const std::string& line) {
  long long host = 0;
  std::sscanf(line.c_str(), "{\"event\":\"attached\",\"hwnd\":%lld,", &host);
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(host));
}

bool visible_is(const std::optional<std::string>& line, bool visible) {
  return line &&
         line->find(visible ? "\"visible\":true" : "\"visible\":false") != std::string::npos;
}

// What follows `said` on the example's last line that has it, as it reports it at the end.
std::string reported(const std::string& report, std::string_view said) {
  const std::size_t at = report.rfind(said);
  if (at == std::string::npos) return "unknown";
  const std::size_t from = at + said.size();
  return report.substr(from, report.find_first_of("\r\n", from) - from);
}

bool check(bool holds, const char* what) {
  if (!holds) std::fprintf(stderr, "demo: %s\n", what);
  return holds;
}

// Points of open desktop between and around the icon tiles: just right of and just below each,
// and two far apart.
std::vector<POINT> around_tiles() {
  std::vector<POINT> points{{500, 760}, {1600, 760}};
  for (std::size_t index = 0; index < icon_tiles; ++index) {
    const RECT tile = tile_rect(index);
    points.push_back({tile.right + 12, (tile.top + tile.bottom) / 2});
    points.push_back({(tile.left + tile.right) / 2, tile.bottom + 12});
  }
  return points;
}

// Every colour of the example's gradient has channels far apart (at least half the range), unlike
// the shell's wallpaper, tiles and taskbar and the white of the example's clock and ripples.
bool example_colour(COLORREF colour) {
  const int channels[] = {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
  return std::ranges::max(channels) - std::ranges::min(channels) >= 120;
}

// Whether `holds` is true of the colour at every point around the tiles; says where it is not.
template <class Holds>
bool around_tiles_all(const Screenshot& shot, const Holds& holds) {
  for (const POINT point : around_tiles()) {
    const COLORREF colour = shot.at(point);
    if (holds(point, colour)) continue;
    std::fprintf(stderr, "demo: at %ld,%ld the colour is %d,%d,%d\n", point.x, point.y,
                 GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return false;
  }
  return true;
}

bool host_drawn(const Screenshot& shot, HWND host) {
  RECT place{};
  GetWindowRect(host, &place);
  return around_tiles_all(shot, [&](POINT point, COLORREF colour) {
    return PtInRect(&place, point) && example_colour(colour);
  });
}

bool wallpaper_back(const Screenshot& shot) {
  return around_tiles_all(shot, [](POINT, COLORREF colour) { return colour == wallpaper_colour; });
}

int play(const std::string& directory) {
  std::printf("%s\n", why_draw_through_parent);
  Shell shell(Layout::classic, {.painted = true});
  Process example(L"orvel-host-example.exe", L"--print-lines --draw-through-parent --seconds " +
                                                 std::wstring(example_seconds));
  Lines lines(example);
  Album album(directory, lines);

  album.step("attached", "Attached: the example's window is the wallpaper, behind the icons");
  const std::optional<std::string> attached = lines.await("attached");
  if (!attached || !visible_is(lines.await("visibility"), true)) return 1;
  const HWND host = attached_host(*attached);
  lines.pass(settle_ms);
  const Screenshot live = album.shoot();
  RECT placed{};
  GetWindowRect(host, &placed);
  const bool in_layer = check(GetAncestor(host, GA_PARENT) == shell.layer() && placed.left == 0 &&
                                  placed.top == 0 && placed.right == GetSystemMetrics(SM_CXSCREEN),
                              "the host window is not in the layer, over the whole screen");
  const bool drawn = check(host_drawn(live, host),
                           "attached: the example's drawing does not show around the icon tiles");

  album.step("click", "A click on the desktop: the example draws a ripple where it landed");
  // Only a desktop in the foreground passes the mouse on.
  SetForegroundWindow(icons_window());
  click(click_at);
  if (!lines.await("mousedown") || !lines.await("mouseup")) return 1;
  lines.pass(ripple_ms);
  album.shoot();

  album.step("wheel", "A wheel notch on the desktop: the example turns its colours");
  turn_wheel();
  if (!lines.await("mousewheel")) return 1;
  lines.pass(settle_ms);
  album.shoot();

  album.step("guard",
             "A window dropped above the host inside the layer: the guard puts the host back on "
             "top");
  shell.cover_layer();
  if (!lines.await("reasserted")) return 1;
  lines.pass(settle_ms);
  album.shoot();

  album.step("covered",
             "A window covers the desktop: \"visible\":false, and the example draws nothing until "
             "it has gone");
  {
    const Window cover = cover_the_screen();
    if (!visible_is(lines.await("visibility"), false)) return 1;
    lines.pass(covered_ms);
    album.shoot();
    ShowWindow(cover.get(), SW_HIDE);
    announce(cover.get(), EVENT_OBJECT_HIDE);
    if (!visible_is(lines.await("visibility"), true)) return 1;
  }

  album.step("restart", "The taskbar restarts: the helper attaches the window again");
  shell.restart_taskbar();
  if (!lines.await("explorer-restarted") || !lines.await("attached") || !lines.await("visibility"))
    return 1;
  lines.pass(repaint_ms);
  album.shoot();

  album.step("detached", "Detached: the window is given back, and the static wallpaper is back");
  if (!lines.await("detached")) return 1;
  const std::optional<DWORD> example_exit = example.wait();
  const std::string report = example.errors();
  Sleep(repaint_ms);
  const Screenshot still = album.shoot();

  const std::string cpu =
      "the example's CPU time per second: " + reported(report, "cpu time per second: ");
  std::ofstream(directory + "/summary.txt") << cpu << '\n';
  const bool saved = check(album.close(), "cannot write the pictures");
  const bool pictures_right =
      check(wallpaper_back(still), "detached: the plain wallpaper is not back around the tiles") &&
      check(live.at(on_tile) == still.at(on_tile), "the icon tiles did not stay above");
  const bool ended = check(example_exit == 0u, "the example did not end with 0") &&
                     check(!IsWindow(host), "the host window is still there");
  std::printf("%s\n", cpu.c_str());
  std::printf("events seen: %s; example exit code %s, helper exit code %s\n",
              lines.summary().c_str(),
              example_exit ? std::to_string(*example_exit).c_str() : "none",
              reported(report, "helper exit code ").c_str());
  if (!ended) std::fprintf(stderr, "%s", report.c_str());
  return saved && in_layer && drawn && pictures_right && ended ? 0 : 1;
}

}  // namespace

void orvel::desktop::report_failure(const std::string& what) {
  std::fprintf(stderr, "demo: %s\n", what.c_str());
  ++desktop_failures;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orvel_demo_director <directory for the pictures>\n");
    return 2;
  }
  const int result = play(argv[1]);
  return desktop_failures > 0 ? 1 : result;
}
