#include <utility>

#include "attach/attach.h"
#include "attach/placement.h"
#include "events/event.h"
#include "monitor/decisions.h"
#include "monitor/monitor.h"
#include "monitor/state.h"
#include "monitor/visibility.h"
#include "mouse/forwarding.h"
#include "mouse/translate.h"

namespace orvel {
namespace {

void report(Platform& os, HelperError error) {
  emit_event(os, Event::from(std::move(error)));
}

// The loop ends once the window is gone; a window that will not go still ends it, so that a
// closed monitor never runs on.
void end_message_loop(Platform& os, Hwnd window) {
  if (!os.destroy_window(window)) os.post_quit_message(0);
}

void on_heartbeat(Platform& os) {
  emit_event(os, Event::Heartbeat{});
  if (read_monitor_state(&MonitorState::zguard).value_or(false)) guard_zorder(os);
}

// The shell tells every top-level window "TaskbarCreated" when it has made its taskbar.
void on_taskbar_created(Platform& os) {
  const std::uint32_t current = taskbar_process_id(os);
  const std::optional<std::uint32_t> previous =
      with_monitor_state([current](std::optional<MonitorState>& state) {
        return state ? std::optional(std::exchange(state->explorer_pid, current)) : std::nullopt;
      });
  if (!previous || !shell_restarted(*previous, current)) return;
  emit_event(os, Event::ExplorerRestarted{});
  start_reattach_worker(os);
}

// The first close gives the host window back and repaints; any later one only ends the loop. A
// re-attach worker part-way through changing the host window is let finish first, so that the
// window given back stays given back.
void on_close(Platform& os, Hwnd window) {
  MonitorValues& values = monitor_values();
  if (values.closing.exchange(true)) {
    end_message_loop(os, window);
    return;
  }
  static_cast<void>(await_worker_end(values.reattach, [&os] { os.sleep(close_wait_pause); }));
  if (const std::optional<Hwnd> host = read_monitor_state(&MonitorState::host)) {
    if (Result<void> detached = detach_host(os, *host); detached) {
      emit_event(os, Event::Detached{.hwnd = *host});
    } else {
      report(os, std::move(detached.error()));
    }
  }
  if (const std::optional<Hwnd> workerw = read_monitor_state(&MonitorState::workerw)) {
    if (os.is_window(*workerw)) {
      os.invalidate_rect(*workerw, true);
      os.update_window(*workerw);
    }
  }
  if (Result<void> refreshed = refresh_wallpaper(os); !refreshed) {
    report(os, std::move(refreshed.error()));
  }
  end_message_loop(os, window);
}

// The displays changed: a burst of such messages (a monitor plugged in gives several) ends in one
// refit, once the timer lapses after the last of them.
void on_display_change(Platform& os) {
  MonitorValues& values = monitor_values();
  if (values.report_visibility) mark_visibility_stale(os);
  if (values.follow_display) {
    static_cast<void>(os.set_timer(message_window(), display_timer_id, display_settle_ms));
  }
}

// Fits the host window to the monitor it is on now, as `move` does.
void on_display_timer(Platform& os) {
  static_cast<void>(os.kill_timer(message_window(), display_timer_id));
  const std::optional<Hwnd> host = read_monitor_state(&MonitorState::host);
  if (!host || monitor_values().closing || !os.is_window(*host)) return;
  if (Result<void> fitted = fit_host_to_monitor(
          os, *host, os.monitor_from_window(*host, win::monitor_defaulttonearest));
      !fitted) {
    report(os, std::move(fitted.error()));
    return;
  }
  emit_event(os, Event::Moved{.hwnd = *host});
}

}  // namespace

std::int64_t monitor_window_proc(Platform& os, Hwnd window, std::uint32_t message,
                                 std::uint64_t wparam, std::int64_t lparam) noexcept {
  // WM_NULL comes first, so a "TaskbarCreated" id of 0 (not registered) matches nothing.
  if (message == win::wm_null) {
  } else if (message == win::wm_timer) {
    if (wparam == heartbeat_timer_id) on_heartbeat(os);
    if (wparam == mouse_timer_id) flush_mouse_move(os);
    if (wparam == visibility_timer_id) on_visibility_timer(os);
    if (wparam == display_timer_id) on_display_timer(os);
  } else if (message == win::wm_input) {
    on_raw_input(os, lparam);
  } else if (message == monitor_values().taskbar_created) {
    on_taskbar_created(os);
  } else if (message == win::wm_destroy) {
    os.post_quit_message(0);
  } else if (message == win::wm_close) {
    on_close(os, window);
    return 0;
  } else if (message == wm_visibility_afresh) {
    report_visibility_now(os);
  } else if (display_changed(message, wparam)) {
    on_display_change(os);
  } else if (message == win::wm_powerbroadcast && wparam == win::pbt_powersettingchange) {
    on_power_setting(os, lparam);
  }
  return os.def_window_proc_a(window, message, wparam, lparam);
}

}  // namespace orvel
