#include "monitor/decisions.h"

#include <algorithm>
#include <iterator>

namespace orvel {

ShellInterest shell_interest(std::uint32_t event, std::int32_t object_id, bool reports_visibility) {
  // A desktop switch concerns no window in particular, so its object is not looked at.
  if (object_id != win::objid_window && event != win::event_system_desktopswitch) return {};
  return {.visibility = reports_visibility &&
                        std::ranges::find(visibility_events, event) != std::end(visibility_events),
          .layer = event == win::event_object_destroy || event == win::event_object_reorder};
}

ShellReaction react_to_shell_event(std::uint32_t event, Hwnd window, const Watched& watched) {
  if (event == win::event_object_reorder) {
    return watched.zguard ? ShellReaction::guard : ShellReaction::none;
  }
  if (event == win::event_object_destroy && (window == watched.host || window == watched.workerw)) {
    return ShellReaction::layer_destroyed;
  }
  return ShellReaction::none;
}

bool input_desktop_is_own(const std::optional<std::u16string>& input,
                          const std::optional<std::u16string>& own) {
  return input && own && *input == *own;
}

bool window_visible(const VisibilityFacts& facts, std::span<const Rect> monitors,
                    std::span<const Rect> covers, CoverScratch& scratch) {
  if (!facts.display_on || !facts.own_desktop) return false;
  return std::ranges::any_of(monitors, [&](const Rect& monitor) {
    const Rect part = intersection(facts.window, monitor);
    return !is_empty(part) && !rect_covered(part, covers, scratch);
  });
}

bool host_covered(const Rect& host, std::span<const Rect> above) {
  return std::ranges::any_of(
      above, [&](const Rect& window) { return !is_empty(intersection(host, window)); });
}

bool display_changed(std::uint32_t message, std::uint64_t wparam) {
  return message == win::wm_displaychange || message == win::wm_dpichanged ||
         (message == win::wm_settingchange && wparam == win::spi_setworkarea) ||
         (message == win::wm_powerbroadcast && wparam == win::pbt_apmresumeautomatic);
}

std::optional<bool> display_on_in(const PowerSettingHeader& header, std::byte first) {
  if (header.setting != win::guid_console_display_state || header.data_length == 0) {
    return std::nullopt;
  }
  return first != std::byte{0};
}

bool dispatches_queued(const Message& message) {
  if (message.message == win::wm_powerbroadcast && message.wparam == win::pbt_powersettingchange) {
    return false;
  }
  return message.message != win::wm_timer || message.lparam == 0;
}

bool reassert_due(std::optional<std::chrono::microseconds> last, std::chrono::microseconds now) {
  if (!last) return true;
  return (now > *last ? now - *last : std::chrono::microseconds{0}) >= reassert_spacing;
}

bool WorkerGate::claim() {
  int state = state_.load();
  for (;;) {
    if (state == again) return false;
    if (state_.compare_exchange_weak(state, state == idle ? once : again)) return state == idle;
  }
}

bool WorkerGate::finish() {
  int state = state_.load();
  while (!state_.compare_exchange_weak(state, state == again ? once : idle)) {
  }
  return state == again;
}

}  // namespace orvel
