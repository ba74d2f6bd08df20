#pragma once

#include <cstdint>

#include "platform/types.h"

namespace orvel {

// How one style value of the host window changes: the bits that survive, then the bits set.
struct StyleChange {
  int index;
  std::uint32_t keep;
  std::uint32_t set;
};

// A child in the layer: WS_CHILD, not clipping its siblings; no taskbar button, edge or drop
// target.
inline constexpr StyleChange attach_style{win::gwl_style, ~win::ws_clipsiblings, win::ws_child};
inline constexpr StyleChange attach_ex_style{
    win::gwl_exstyle, ~(win::ws_ex_appwindow | win::ws_ex_windowedge | win::ws_ex_acceptfiles), 0};
// A top-level popup again, with a taskbar button and an edge.
inline constexpr StyleChange detach_style{win::gwl_style, ~win::ws_child, win::ws_popup};
inline constexpr StyleChange detach_ex_style{win::gwl_exstyle, ~0u,
                                             win::ws_ex_appwindow | win::ws_ex_windowedge};

// Styles are 32-bit values: only the low half of what Windows gives takes part, and the value
// written has an empty upper half.
inline constexpr std::int64_t changed_style(const StyleChange& change, std::int64_t read) {
  return std::int64_t{(static_cast<std::uint32_t>(read) & change.keep) | change.set};
}

}  // namespace orvel
