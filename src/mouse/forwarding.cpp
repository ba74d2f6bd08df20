#include "mouse/forwarding.h"

#include <array>
#include <limits>

namespace orvel {
namespace {

constexpr std::uint16_t usage_page_generic = 0x01;
constexpr std::uint16_t usage_mouse = 0x02;
constexpr std::int64_t clock_not_fixed = std::numeric_limits<std::int64_t>::min();

std::atomic<std::int64_t> mouse_clock{clock_not_fixed};

// Fixed once for the process, by whichever thread comes first.
std::chrono::microseconds fix_mouse_clock(Platform& os) {
  std::int64_t origin = mouse_clock.load();
  if (origin == clock_not_fixed) {
    const std::int64_t now = os.monotonic_now().count();
    origin = mouse_clock.compare_exchange_strong(origin, now) ? now : origin;
  }
  return std::chrono::microseconds(origin);
}

// The top-level WorkerW that holds the icons; none when they live in Progman itself.
Hwnd find_icons_workerw(Platform& os) {
  const SysResult<Hwnd> progman = os.find_window_a("Progman");
  if (!progman || os.find_window_ex_a(*progman, 0, "SHELLDLL_DefView")) return 0;
  for (SysResult<Hwnd> workerw = os.find_window_ex_a(0, 0, "WorkerW"); workerw;
       workerw = os.find_window_ex_a(0, *workerw, "WorkerW")) {
    if (os.find_window_ex_a(*workerw, 0, "SHELLDLL_DefView")) return *workerw;
  }
  return 0;
}

bool is_desktop_window(Platform& os, Hwnd window) {
  const DesktopWindows& desktop = desktop_windows();
  const Hwnd layer = desktop.mouse_layer.load(std::memory_order_relaxed);
  const Hwnd icons = desktop.icons_workerw.load(std::memory_order_relaxed);
  if ((layer != 0 && window == layer) || (icons != 0 && window == icons)) return true;
  // Looked up at every test, so a new shell's Progman counts at once.
  const SysResult<Hwnd> progman = os.find_window_a("Progman");
  return progman && window == *progman;
}

}  // namespace

DesktopWindows& desktop_windows() {
  static DesktopWindows windows;
  return windows;
}

// Everything before the registration runs at every call, so the desktop windows stay current even
// when a later step fails. Neither the registration nor the timer is ever undone.
Result<void> start_mouse_forwarding(Platform& os, Hwnd message_window, Hwnd workerw) {
  static_cast<void>(
      os.set_thread_dpi_awareness_context(win::dpi_awareness_context_per_monitor_aware_v2));
  fix_mouse_clock(os);
  DesktopWindows& desktop = desktop_windows();
  desktop.mouse_layer.store(workerw, std::memory_order_relaxed);
  desktop.icons_workerw.store(find_icons_workerw(os), std::memory_order_relaxed);

  const std::array devices = {RawInputDevice{.usage_page = usage_page_generic,
                                             .usage = usage_mouse,
                                             .flags = win::ridev_inputsink,
                                             .target = message_window}};
  if (const SysResult<void> registered = os.register_raw_input_devices(devices); !registered) {
    return fail("RegisterRawInputDevices failed: " + system_error_text(os, registered.error()));
  }
  if (!os.set_timer(message_window, mouse_timer_id, mouse_timer_period_ms)) {
    return fail("SetTimer(mouse move) failed");
  }
  return {};
}

bool desktop_is_foreground(Platform& os) {
  const std::optional<Hwnd> foreground = os.get_foreground_window();
  return foreground && is_desktop_window(os, *foreground);
}

bool cursor_over_desktop(Platform& os, Point point) {
  const std::optional<Hwnd> under = os.window_from_point(point);
  if (!under) return false;
  const std::optional<Hwnd> top_level = os.get_ancestor(*under, win::ga_root);
  return top_level && is_desktop_window(os, *top_level);
}

void reset_mouse_forwarding() {
  mouse_clock = clock_not_fixed;
  desktop_windows().mouse_layer = 0;
  desktop_windows().icons_workerw = 0;
}

std::uint64_t mouse_clock_micros(Platform& os) {
  const std::chrono::microseconds origin = fix_mouse_clock(os);
  const std::chrono::microseconds now = os.monotonic_now();
  return now > origin ? static_cast<std::uint64_t>((now - origin).count()) : 0;
}

}  // namespace orvel
