#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include "events/event.h"
#include "monitor/state.h"
#include "platform/platform.h"

namespace orvel {

// `attach --report-hangs`: the main process hears when the shell or the host window's thread stops
// taking messages, and when it takes them again, since the helper's calls into their windows wait
// for them.

// A probe is a message that the window's thread must answer within this time; one that answers is
// probed again after the spacing.
inline constexpr std::chrono::milliseconds probe_limit{2000};
inline constexpr std::chrono::milliseconds probe_spacing{500};

enum class Probe { answered, unanswered, gone };

// The lines of one window: "unresponsive" at the first probe it leaves unanswered, "responsive" at
// its first answer after that. A window that is gone says nothing either way.
class HangReport {
 public:
  // The line now due (true: responsive), if any.
  std::optional<bool> after(Probe probe) {
    if (probe == Probe::gone || (probe == Probe::unanswered) == hung_) return std::nullopt;
    hung_ = !hung_;
    return !hung_;
  }

 private:
  bool hung_ = false;
};

// Starts one probe thread for the shell's Progman and one for the host window. They write only
// between "attached" and the close, and end with the close.
void start_hang_probes(Platform& os, const std::shared_ptr<SharedState>& shared);

}  // namespace orvel
