#include "monitor/monitor.h"

#include <string>

#include "attach/attach.h"
#include "cli/exit_codes.h"
#include "control/stdin_reader.h"
#include "events/event.h"
#include "monitor/state.h"
#include "monitor/visibility.h"
#include "mouse/forwarding.h"

namespace orvel {
namespace {

constexpr std::string_view window_class_name = "OrvelWallpaperHelperWindow";
constexpr std::string_view window_name = "OrvelWallpaperHelper";
constexpr std::u16string_view taskbar_created_name = u"TaskbarCreated";
constexpr std::uint32_t hook_flags = win::winevent_outofcontext | win::winevent_skipownprocess;

int fail_start(Platform& os, std::string message) {
  emit_event(os, Event::Error{.message = std::move(message), .kind = std::nullopt});
  return exit_failure;
}

// A hook that cannot be had gives no handle, or all bits set.
bool hook_shell_event(Platform& os, std::uint32_t event) {
  const std::optional<Hhook> hook =
      os.set_win_event_hook(event, event, 0, on_shell_event, 0, 0, hook_flags);
  return hook && *hook != win::invalid_handle_value;
}

// Until GetMessageW fails the loop dispatches; a queue that can no longer be read closes the
// monitor in order, as WM_CLOSE would, rather than ending with the host window still attached.
void run_message_loop(Platform& os) {
  Message message;
  for (;;) {
    const SysResult<bool> got = os.get_message_w(message, 0, 0, 0);
    if (!got) {
      monitor_window_proc(os, message_window(), win::wm_close, 0, 0);
      return;
    }
    if (!*got) return;
    os.translate_message(message);
    os.dispatch_message_w(message);
  }
}

}  // namespace

std::uint32_t taskbar_process_id(Platform& os) {
  const SysResult<Hwnd> taskbar = os.find_window_a("Shell_TrayWnd");
  if (!taskbar) return 0;
  const SysResult<WindowOwner> owner = os.get_window_thread_process_id(*taskbar);
  return owner ? owner->process_id : 0;
}

// The hooks, the timer and the message window are never removed: they end with the process.
int run_attach_monitor(Platform& os, const Command& command) {
  const Hwnd host = command.hwnd;
  MonitorValues& values = monitor_values();
  values.forward_mouse = command.forward_mouse;
  values.report_visibility = command.report_visibility;
  values.follow_display = command.follow_display;

  const SysResult<Hmodule> module = os.get_module_handle_w(nullptr);
  if (!module) {
    return fail_start(os, "GetModuleHandleW failed: " + system_error_text(os, module.error()));
  }
  // A class that could not be registered shows as the window that cannot be created.
  static_cast<void>(os.register_class_a(
      {.procedure = monitor_window_proc, .instance = *module, .class_name = window_class_name}));
  values.taskbar_created = os.register_window_message_w(taskbar_created_name).value_or(0);
  const SysResult<Hwnd> window = os.create_window_ex_a(
      {.class_name = window_class_name, .window_name = window_name, .instance = *module});
  if (!window) {
    return fail_start(os,
                      "message window creation failed: " + system_error_text(os, window.error()));
  }
  values.message_window = *window;

  const Result<DesktopLayer> layer = attach_host(os, host);
  if (!layer) return fail_start(os, layer.error().message);
  const std::uint32_t explorer_pid = taskbar_process_id(os);
  with_monitor_state([&](std::optional<MonitorState>& state) {
    state = MonitorState{.host = host,
                         .workerw = layer->window,
                         .explorer_pid = explorer_pid,
                         .zguard = command.zguard};
  });

  if (!hook_shell_event(os, win::event_object_destroy)) {
    return fail_start(os, "SetWinEventHook(EVENT_OBJECT_DESTROY) failed");
  }
  if (!hook_shell_event(os, win::event_object_reorder)) {
    return fail_start(os, "SetWinEventHook(EVENT_OBJECT_REORDER) failed");
  }
  if (command.report_visibility) {
    for (const std::uint32_t event : visibility_events) {
      // The destruction and reordering of windows are hooked already.
      if (event == win::event_object_destroy || event == win::event_object_reorder) continue;
      if (!hook_shell_event(os, event)) {
        return fail_start(os, "SetWinEventHook(visibility events) failed");
      }
    }
    start_visibility_report(os, *window);
  }
  if (!os.set_timer(*window, heartbeat_timer_id, heartbeat_period_ms)) {
    return fail_start(os, "SetTimer failed");
  }
  if (command.forward_mouse) {
    if (const Result<void> started = start_mouse_forwarding(os, *window, layer->window); !started) {
      return fail_start(os, "mouse forwarding unavailable: " + started.error().message);
    }
  }

  emit_event(os, Event::Attached{.hwnd = host, .workerw = layer->window, .mode = layer->mode});
  if (command.report_visibility) report_visibility_now(os);
  if (!start_stdin_reader(os, *window)) {
    static_cast<void>(os.write_stderr("failed to spawn thread\n"));
    return exit_no_reader;
  }
  run_message_loop(os);
  return exit_success;
}

}  // namespace orvel
