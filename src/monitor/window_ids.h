// The ids of the hidden window's timers and its private messages: one list, so that no two of them
// collide. The session owns them and hands each part the one it uses.
#pragma once

#include <array>
#include <cstdint>

namespace orvel::window_ids {

inline constexpr std::uint64_t heartbeat_timer = 1;
inline constexpr std::uint64_t mouse_timer = 2;
inline constexpr std::uint64_t visibility_timer = 3;
inline constexpr std::uint64_t display_timer = 4;
inline constexpr std::uint64_t shell_wait_timer = 5;
inline constexpr std::array timers{heartbeat_timer, mouse_timer, visibility_timer, display_timer,
                                   shell_wait_timer};

// Private messages begin at WM_APP (0x8000). Posted by the re-attach worker: follow the new layer.
inline constexpr std::uint32_t layer_changed_message = 0x8000 + 1;

constexpr bool all_different(const auto& ids) {
  for (std::size_t i = 0; i < ids.size(); ++i) {
    for (std::size_t j = i + 1; j < ids.size(); ++j) {
      if (ids[i] == ids[j]) return false;
    }
  }
  return true;
}
static_assert(all_different(timers));

}  // namespace orvel::window_ids
