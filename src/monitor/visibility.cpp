#include "monitor/visibility.h"

#include <array>

#include "attach/placement.h"
#include "events/event.h"

namespace orvel {
namespace {

template <class T>
std::optional<T> dwm_attribute(Platform& os, Hwnd window, std::uint32_t attribute) {
  T value{};
  if (!os.dwm_get_window_attribute(window, attribute,
                                   std::as_writable_bytes(std::span(&value, 1)))) {
    return std::nullopt;
  }
  return value;
}

// The visible frame where the system gives it, the window's rectangle otherwise.
std::optional<Rect> frame_of(Platform& os, Hwnd window) {
  if (const auto frame = dwm_attribute<Rect>(os, window, win::dwmwa_extended_frame_bounds)) {
    return frame;
  }
  const SysResult<Rect> rect = os.get_window_rect(window);
  return rect ? std::optional(*rect) : std::nullopt;
}

// The rectangles of the top-level windows above the desktop, from the top of the z-order down to
// the first of the shell's own windows that discovery found.
void gather_covers(Platform& os, const DesktopWindows& desktop, std::vector<Rect>& covers) {
  covers.clear();
  os.enum_windows([&](Hwnd window) {
    if (is_desktop_window(window, desktop)) return false;
    if (!os.is_window_visible(window)) return true;
    const bool cloaked = dwm_attribute<std::uint32_t>(os, window, win::dwmwa_cloaked).value_or(0);
    const auto ex_style = os.get_window_long_ptr_w(window, win::gwl_exstyle).value_or(0);
    if (!window_hides(os.is_iconic(window), cloaked, static_cast<std::uint32_t>(ex_style))) {
      return true;
    }
    if (const std::optional<Rect> frame = frame_of(os, window)) covers.push_back(*frame);
    return true;
  });
}

std::optional<std::u16string> desktop_name(Platform& os, Hdesk desktop) {
  const SysResult<std::u16string> name = os.get_user_object_information_w(desktop, win::uoi_name);
  return name ? std::optional(*name) : std::nullopt;
}

}  // namespace

// The notification goes with the watch, before the close begins its work.
VisibilityWatch::VisibilityWatch(Platform& os, Hwnd message_window, std::uint64_t timer,
                                 Trace& trace)
    : os_(os), message_window_(message_window), timer_(timer), trace_(trace) {
  if (const SysResult<PowerNotification> registered = os.register_power_setting_notification(
          message_window, win::guid_console_display_state, win::device_notify_window_handle)) {
    display_notification_ = OwnedPowerNotification(os, *registered);
  }
  if (const SysResult<Hdesk> own = os.get_thread_desktop()) own_desktop_ = desktop_name(os, *own);
}

void VisibilityWatch::mark_stale() {
  if (std::exchange(stale_, true)) return;
  if (!os_.set_timer(message_window_, timer_, visibility_delay_ms)) stale_ = false;
}

void VisibilityWatch::on_timer(Hwnd host, const DesktopWindows& desktop) {
  static_cast<void>(os_.kill_timer(message_window_, timer_));
  stale_ = false;
  report(host, desktop);
}

void VisibilityWatch::report(Hwnd host, const DesktopWindows& desktop, bool afresh) {
  const SysResult<Rect> window = os_.get_window_rect(host);
  if (!window) return;
  monitors_.clear();
  for (const MonitorArea& monitor : list_monitors(os_)) monitors_.push_back(monitor.area);
  gather_covers(os_, desktop, covers_);
  // The shell hides its layer at times (the desktop's icons hidden, on some layouts), and the
  // application its window.
  if (afresh) show_on_its_way_ = true;
  const bool window_shown = os_.is_window_visible(host);
  if (window_shown) show_on_its_way_ = false;
  // The layer is asked only when the answer depends on it.
  const bool layer_shown = show_on_its_way_ && os_.is_window_visible(desktop.layer);
  const bool shown = host_shown(window_shown, show_on_its_way_, layer_shown);
  const bool visible = window_visible({.display_on = display_on_,
                                       .own_desktop = input_desktop_is_own(),
                                       .shown = shown,
                                       .window = *window},
                                      monitors_, covers_, scratch_);
  if (afresh) report_.forget();
  const bool written = report_.changed(visible);
  trace_.note("visibility", [&](JsonWriter& json) {
    json.boolean("visible", visible)
        .boolean("shown", shown)
        .number("covers", static_cast<std::int64_t>(covers_.size()))
        .boolean("written", written);
  });
  if (written) emit_event(os_, Event::Visibility{.hwnd = host, .visible = visible});
}

void VisibilityWatch::on_hidden(Hwnd window, Hwnd host) {
  if (window == host) show_on_its_way_ = false;
}

// A lock screen or a secure prompt takes the input to a desktop of its own, which this process
// may not even open.
bool VisibilityWatch::input_desktop_is_own() {
  const SysResult<Hdesk> input = os_.open_input_desktop(0, false, win::desktop_readobjects);
  if (!input) return false;
  const OwnedDesktop owned(os_, *input);
  return orvel::input_desktop_is_own(desktop_name(os_, owned.get()), own_desktop_);
}

void VisibilityWatch::on_power_setting(const PowerSetting& setting) {
  if (!display_notification_) return;
  const std::optional<bool> on = display_on_in(setting);
  if (!on) return;
  display_on_ = *on;
  mark_stale();
}

}  // namespace orvel
