#pragma once

#include <atomic>
#include <chrono>
#include <optional>

#include "attach/layer.h"
#include "base/error.h"
#include "platform/types.h"

namespace orvel {

inline constexpr int reattach_tries = 10;
inline constexpr std::chrono::milliseconds reattach_pause{500};
// The shell tells of a window's destruction before the windows inside it go with it: an attach
// made in between would put the host window into a layer that is about to take it along. The
// worker looks this often, this far apart, for the destroyed window to be gone.
inline constexpr int destroy_waits = 20;
inline constexpr std::chrono::milliseconds destroy_wait{50};
inline constexpr std::string_view host_destroyed_message =
    "orvel window was destroyed together with the WorkerW; the main process must rebuild it";

// What one run of the re-attach worker asks of the world; the real one asks Windows and the
// monitor state, a test one answers from a script.
class ReattachCalls {
 public:
  virtual bool closing() = 0;
  // The window whose destruction started the re-attach, once; 0 for none.
  virtual Hwnd take_destroyed() = 0;
  // The host window, as the monitor state has it now; empty when there is no state.
  virtual std::optional<Hwnd> host() = 0;
  virtual bool is_window(Hwnd window) = 0;
  virtual Result<LayerFound> find_layer(Hwnd host) = 0;
  virtual Result<DesktopLayer> attach(Hwnd host, const LayerFound& found) = 0;
  // Gives the host window back, silently: the close answers for it.
  virtual void detach(Hwnd host) = 0;
  // An attach and its answer are one step as far as the close can see: the close neither begins in
  // the middle of it nor answers for the window before it ends.
  virtual void begin_attach_step() = 0;
  virtual void end_attach_step() = 0;
  // A pause between two looks or two tries.
  virtual void pause(std::chrono::milliseconds duration) = 0;
  // Stores the new layer, writes "attached" and has the main thread follow it; false, and nothing
  // done, once the close has begun.
  virtual bool attached(Hwnd host, const DesktopLayer& layer) = 0;
  // Writes the error, unless the close has begun.
  virtual void report(const HelperError& error) = 0;

 protected:
  ~ReattachCalls() = default;
};

// One run of the worker: a wait, up to a second, for the destroyed window to be gone; then up to
// ten tries, a pause after each of the first nine failures, each looking afresh at the close
// flag, the state and the host window.
void reattach_host(ReattachCalls& calls);

// At most one re-attach worker at a time, and no trigger lost: a trigger that comes while a worker
// runs makes that worker run once more before it ends.
class WorkerGate {
 public:
  // True when the caller must start a worker; false when the running one will run again.
  bool claim();
  // The worker, at its end: true when it must run once more.
  bool finish();
  // The worker that `claim` asked for could not be started.
  void abandon() { state_.store(idle); }
  bool running() const { return state_.load() != idle; }

 private:
  static constexpr int idle = 0;
  static constexpr int once = 1;
  static constexpr int again = 2;
  std::atomic<int> state_{idle};
};

}  // namespace orvel
