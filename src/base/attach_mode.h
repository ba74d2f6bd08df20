#pragma once

#include <cstdint>
#include <string_view>

namespace orvel {

// The layout in which the desktop layer was found: a top-level WorkerW, or one inside Progman.
enum class AttachMode : std::uint8_t { classic = 0, raised = 1 };

constexpr std::string_view attach_mode_text(AttachMode mode) {
  return mode == AttachMode::raised ? "raised" : "classic";
}

}  // namespace orvel
