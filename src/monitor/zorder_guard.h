#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <vector>

#include "events/trace.h"
#include "monitor/state.h"
#include "platform/platform.h"

namespace orvel {

// The z-order guard of `attach --zguard`: it puts the host window back on top of a window placed
// above it in its layer that covers some of it, at most once in 10 s.

// Whether any of the windows above the host window in its layer covers some of it.
bool host_covered(const Rect& host, std::span<const Rect> above);

inline constexpr std::chrono::seconds reassert_spacing{10};

// At most one reassertion in 10 s; a clock that reads earlier than the last one counts as 0 s.
bool reassert_due(std::optional<std::chrono::microseconds> last, std::chrono::microseconds now);

// The guard on the main thread, run by the heartbeat and by every reorder the hooks hear.
class ZorderGuard {
 public:
  void guard_zorder(Platform& os, SharedState& shared, Trace& trace);

 private:
  std::vector<Rect> above_;  // the host window's siblings above it, kept to allocate once
};

}  // namespace orvel
