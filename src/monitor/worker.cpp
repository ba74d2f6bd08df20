#include <chrono>

#include "attach/attach.h"
#include "events/event.h"
#include "monitor/monitor.h"
#include "monitor/reattach.h"
#include "monitor/state.h"
#include "monitor/visibility.h"
#include "mouse/forwarding.h"

namespace orvel {
namespace {

class WorkerCalls final : public ReattachCalls {
 public:
  explicit WorkerCalls(Platform& os) : os_(os) {}

  bool closing() override { return values_.closing; }

  Hwnd take_destroyed() override { return values_.destroyed.exchange(0); }

  std::optional<Hwnd> host() override { return read_monitor_state(&MonitorState::host); }
  bool is_window(Hwnd window) override { return os_.is_window(window); }
  Result<LayerFound> find_layer(Hwnd host) override { return find_host_layer(os_, host); }
  Result<DesktopLayer> attach(Hwnd host, const LayerFound& found) override {
    return attach_host_to(os_, host, found);
  }
  void detach(Hwnd host) override { static_cast<void>(detach_host(os_, host)); }
  void pause(std::chrono::milliseconds duration) override { os_.sleep(duration); }

  // A new layer also makes the guard act at once the next time it finds the host window covered.
  void attached(Hwnd host, const DesktopLayer& layer) override {
    with_monitor_state([&](std::optional<MonitorState>& state) {
      if (!state) return;
      state->workerw = layer.window;
      state->last_reassert.reset();
    });
    emit_event(os_, Event::Attached{.hwnd = host, .workerw = layer.window, .mode = layer.mode});
    if (values_.report_visibility) visibility_after_attach(os_);
    // Forwarding follows the new layer only where it was asked for at start-up.
    if (values_.forward_mouse) {
      static_cast<void>(start_mouse_forwarding(os_, message_window(), layer.window));
    }
  }

  void report(const HelperError& error) override { emit_event(os_, Event::from(error)); }

 private:
  Platform& os_;
  MonitorValues& values_ = monitor_values();
};

void run_reattach_worker(Platform& os) noexcept {
  WorkerCalls calls(os);
  do {
    reattach_host(calls);
  } while (monitor_values().reattach.finish());
}

}  // namespace

void start_reattach_worker(Platform& os) {
  WorkerGate& gate = monitor_values().reattach;
  if (!gate.claim()) return;
  // No thread, no worker: the gate opens again so that the next trigger tries again, and the main
  // process hears that this one came to nothing.
  if (const SysResult<void> started = os.start_thread(run_reattach_worker); !started) {
    gate.abandon();
    emit_event(os, Event::Error{.message = "failed to spawn thread: " +
                                           system_error_text(os, started.error()),
                                .kind = std::nullopt});
  }
}

}  // namespace orvel
