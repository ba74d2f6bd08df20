#include "monitor/reattach.h"

#include <string>

namespace orvel {

namespace {

class AttachStep {
 public:
  explicit AttachStep(ReattachCalls& calls) : calls_(calls) { calls_.begin_attach_step(); }
  AttachStep(const AttachStep&) = delete;
  AttachStep& operator=(const AttachStep&) = delete;
  ~AttachStep() { calls_.end_attach_step(); }

 private:
  ReattachCalls& calls_;
};

// One attach to the layer found, as one step: done, with the host window attached or, once the
// close has begun, given back or left alone; or the error of an attach that failed.
Result<void> attach_step(ReattachCalls& calls, Hwnd host, const LayerFound& found) {
  const AttachStep step(calls);
  if (calls.closing()) return {};
  const Result<DesktopLayer> layer = calls.attach(host, found);
  if (!layer) return std::unexpected(layer.error());
  // The monitor began to close while this attach ran: the host window must not stay attached.
  if (!calls.attached(host, *layer)) calls.detach(host);
  return {};
}

}  // namespace

void reattach_host(ReattachCalls& calls) {
  for (int failures = 0; failures < reattach_tries;) {
    if (calls.closing()) return;
    const Hwnd destroyed = calls.take_destroyed();
    for (int wait = 0;
         destroyed != 0 && wait < destroy_waits && !calls.closing() && calls.is_window(destroyed);
         ++wait) {
      calls.pause(destroy_wait);
    }
    // A close that began during the wait has given the host window back, or is about to.
    if (calls.closing()) return;
    const std::optional<Hwnd> host = calls.host();
    if (!host || *host == 0) return;
    if (!calls.is_window(*host)) {
      calls.report(
          {.message = std::string(host_destroyed_message), .kind = ErrorKind::window_destroyed});
      return;
    }
    const Result<LayerFound> found = calls.find_layer(*host);
    const Result<void> tried =
        found ? attach_step(calls, *host, *found) : std::unexpected(found.error());
    if (tried) return;
    // A close that began during the search or the attach, which can take seconds, leaves the host
    // window as the close gives it back: nothing more to try, or to report.
    if (calls.closing()) return;
    if (++failures == reattach_tries) {
      calls.report({.message = "re-attach failed after " + std::to_string(reattach_tries) +
                               " retries: " + tried.error().message,
                    .kind = ErrorKind::reattach_failed});
    } else {
      calls.pause(reattach_pause);
    }
  }
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
