#include <chrono>
#include <string>

#include "attach/attach.h"
#include "events/event.h"
#include "monitor/monitor.h"
#include "monitor/state.h"
#include "mouse/forwarding.h"

namespace orvel {
namespace {

using namespace std::chrono_literals;

constexpr int attach_tries = 10;
constexpr auto pause_between_tries = 500ms;
constexpr int destroy_waits = 20;
constexpr auto destroy_wait = 50ms;
constexpr std::string_view host_destroyed_message =
    "orvel window was destroyed together with the WorkerW; the main process must rebuild it";

// A new layer also makes the guard act at once the next time it finds the host window covered.
void store_layer(Hwnd workerw) {
  MonitorStateCell::Guard state = lock_monitor_state();
  if (state.poisoned() || !state.value()) return;
  state.value()->workerw = workerw;
  state.value()->last_reassert.reset();
}

// The shell tells of a window's destruction before the windows inside it go with it: an attach
// made in between would put the host window into a layer that is about to take it along, and
// report it attached. So a try waits, up to a second, until the destroyed window is gone.
void wait_until_destroyed(Platform& os) {
  const Hwnd destroyed = monitor_values().destroyed.exchange(0);
  for (int wait = 0; destroyed != 0 && wait < destroy_waits && os.is_window(destroyed); ++wait) {
    os.sleep(destroy_wait);
  }
}

// Up to ten tries, 500 ms apart, each looking afresh at the state, the close flag and the host.
void reattach(Platform& os) {
  const MonitorValues& values = monitor_values();
  for (int failures = 0; failures < attach_tries;) {
    if (values.closing) return;
    wait_until_destroyed(os);
    const std::optional<Hwnd> host = read_monitor_state(&MonitorState::host);
    if (!host || *host == 0) return;
    if (!os.is_window(*host)) {
      emit_event(os, Event::Error{.message = std::string(host_destroyed_message),
                                  .kind = ErrorKind::window_destroyed});
      return;
    }
    const Result<DesktopLayer> layer = attach_host(os, *host);
    if (!layer) {
      if (++failures == attach_tries) {
        emit_event(
            os, Event::Error{.message = "re-attach failed after " + std::to_string(attach_tries) +
                                        " retries: " + layer.error().message,
                             .kind = std::nullopt});
      } else {
        os.sleep(pause_between_tries);
      }
      continue;
    }
    // The monitor began to close while this attach ran: the close has already given the host
    // window back, so it must not stay attached.
    if (values.closing) {
      static_cast<void>(detach_host(os, *host));
      return;
    }
    store_layer(layer->window);
    emit_event(os, Event::Attached{.hwnd = *host, .workerw = layer->window, .mode = layer->mode});
    // Forwarding follows the new layer only where it was asked for at start-up.
    if (values.forward_mouse)
      static_cast<void>(start_mouse_forwarding(os, message_window(), layer->window));
    return;
  }
}

void run_reattach_worker(Platform& os) noexcept {
  reattach(os);
  monitor_values().reattach_running.exchange(false);
}

}  // namespace

void start_reattach_worker(Platform& os) {
  MonitorValues& values = monitor_values();
  if (values.reattach_running.exchange(true)) return;
  // No thread, no worker: the flag goes back so that the next trigger tries again, and the main
  // process hears that this one came to nothing.
  if (const SysResult<void> started = os.start_thread(run_reattach_worker); !started) {
    values.reattach_running.exchange(false);
    emit_event(os, Event::Error{.message = "failed to spawn thread: " +
                                           system_error_text(os, started.error()),
                                .kind = std::nullopt});
  }
}

}  // namespace orvel
