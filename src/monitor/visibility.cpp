#include "monitor/visibility.h"

#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

#include "events/event.h"
#include "monitor/decisions.h"
#include "monitor/state.h"

namespace orvel {
namespace {

// The report's values; only the monitor's thread touches them, but for `unknown`.
struct VisibilityValues {
  std::atomic<bool> unknown{true};  // the next answer is written whatever the last one was
  bool stale = false;               // the timer is armed
  bool display_on = true;
  VisibilityReport report;
  std::vector<Rect> covers;
  CoverScratch scratch;
};
VisibilityValues& visibility() {
  static VisibilityValues values;
  return values;
}

constexpr std::uint32_t display_off = 0;

bool is_desktop_class(std::u16string_view name) {
  return name == u"Progman" || name == u"WorkerW";
}

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

// The rectangles of the top-level windows above the desktop's own windows, from the top of the
// z-order down to the first visible Progman, WorkerW or the layer itself.
void gather_covers(Platform& os, Hwnd layer, std::vector<Rect>& covers) {
  covers.clear();
  os.enum_windows([&](Hwnd window) {
    if (!os.is_window_visible(window)) return true;
    if (window == layer || is_desktop_class(os.get_class_name_w(window, 16).value_or(u""))) {
      return false;
    }
    const bool cloaked = dwm_attribute<std::uint32_t>(os, window, win::dwmwa_cloaked).value_or(0);
    const auto ex_style = os.get_window_long_ptr_w(window, win::gwl_exstyle).value_or(0);
    if (!window_hides(os.is_iconic(window), cloaked, static_cast<std::uint32_t>(ex_style))) {
      return true;
    }
    if (const std::optional<Rect> frame = frame_of(os, window)) covers.push_back(*frame);
    return true;
  });
}

// A lock screen or a secure prompt takes the input to a desktop of its own, which this process
// may not even open.
bool input_desktop_is_own(Platform& os) {
  const SysResult<Handle> desktop = os.open_input_desktop(0, false, win::desktop_readobjects);
  if (!desktop) return false;
  const SysResult<std::u16string> name = os.get_user_object_information_w(*desktop, win::uoi_name);
  static_cast<void>(os.close_desktop(*desktop));
  return name && *name == u"Default";
}

}  // namespace

// The notification ends with the message window, as the hooks do.
void start_visibility_report(Platform& os, Hwnd message_window) {
  static_cast<void>(os.register_power_setting_notification(
      message_window, win::guid_console_display_state, win::device_notify_window_handle));
}

void mark_visibility_stale(Platform& os) {
  VisibilityValues& values = visibility();
  if (std::exchange(values.stale, true)) return;
  if (!os.set_timer(message_window(), visibility_timer_id, visibility_delay_ms)) {
    values.stale = false;
  }
}

void on_visibility_timer(Platform& os) {
  static_cast<void>(os.kill_timer(message_window(), visibility_timer_id));
  visibility().stale = false;
  report_visibility_now(os);
}

void report_visibility_now(Platform& os) {
  VisibilityValues& values = visibility();
  if (monitor_values().closing) return;
  const auto watched = with_monitor_state([](const std::optional<MonitorState>& state) {
    return state ? std::optional(std::pair(state->host, state->workerw)) : std::nullopt;
  });
  if (!watched) return;
  const auto [host, layer] = *watched;
  const SysResult<MonitorInfo> info =
      os.get_monitor_info_w(os.monitor_from_window(host, win::monitor_defaulttonearest));
  if (!info) return;
  gather_covers(os, layer, values.covers);
  const bool visible = monitor_visible({.display_on = values.display_on,
                                        .own_desktop = input_desktop_is_own(os),
                                        .monitor = info->monitor},
                                       values.covers, values.scratch);
  if (values.unknown.exchange(false)) values.report.forget();
  if (values.report.changed(visible)) {
    emit_event(os, Event::Visibility{.hwnd = host, .visible = visible});
  }
}

void visibility_after_attach(Platform& os) {
  visibility().unknown = true;
  static_cast<void>(os.post_message_w(message_window(), wm_visibility_afresh, 0, 0));
}

// The system hands over a POWERBROADCAST_SETTING: the setting's GUID and data length, then the
// data, whose first byte for the console display is 0 (off), 1 (on) or 2 (dimmed, still seen).
void on_power_setting(Platform& os, std::int64_t setting) {
  if (setting == 0) return;
  const auto* bytes = reinterpret_cast<const std::byte*>(static_cast<std::intptr_t>(setting));
  PowerSettingHeader header;
  std::memcpy(&header, bytes, sizeof(header));
  if (header.setting != win::guid_console_display_state || header.data_length == 0) return;
  std::uint8_t state = 0;
  std::memcpy(&state, bytes + sizeof(header), 1);
  visibility().display_on = state != display_off;
  mark_visibility_stale(os);
}

}  // namespace orvel
