#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/attach_mode.h"
#include "platform/types.h"

namespace orvel {

// Why discovery chose the layer it found.
enum class LayerReason : std::uint8_t { covers_area, after_icons, inside_progman };

constexpr std::string_view layer_reason_text(LayerReason reason) {
  switch (reason) {
    case LayerReason::covers_area:
      return "the WorkerW that covers the most of the area, at least four fifths of it";
    case LayerReason::after_icons:
      return "no WorkerW covers four fifths of the area: the top-level WorkerW right after the "
             "window that holds the icons";
    case LayerReason::inside_progman:
      return "no WorkerW covers four fifths of the area: the WorkerW inside Progman, which holds "
             "the icons";
  }
  return "";
}

// The shell's WorkerW into which the host window goes, the layout it was found in, and why.
struct DesktopLayer {
  Hwnd window = 0;
  AttachMode mode = AttachMode::classic;
  LayerReason reason = LayerReason::covers_area;
  bool operator==(const DesktopLayer&) const = default;
};

// The desktop layer found for the area of the virtual screen that the host window is to cover.
struct LayerFound {
  DesktopLayer layer;
  std::optional<Rect> area;
};

}  // namespace orvel
