// The session that `scripts/run` plays when given no arguments, on a display of its own:
//
//   orvel_demo_director.exe <directory>
//
// It brings up a painted stand-in shell and the example application, which shows its window as the
// wallpaper through the helper, and echoes the helper's lines as they come. Then it does what a
// person and a shell would: a click and a wheel notch on the desktop, a window dropped above the
// host window, a taskbar restart; the example gives the window back when its time is up. The
// screen is saved as <directory>/attached.bmp while the host window is the wallpaper and as
// <directory>/detached.bmp once it has gone. Last comes a one-line summary; the exit code is 0
// when every step went as expected.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "wine_desktop/desktop.h"

namespace {

using namespace orvel::desktop;

int desktop_failures = 0;

// Long enough for a heartbeat and every step, with time to spare on a cold Wine.
constexpr wchar_t example_seconds[] = L"7";
// Open desktop, away from the icon tiles and the clock in the middle.
constexpr POINT click_at{1250, 380};
// The ripple grows for 900 ms from the press: a picture this long after it shows it well.
constexpr DWORD ripple_ms = 300;
// What a window needs to paint itself once what covered it has gone.
constexpr DWORD repaint_ms = 500;
// Inside the first icon tile, and two points of open desktop far apart.
constexpr POINT on_tile{30, 30};
constexpr POINT open_left{500, 760};
constexpr POINT open_right{1600, 760};

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

void click(POINT at) {
  INPUT steps[] = {mouse_input(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at),
                   mouse_input(MOUSEEVENTF_LEFTDOWN), mouse_input(MOUSEEVENTF_LEFTUP)};
  SendInput(static_cast<UINT>(std::size(steps)), steps, sizeof(INPUT));
}

void turn_wheel() {
  INPUT step = mouse_input(MOUSEEVENTF_WHEEL, {}, WHEEL_DELTA);
  SendInput(1, &step, sizeof(INPUT));
}

// The event of a line; empty for a line that is not an event.
std::string event_name(std::string_view line) {
  const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
  return event.is_object() ? event.value("event", "") : "";
}

// The example's standard output, the helper's lines, echoed as they come and counted by event.
class Lines {
 public:
  explicit Lines(Process& example) : example_(example) {}

  // Takes lines until one of event `name` comes; that line, or none if it did not come in time.
  std::optional<std::string> await(std::string_view name) {
    while (std::optional<std::string> line = take(15'000)) {
      if (event_name(*line) == name) return line;
    }
    std::fprintf(stderr, "demo: no \"%.*s\" event came\n", static_cast<int>(name.size()),
                 name.data());
    return std::nullopt;
  }
  // Takes whatever comes for `ms`.
  void pass(DWORD ms) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
      take(static_cast<DWORD>(deadline - now));
    }
  }
  std::string summary() const {
    std::string text;
    for (const auto& [name, count] : seen_) {
      text += (text.empty() ? "" : ", ") + name + " " + std::to_string(count);
    }
    return text;
  }

 private:
  std::optional<std::string> take(DWORD timeout_ms) {
    std::optional<std::string> line = example_.read_line(timeout_ms);
    if (!line) return line;
    std::printf("%s\n", line->c_str());
    std::fflush(stdout);
    const std::string name = event_name(*line);
    auto known = seen_.begin();
    while (known != seen_.end() && known->first != name) ++known;
    if (known == seen_.end()) {
      seen_.emplace_back(name, 1);
    } else {
      ++known->second;
    }
    return line;
  }

  Process& example_;
  std::vector<std::pair<std::string, int>> seen_;  // in the order first seen
};

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

// The helper's exit code, as the example reports it last.
std::string helper_exit_code(const std::string& report) {
  constexpr std::string_view said = "helper exit code ";
  const std::size_t at = report.rfind(said);
  if (at == std::string::npos) return "unknown";
  const std::size_t from = at + said.size();
  return report.substr(from, report.find_first_of("\r\n", from) - from);
}

bool check(bool holds, const char* what) {
  if (!holds) std::fprintf(stderr, "demo: %s\n", what);
  return holds;
}

int play(const std::string& directory) {
  Shell shell(Layout::classic, {.painted = true});
  Process example(L"orvel-host-example.exe",
                  L"--print-lines --seconds " + std::wstring(example_seconds));
  Lines lines(example);
  const std::optional<std::string> attached = lines.await("attached");
  if (!attached) return 1;
  const HWND host = attached_host(*attached);

  // Only a desktop in the foreground passes the mouse on.
  SetForegroundWindow(icons_window());
  click(click_at);
  if (!lines.await("mousedown") || !lines.await("mouseup")) return 1;
  lines.pass(ripple_ms);
  const Screenshot live = take_screenshot();
  RECT placed{};
  GetWindowRect(host, &placed);
  const bool in_layer = check(GetAncestor(host, GA_PARENT) == shell.layer() && placed.left == 0 &&
                                  placed.top == 0 && placed.right == GetSystemMetrics(SM_CXSCREEN),
                              "the host window is not in the layer, over the whole screen");
  turn_wheel();
  if (!lines.await("mousewheel")) return 1;

  shell.cover_layer();
  if (!lines.await("reasserted")) return 1;
  shell.restart_taskbar();
  if (!lines.await("explorer-restarted") || !lines.await("attached")) return 1;
  if (!lines.await("detached")) return 1;
  const std::optional<DWORD> example_exit = example.wait();
  const std::string report = example.errors();
  Sleep(repaint_ms);
  const Screenshot still = take_screenshot();

  const bool saved =
      check(save(live, directory + "/attached.bmp") && save(still, directory + "/detached.bmp"),
            "cannot write the pictures");
  // After the session the one wallpaper colour is back, and the tiles stayed above throughout.
  const bool pictures_right =
      check(still.at(open_left) == still.at(open_right), "no plain wallpaper after detaching") &&
      check(live.at(on_tile) == still.at(on_tile), "the icon tiles did not stay above");
  // Windows shows the host window's drawing around the tiles. Wine 8 does not draw a window that
  // lives inside another program's window, so there the layer stays plain: say so, not fail.
  if (live.at(open_left) == live.at(open_right)) {
    std::fprintf(stderr,
                 "demo: note: this Wine does not draw a window inside another program's window; "
                 "the host window is in place behind the icons, but its drawing does not show\n");
  }
  const bool ended = check(example_exit == 0u, "the example did not end with 0") &&
                     check(!IsWindow(host), "the host window is still there");
  std::printf("events seen: %s; example exit code %s, helper exit code %s\n",
              lines.summary().c_str(),
              example_exit ? std::to_string(*example_exit).c_str() : "none",
              helper_exit_code(report).c_str());
  if (!ended) std::fprintf(stderr, "%s", report.c_str());
  return saved && in_layer && pictures_right && ended ? 0 : 1;
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
