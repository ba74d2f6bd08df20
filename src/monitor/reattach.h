#pragma once

#include <chrono>
#include <optional>

#include "attach/attach.h"
#include "events/event.h"
#include "platform/platform.h"

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
  // Gives the host window back, silently: the close has already answered for it.
  virtual void detach(Hwnd host) = 0;
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

}  // namespace orvel
