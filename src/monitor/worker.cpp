#include "monitor/worker.h"

#include <chrono>
#include <memory>
#include <utility>

#include "attach/attach.h"
#include "events/event.h"
#include "monitor/reattach.h"
#include "monitor/state.h"

namespace orvel {
namespace {

// The world of one re-attach worker: Windows, and the state it shares with the main thread. It
// touches no window of the helper's own: the main thread follows a new layer when told.
class WorkerCalls final : public ReattachCalls {
 public:
  WorkerCalls(Platform& os, SharedState& shared) : os_(os), shared_(shared) {}

  bool closing() override { return shared_.closing(); }
  Hwnd take_destroyed() override { return shared_.destroyed.exchange(0); }
  std::optional<Hwnd> host() override { return shared_.read(&MonitorState::host); }
  bool is_window(Hwnd window) override { return os_.is_window(window); }
  // The layer for where the host window belongs now, which its home says, unless someone else has
  // placed it meanwhile.
  Result<LayerFound> find_layer(Hwnd host) override {
    const std::optional<Target> target = shared_.settle_target(os_);
    Result<LayerFound> found =
        find_host_layer(os_, host, target ? std::optional(target->area) : std::nullopt);
    if (!found) step("search", found.error().message);
    return found;
  }
  Result<DesktopLayer> attach(Hwnd host, const LayerFound& found) override {
    const Result<AttachedHost> attached = attach_host_to(os_, host, found);
    if (!attached) {
      step("attach", attached.error().message);
      return std::unexpected(attached.error());
    }
    note_layer(*shared_.trace, "reattached", host, attached->layer, found.area,
               shared_.read(&MonitorState::home));
    if (attached->fit) {
      shared_.with_state(
          [&](MonitorState& state) { state.fitted = fit_record(os_, *attached->fit); });
    }
    return attached->layer;
  }
  void detach(Hwnd host) override { static_cast<void>(detach_host(os_, host)); }
  void begin_attach_step() override { shared_.begin_attach_step(); }
  void end_attach_step() override { shared_.end_attach_step(); }
  void pause(std::chrono::milliseconds duration) override {
    shared_.trace->note("reattach", [&](JsonWriter& json) {
      json.text("step", "pause").number("pauseMs", duration.count());
    });
    os_.sleep(duration);
  }

  // A new layer also makes the guard act at once the next time it finds the host window covered.
  bool attached(Hwnd host, const DesktopLayer& layer) override {
    shared_.with_state([&](MonitorState& state) {
      state.workerw = layer.window;
      state.last_reassert.reset();
    });
    if (!shared_.emit_unless_closing(
            os_, Event::Attached{.hwnd = host, .workerw = layer.window, .mode = layer.mode})) {
      return false;
    }
    shared_.layer_changed = true;
    static_cast<void>(
        os_.post_message_w(shared_.message_window, shared_.layer_changed_message, 0, 0));
    return true;
  }

  void report(const HelperError& error) override {
    step("end", error.message);
    static_cast<void>(shared_.emit_unless_closing(os_, Event::from(error)));
  }

 private:
  void step(std::string_view name, std::string_view failure) {
    shared_.trace->note("reattach",
                        [&](JsonWriter& json) { json.text("step", name).text("failed", failure); });
  }

  Platform& os_;
  SharedState& shared_;
};

}  // namespace

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

void start_reattach_worker(Platform& os, const std::shared_ptr<SharedState>& shared) {
  if (!shared->reattach.claim()) return;
  const auto run = [&os, shared] {
    WorkerCalls calls(os, *shared);
    do {
      reattach_host(calls);
    } while (shared->reattach.finish());
  };
  // No thread, no worker: the gate opens again so that the next trigger tries again, and the main
  // process hears that this one came to nothing.
  if (const SysResult<void> started = os.start_thread(run); !started) {
    shared->reattach.abandon();
    emit_error(os,
               {.message = "failed to spawn thread: " + system_error_text(os, started.error().code),
                .kind = ErrorKind::reattach_failed});
  }
}

}  // namespace orvel
