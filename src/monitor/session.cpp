#include "monitor/session.h"

#include <string>
#include <utility>

#include "attach/attach.h"
#include "attach/placement.h"
#include "cli/exit_codes.h"
#include "control/stdin_reader.h"
#include "platform/text.h"

namespace orvel {
namespace {

constexpr std::string_view window_class_name = "OrvelWallpaperHelperWindow";
constexpr std::string_view window_name = "OrvelWallpaperHelper";
constexpr std::u16string_view taskbar_created_name = u"TaskbarCreated";
constexpr std::uint32_t hook_flags = win::winevent_outofcontext | win::winevent_skipownprocess;

}  // namespace

std::uint32_t taskbar_process_id(Platform& os) {
  const SysResult<Hwnd> taskbar = os.find_window_a("Shell_TrayWnd");
  if (!taskbar) return 0;
  const SysResult<WindowOwner> owner = os.get_window_thread_process_id(*taskbar);
  return owner ? owner->process_id : 0;
}

AttachSession::AttachSession(Platform& os, const Command& command)
    : os_(os), command_(command), host_(command.hwnd.value_or(0)) {}

// Every way out of `run` has closed in order or failed in order: the window goes with no second
// close.
AttachSession::~AttachSession() {
  os_.set_failure_observer(nullptr);
  if (shared_) static_cast<void>(shared_->begin_close());
}

// The file named by --trace, or by ORVEL_TRACE; none, and the trace is off.
std::shared_ptr<Trace> AttachSession::open_trace() {
  std::u16string path;
  if (command_.trace) {
    path = utf16_from_utf8(*command_.trace);
  } else if (const SysResult<std::u16string> named =
                 os_.get_environment_variable_w(u"ORVEL_TRACE")) {
    path = *named;
  }
  if (path.empty()) return std::make_shared<Trace>();
  auto trace = std::make_shared<Trace>(os_, path);
  if (trace->on()) os_.set_failure_observer(trace.get());
  return trace;
}

void note_layer(Trace& trace, std::string_view what, Hwnd host, const DesktopLayer& layer,
                const std::optional<Rect>& area, const Home& home) {
  trace.note(what, [&](JsonWriter& json) {
    json.number("hwnd", host)
        .number("layer", layer.window)
        .text("mode", attach_mode_text(layer.mode))
        .text("reason", layer_reason_text(layer.reason))
        .text("home", home.span ? "all monitors" : home.device);
    if (area) write_rect(json, "area", *area);
  });
}

int AttachSession::run() {
  trace_ = open_trace();
  const SysResult<Hmodule> module = os_.get_module_handle_w(nullptr);
  if (!module) return fail_start(call_failed(os_, module.error()));
  // A class that could not be registered shows as the window that cannot be created.
  static_cast<void>(os_.register_class_a(window_class_name, *module));
  if (const SysResult<std::uint32_t> id = os_.register_window_message_w(taskbar_created_name)) {
    taskbar_created_ = *id;
  }
  const SysResult<Hwnd> window = os_.create_window_ex_a({.class_name = window_class_name,
                                                         .window_name = window_name,
                                                         .instance = *module,
                                                         .handler = this});
  if (!window) return fail_start(call_failed(os_, window.error(), "message window creation"));
  window_ = OwnedWindow(os_, *window);

  const Home home = initial_home(os_, host_, command_.span);
  const Result<LayerFound> found = find_host_layer(os_, host_, home_area(home, list_monitors(os_)));
  if (!found) return fail_start(found.error());
  const Result<AttachedHost> attached = attach_host_to(os_, host_, *found);
  if (!attached) return fail_start(attached.error());
  const DesktopLayer& layer = attached->layer;
  note_layer(*trace_, "attached", host_, layer, found->area, home);
  shared_ = std::make_shared<SharedState>(
      MonitorState{.host = host_,
                   .workerw = layer.window,
                   .explorer_pid = taskbar_process_id(os_),
                   .zguard = command_.zguard,
                   .home = home,
                   .fitted = attached->placement
                                 ? std::optional(fit_record(os_, *attached->placement))
                                 : std::nullopt},
      *window, trace_);
  if (std::optional<HelperError> failed = start_watching(layer.window)) {
    return fail_start(std::move(*failed));
  }

  emit_event(os_, Event::Attached{.hwnd = host_, .workerw = layer.window, .mode = layer.mode});
  if (visibility_) visibility_->report(host_, desktop_, true);
  // Without its reader nothing could end the monitor in order: it closes at once.
  if (!start_stdin_reader(os_, *window)) {
    static_cast<void>(os_.write_stderr("failed to spawn thread\n"));
    on_close();
    return exit_no_reader;
  }
  run_message_loop();
  return exit_success;
}

std::optional<HelperError> AttachSession::hook(std::uint32_t event, std::string_view name) {
  const SysResult<Hhook> hooked = os_.set_win_event_hook(event, event, *this, hook_flags);
  if (!hooked) return call_failed(os_, hooked.error(), name);
  hooks_.emplace_back(os_, *hooked);
  return std::nullopt;
}

std::optional<HelperError> AttachSession::start_watching(Hwnd layer) {
  if (auto failed = hook(win::event_object_destroy, "SetWinEventHook(EVENT_OBJECT_DESTROY)")) {
    return failed;
  }
  if (auto failed = hook(win::event_object_reorder, "SetWinEventHook(EVENT_OBJECT_REORDER)")) {
    return failed;
  }
  if (command_.report_visibility || command_.forward_mouse) {
    desktop_ = find_desktop_windows(os_, layer);
  }
  if (command_.report_visibility) {
    for (const std::uint32_t event : visibility_events) {
      // The destruction and reordering of windows are hooked already.
      if (event == win::event_object_destroy || event == win::event_object_reorder) continue;
      if (auto failed = hook(event, "SetWinEventHook(visibility events)")) return failed;
    }
    visibility_.emplace(os_, shared_->message_window, *trace_);
  }
  if (const SysResult<std::uint64_t> timer =
          os_.set_timer(shared_->message_window, heartbeat_timer_id, heartbeat_period_ms);
      !timer) {
    return call_failed(os_, timer.error());
  }
  if (command_.forward_mouse) {
    if (const Result<void> started = mouse_.emplace(os_, desktop_).start(shared_->message_window);
        !started) {
      return HelperError{.message = "mouse forwarding unavailable: " + started.error().message};
    }
  }
  return std::nullopt;
}

// A start that fails once the host window is in the layer gives it back first: the main process
// reads exit code 1 as "not attached".
int AttachSession::fail_start(HelperError error) {
  if (shared_) {
    static_cast<void>(shared_->begin_close());
    hooks_.clear();
    visibility_.reset();
    static_cast<void>(detach_host(os_, host_));
  }
  emit_error(os_, std::move(error));
  return exit_failure;
}

// Until GetMessageW fails the loop dispatches; a queue that can no longer be read closes the
// monitor in order, as WM_CLOSE would, rather than ending with the host window still attached.
// The loop ends only on the WM_QUIT of the close: one posted by anyone else is a close too.
void AttachSession::run_message_loop() {
  Message message;
  for (;;) {
    const SysResult<bool> got = os_.get_message_w(message);
    if (!got) {
      on_close();
      return;
    }
    if (!*got) {
      if (shared_->closing()) return;
      on_close();
      continue;
    }
    if (!dispatches_queued(message)) continue;
    os_.translate_message(message);
    os_.dispatch_message_w(message);
  }
}

std::int64_t AttachSession::on_message(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                       std::int64_t lparam) noexcept {
  // WM_NULL comes first, so that nothing else is ever taken for it.
  if (message == win::wm_null) {
  } else if (message == win::wm_timer) {
    on_timer(wparam);
  } else if (message == win::wm_input) {
    if (mouse_) mouse_->on_raw_input(lparam);
  } else if (message == taskbar_created_) {
    on_taskbar_created();
  } else if (message == win::wm_destroy) {
    // The close destroys the window; a WM_DESTROY before it began comes from elsewhere, and is a
    // close.
    if (shared_ && !shared_->closing()) {
      on_close();
    } else {
      os_.post_quit_message(0);
    }
  } else if (message == win::wm_close) {
    on_close();
    return 0;
  } else if (message == wm_layer_changed) {
    on_layer_changed();
  } else if (display_changed(message, wparam)) {
    on_display_change();
  } else if (message == win::wm_powerbroadcast && wparam == win::pbt_powersettingchange) {
    on_power_setting(lparam);
  }
  return os_.def_window_proc_a(window, message, wparam, lparam);
}

// Each timer acts only while what it serves is on: a timer message can be posted by anyone.
void AttachSession::on_timer(std::uint64_t id) {
  if (!shared_ || shared_->closing()) return;
  if (id == heartbeat_timer_id) on_heartbeat();
  if (id == mouse_timer_id && mouse_) mouse_->on_tick();
  if (id == visibility_timer_id && visibility_) {
    visibility_->on_timer(host_, desktop_);
  }
  if (id == display_timer_id && command_.follow_display) on_display_timer();
}

void AttachSession::on_heartbeat() {
  emit_event(os_, Event::Heartbeat{});
  if (command_.zguard) guard_zorder();
}

// The shell tells every top-level window "TaskbarCreated" when it has made its taskbar.
void AttachSession::on_taskbar_created() {
  if (!shared_ || shared_->closing()) return;
  const std::uint32_t current = taskbar_process_id(os_);
  const std::uint32_t previous = shared_->with_state(
      [current](MonitorState& state) { return std::exchange(state.explorer_pid, current); });
  if (!shell_restarted(previous, current)) return;
  emit_event(os_, Event::ExplorerRestarted{});
  start_reattach_worker(os_, shared_);
}

// The first close gives the host window back and repaints; any later one only ends the loop. The
// hooks and the display notification go first, so that nothing lands while the close runs. A
// re-attach worker part-way through changing the host window is let finish first, so that the
// window given back stays given back.
void AttachSession::on_close() {
  if (!shared_ || shared_->begin_close()) {
    end_message_loop();
    return;
  }
  hooks_.clear();
  visibility_.reset();
  static_cast<void>(await_worker_end(shared_->reattach, [this] { os_.sleep(close_wait_pause); }));
  const Hwnd host = shared_->read(&MonitorState::host);
  if (Result<void> detached = detach_host(os_, host); detached) {
    emit_event(os_, Event::Detached{.hwnd = host});
  } else {
    emit_error(os_, std::move(detached.error()));
  }
  if (const Hwnd layer = shared_->read(&MonitorState::workerw); os_.is_window(layer)) {
    static_cast<void>(os_.invalidate_rect(layer, true));
    static_cast<void>(os_.update_window(layer));
  }
  if (Result<void> refreshed = refresh_wallpaper(os_); !refreshed) {
    emit_error(os_, std::move(refreshed.error()));
  }
  end_message_loop();
}

// The loop ends once the window is gone; a window that will not go still ends it, so that a
// closed monitor never runs on.
void AttachSession::end_message_loop() {
  if (!window_.reset()) os_.post_quit_message(0);
}

// The worker attached the host window to a new layer: the desktop's windows, the visibility
// answer and the mouse's hit tests follow it here, on the thread of the message window.
void AttachSession::on_layer_changed() {
  if (!shared_ || !shared_->layer_changed.exchange(false) || shared_->closing()) return;
  follow_layer(shared_->read(&MonitorState::workerw));
}

void AttachSession::follow_layer(Hwnd layer) {
  if (!mouse_ && !visibility_) return;
  desktop_ = find_desktop_windows(os_, layer);
  if (mouse_) mouse_->follow(desktop_);
  if (visibility_) visibility_->report(host_, desktop_, true);
}

// The displays changed: a burst of such messages (a monitor plugged in gives several) ends in one
// refit, once the timer lapses after the last of them.
void AttachSession::on_display_change() {
  if (!shared_ || shared_->closing()) return;
  if (visibility_) visibility_->mark_stale();
  if (command_.follow_display) {
    static_cast<void>(os_.set_timer(shared_->message_window, display_timer_id, display_settle_ms));
  }
}

// Fits the host window again where it belongs, leaving it shown or hidden; "moved" only when that
// moved it.
void AttachSession::on_display_timer() {
  static_cast<void>(os_.kill_timer(shared_->message_window, display_timer_id));
  if (!os_.is_window(host_)) return;
  const std::optional<Target> target = shared_->settle_target(os_);
  if (!target) return;
  const Result<std::optional<Rect>> placed = refit_host(os_, host_, target->area);
  trace_->note("refit", [&](JsonWriter& json) {
    write_rect(json, "area", target->area).boolean("moved", placed && *placed);
  });
  if (!placed) {
    emit_error(os_, placed.error());
    return;
  }
  if (!*placed) return;
  shared_->with_state([&](MonitorState& state) { state.fitted = fit_record(os_, **placed); });
  emit_event(os_, Event::Moved{.hwnd = host_});
}

void AttachSession::on_power_setting(std::int64_t setting) {
  if (visibility_ && shared_ && !shared_->closing()) visibility_->on_power_setting(setting);
}

}  // namespace orvel
