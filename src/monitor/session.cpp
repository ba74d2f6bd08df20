#include "monitor/session.h"

#include <chrono>
#include <functional>
#include <string>
#include <utility>

#include "attach/attach.h"
#include "attach/placement.h"
#include "cli/exit_codes.h"
#include "control/stdin_reader.h"
#include "monitor/hangs.h"
#include "monitor/shell_events.h"
#include "monitor/window_ids.h"
#include "monitor/window_messages.h"
#include "monitor/worker.h"
#include "platform/text.h"

namespace orvel {
namespace {

constexpr std::string_view window_class_name = "OrvelWallpaperHelperWindow";
constexpr std::string_view window_name = "OrvelWallpaperHelper";
constexpr std::u16string_view taskbar_created_name = u"TaskbarCreated";
constexpr std::uint32_t hook_flags = win::winevent_outofcontext | win::winevent_skipownprocess;

// How long the close waits for the shell to repaint its layer, and for the wallpaper to be taken
// again, once the window is back: a shell that stops answering holds the helper no longer.
constexpr std::chrono::milliseconds close_call_limit{2000};

// Runs `call` on a thread of its own and waits for it at most `limit`: its result, if it ended in
// time. A thread that has not is left to end with the process; it holds `owner` (what its calls
// report to) until then. Without a thread, the call is made here.
template <class T>
std::optional<T> run_bounded(Platform& os, std::shared_ptr<void> owner, std::function<T()> call,
                             std::chrono::milliseconds limit) {
  const std::shared_ptr<std::optional<T>> result(new std::optional<T>());
  const SysResult<Handle> thread =
      os.create_thread([result, call, owner = std::move(owner)] { *result = call(); });
  if (!thread) return call();
  const OwnedHandle held(os, *thread);
  const SysResult<bool> ended =
      os.wait_for_single_object(*thread, static_cast<std::uint32_t>(limit.count()));
  if (!ended || !*ended) return std::nullopt;
  return std::move(*result);
}

// The shell has not made its windows yet: no Progman, or no layer.
bool shell_missing(const HelperError& error) {
  return error.kind == ErrorKind::shell_not_found || error.kind == ErrorKind::layer_not_found;
}

}  // namespace

AttachSession::AttachSession(Platform& os, const Command& command)
    : os_(os), command_(command), host_(command.hwnd.value_or(0)) {}

// Every way out of `run` has closed in order or failed in order: the window goes with no second
// close.
AttachSession::~AttachSession() {
  if (close_target_) static_cast<void>(os_.set_console_ctrl_handler(nullptr));
  hooks_.clear();
  os_.set_win_event_handler(nullptr);
  os_.set_call_observer(nullptr);
  if (shared_) static_cast<void>(shared_->begin_close());
}

// The file named by --trace, or by ORVEL_TRACE; none, and the trace is off. What threads share is
// made with new, not make_shared, whose block would bring the runtime's type information along.
std::shared_ptr<Trace> AttachSession::open_trace() {
  std::u16string path;
  if (command_.trace) {
    path = utf16_from_utf8(*command_.trace);
  } else if (const SysResult<std::u16string> named =
                 os_.get_environment_variable_w(u"ORVEL_TRACE")) {
    path = *named;
  }
  if (path.empty()) return std::shared_ptr<Trace>(new Trace());
  std::shared_ptr<Trace> trace(new Trace(os_, path));
  if (trace->on()) os_.set_call_observer(trace.get());
  return trace;
}

int AttachSession::run() {
  trace_ = open_trace();
  const SysResult<Hmodule> module = os_.get_module_handle_w(nullptr);
  if (!module) return fail_start(call_failed(os_, ErrorKind::start_failed, module.error()));
  // A class that could not be registered shows as the window that cannot be created.
  static_cast<void>(os_.register_class_a(window_class_name, *module));
  if (const SysResult<std::uint32_t> id = os_.register_window_message_w(taskbar_created_name)) {
    taskbar_created_ = *id;
  }
  const SysResult<Hwnd> window = os_.create_window_ex_a({.class_name = window_class_name,
                                                         .window_name = window_name,
                                                         .instance = *module,
                                                         .handler = this});
  if (!window) {
    return fail_start(
        call_failed(os_, ErrorKind::start_failed, window.error(), "message window creation"));
  }
  window_ = OwnedWindow(os_, *window);
  // A shell of lower integrity than an elevated helper tells of its restart all the same.
  if (taskbar_created_) {
    static_cast<void>(
        os_.change_window_message_filter_ex(*window, *taskbar_created_, win::msgflt_allow));
  }
  // Ctrl+C, the console closed, a log-off: each is a close, in order. Without the handler, the
  // default one would end the helper with the window still in the layer.
  close_target_ = *window;
  if (!os_.set_console_ctrl_handler(this)) close_target_ = 0;

  const Home home = initial_home(os_, host_, command_.span);
  Result<Attachment> attachment = attach_once(home);
  // At log-on the shell may not have made its windows yet. The main process can end the wait at
  // once, so its standard input is read from the start of it.
  const bool waits = !attachment && command_.wait_shell_ms && shell_missing(attachment.error());
  if (waits) {
    if (!start_stdin_reader(os_, *window)) {
      static_cast<void>(os_.write_stderr("failed to spawn thread\n"));
      return exit_no_reader;
    }
    std::optional<Result<Attachment>> waited = wait_for_shell(home, attachment.error());
    if (!waited) return exit_success;
    attachment = std::move(*waited);
  }
  if (!attachment) return fail_start(attachment.error());
  const DesktopLayer& layer = attachment->attached.layer;
  const std::optional<Fit>& fit = attachment->attached.fit;
  note_layer(*trace_, "attached", host_, layer, attachment->found.area, home);
  shared_ = std::shared_ptr<SharedState>(new SharedState(
      MonitorState{.host = host_,
                   .workerw = layer.window,
                   .explorer_pid = taskbar_process_id(os_),
                   .zguard = command_.zguard,
                   .home = home,
                   .fitted = fit ? std::optional(fit_record(os_, *fit)) : std::nullopt},
      *window, window_ids::layer_changed_message, trace_));
  if (std::optional<HelperError> failed = start_watching(layer.window)) {
    return fail_start(std::move(*failed));
  }

  emit_event(os_, Event::Attached{.hwnd = host_, .workerw = layer.window, .mode = layer.mode});
  if (visibility_) visibility_->report(host_, desktop_, true);
  if (power_) power_->report();
  // Without its reader nothing could end the monitor in order: it closes at once.
  if (!waits && !start_stdin_reader(os_, *window)) {
    static_cast<void>(os_.write_stderr("failed to spawn thread\n"));
    on_close();
    return exit_no_reader;
  }
  if (command_.report_hangs) start_hang_probes(os_, shared_);
  run_message_loop();
  return exit_success;
}

Result<AttachSession::Attachment> AttachSession::attach_once(const Home& home) {
  Result<LayerFound> found = find_host_layer(os_, host_, home_area(home, list_monitors(os_)));
  if (!found) return std::unexpected(std::move(found.error()));
  Result<AttachedHost> attached = attach_host_to(os_, host_, *found);
  if (!attached) return std::unexpected(std::move(attached.error()));
  return Attachment{.found = *found, .attached = *attached};
}

// Tries again at each "TaskbarCreated", and every 2 s in case the broadcast does not come, and
// gives the last failure once the time is up. Nothing is written meanwhile. A close ("detach", the
// end of the input) ends the wait at once, as does a WM_QUIT from anyone.
std::optional<Result<AttachSession::Attachment>> AttachSession::wait_for_shell(const Home& home,
                                                                               HelperError last) {
  constexpr std::chrono::milliseconds poll{2000};
  const std::chrono::microseconds start = os_.monotonic_now();
  const std::chrono::microseconds deadline =
      start + std::chrono::milliseconds(*command_.wait_shell_ms);
  // The next look: a poll, or the end of the wait if that comes first.
  const auto arm = [&] {
    const auto left = std::max(std::chrono::microseconds{0}, deadline - os_.monotonic_now());
    const auto next = std::min<std::chrono::microseconds>(poll, left);
    return os_
        .set_timer(window_.get(), window_ids::shell_wait_timer,
                   static_cast<std::uint32_t>(
                       std::chrono::duration_cast<std::chrono::milliseconds>(next).count()))
        .has_value();
  };
  trace_->note("waiting for the shell",
               [&](JsonWriter& json) { json.number("limitMs", *command_.wait_shell_ms); });
  std::optional<Result<Attachment>> outcome = std::unexpected(std::move(last));
  std::string_view woken_by;
  waiting_for_shell_ = true;
  Message message;
  bool armed = arm();
  for (SysResult<bool> got; armed && (got = os_.get_message_w(message));) {
    if (!*got) {
      outcome.reset();
      break;
    }
    if (dispatches_queued(message)) {
      os_.translate_message(message);
      os_.dispatch_message_w(message);
    }
    woken_by = std::exchange(shell_may_be_there_, {});
    if (woken_by.empty()) continue;
    outcome = attach_once(home);
    if (*outcome || !shell_missing(outcome->error()) || os_.monotonic_now() >= deadline) break;
    armed = arm();
  }
  static_cast<void>(os_.kill_timer(window_.get(), window_ids::shell_wait_timer));
  waiting_for_shell_ = false;
  trace_->note("waited for the shell", [&](JsonWriter& json) {
    json.number("waitedMs", (os_.monotonic_now() - start).count() / 1000)
        .text("by", woken_by)
        .boolean("attached", outcome && *outcome)
        .boolean("ended", !outcome);
  });
  return outcome;
}

std::optional<HelperError> AttachSession::hook(std::uint32_t event, std::string_view name) {
  const SysResult<Hhook> hooked = os_.set_win_event_hook(event, event, hook_flags);
  if (!hooked) return call_failed(os_, ErrorKind::start_failed, hooked.error(), name);
  hooks_.emplace_back(os_, *hooked);
  return std::nullopt;
}

std::optional<HelperError> AttachSession::start_watching(Hwnd layer) {
  os_.set_win_event_handler(this);
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
    visibility_.emplace(os_, shared_->message_window, window_ids::visibility_timer, *trace_);
  }
  if (const SysResult<std::uint64_t> timer =
          os_.set_timer(shared_->message_window, window_ids::heartbeat_timer, heartbeat_period_ms);
      !timer) {
    return call_failed(os_, ErrorKind::start_failed, timer.error());
  }
  if (command_.report_power) power_.emplace(os_, shared_->message_window);
  if (command_.forward_mouse) {
    if (const Result<void> started =
            mouse_.emplace(os_, desktop_, window_ids::mouse_timer).start(shared_->message_window);
        !started) {
      return HelperError{.message = "mouse forwarding unavailable: " + started.error().message,
                         .kind = ErrorKind::start_failed};
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
    power_.reset();
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
  // Waiting for the shell, its broadcast and the poll are reasons to look again.
  if (waiting_for_shell_ && message == taskbar_created_) shell_may_be_there_ = "TaskbarCreated";
  if (waiting_for_shell_ && message == win::wm_timer && wparam == window_ids::shell_wait_timer) {
    shell_may_be_there_ = "poll";
  }
  // WM_NULL comes first, so that nothing else is ever taken for it.
  if (message == win::wm_null) {
  } else if (message == win::wm_timer) {
    on_timer(wparam);
  } else if (message == win::wm_input) {
    if (mouse_) mouse_->on_raw_input(lparam);
  } else if (message == taskbar_created_) {
    on_taskbar_created();
  } else if (message == win::wm_destroy) {
    os_.post_quit_message(0);
  } else if (message == win::wm_close) {
    on_close();
    return 0;
  } else if (message == win::wm_endsession && wparam != 0) {
    // The session ends once this returns: the window goes back first.
    on_close();
    return 0;
  } else if (message == window_ids::layer_changed_message) {
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
  if (id == window_ids::heartbeat_timer) on_heartbeat();
  if (id == window_ids::mouse_timer && mouse_) mouse_->on_tick();
  if (id == window_ids::visibility_timer && visibility_) {
    visibility_->on_timer(host_, desktop_);
  }
  if (id == window_ids::display_timer && command_.follow_display) on_display_timer();
}

void AttachSession::on_heartbeat() {
  emit_event(os_, Event::Heartbeat{});
  if (command_.zguard) guard_.guard_zorder(os_, *shared_, *trace_);
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
// re-attach worker part-way through attaching the host window ends that step first, so that the
// window given back stays given back.
void AttachSession::on_close() {
  if (!shared_ || shared_->begin_close()) {
    end_message_loop();
    return;
  }
  hooks_.clear();
  visibility_.reset();
  power_.reset();
  const Hwnd host = shared_->read(&MonitorState::host);
  Result<void> detached = detach_host(os_, host);
  trace_->note("detached",
               [&](JsonWriter& json) { json.boolean("givenBack", detached.has_value()); });
  if (detached) {
    emit_event(os_, Event::Detached{.hwnd = host});
  } else {
    emit_error(os_, std::move(detached.error()));
  }
  repaint_layer();
  refresh_after_close();
  // Whatever put the window into a layer again meanwhile, the helper ends with it given back.
  if (os_.is_window(host) && in_a_parent(os_, host)) {
    trace_->note("given back again");
    static_cast<void>(detach_host(os_, host));
  }
  end_message_loop();
}

// The layer that the window has left shows the wallpaper again at once, if its shell answers.
void AttachSession::repaint_layer() {
  const Hwnd layer = shared_->read(&MonitorState::workerw);
  if (!os_.is_window(layer)) return;
  const std::optional<bool> repainted = run_bounded<bool>(
      os_, shared_,
      [&os = os_, layer] {
        static_cast<void>(os.invalidate_rect(layer, true));
        return os.update_window(layer).has_value();
      },
      close_call_limit);
  if (!repainted) trace_->note("repaint abandoned");
}

void AttachSession::refresh_after_close() {
  const std::optional<Result<void>> refreshed = run_bounded<Result<void>>(
      os_, shared_, [&os = os_] { return refresh_wallpaper(os); }, close_call_limit);
  if (!refreshed) {
    emit_error(os_, call_failed(os_, ErrorKind::wallpaper_refresh_failed,
                                {.call = "SPI_SETDESKWALLPAPER refresh",
                                 .code = hresult_from_last_error(win::error_timeout)}));
  } else if (!*refreshed) {
    emit_error(os_, std::move(refreshed->error()));
  }
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
    static_cast<void>(
        os_.set_timer(shared_->message_window, window_ids::display_timer, display_settle_ms));
  }
}

// Fits the host window again where it belongs, leaving it shown or hidden; "moved" only when that
// moved it.
void AttachSession::on_display_timer() {
  static_cast<void>(os_.kill_timer(shared_->message_window, window_ids::display_timer));
  if (!os_.is_window(host_)) return;
  const std::optional<Target> target = shared_->settle_target(os_);
  // The last fit asked for this very area, and the window's thread has not taken it yet.
  if (!target || target->fit_on_its_way) return;
  const Result<std::optional<Fit>> placed = refit_host(os_, host_, target->area);
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

void AttachSession::on_console_control(std::uint32_t) noexcept {
  static_cast<void>(os_.post_message_w(close_target_, win::wm_close, 0, 0));
}

void AttachSession::on_power_setting(std::int64_t address) {
  if (!shared_ || shared_->closing() || (!visibility_ && !power_)) return;
  const std::optional<PowerSetting> setting = read_power_setting(os_, address);
  if (!setting) return;
  if (visibility_) visibility_->on_power_setting(*setting);
  if (power_) power_->on_power_setting(*setting);
}

}  // namespace orvel
