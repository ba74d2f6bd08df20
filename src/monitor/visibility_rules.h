#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "monitor/coverage.h"
#include "platform/types.h"

namespace orvel {

// What the "visibility" lines say, from values alone.

// A top-level window above the desktop's own windows hides what lies under it, unless it is
// minimized, cloaked (on another virtual desktop, or a suspended app's) or lets everything
// through (layered and transparent).
inline bool window_hides(bool iconic, bool cloaked, std::uint32_t ex_style) {
  constexpr std::uint32_t see_through = win::ws_ex_layered | win::ws_ex_transparent;
  return !iconic && !cloaked && (ex_style & see_through) != see_through;
}

// Whether the desktop that takes the input is the helper's own, by their names; one that cannot be
// named (the lock screen's, which this process may not open) is not.
bool input_desktop_is_own(const std::optional<std::u16string>& input,
                          const std::optional<std::u16string>& own);

// The user can see some of the host window while the display is on, the input desktop is the
// user's own, the window and every window it lies in (its layer, Progman) are shown, and the
// windows above the desktop leave some point of it open on some monitor: a window that spans
// several monitors is seen while any part of it is.
struct VisibilityFacts {
  bool display_on = true;
  bool own_desktop = true;
  bool shown = true;  // the window and all its ancestors have WS_VISIBLE
  Rect window;
};
bool window_visible(const VisibilityFacts& facts, std::span<const Rect> monitors,
                    std::span<const Rect> covers, CoverScratch& scratch);

// Whether the host window and every window it lies in are shown: as the system says, or, while the
// helper's own fit that shows it has not reached the window's thread yet, as its layer is.
constexpr bool host_shown(bool window_visible, bool show_on_its_way, bool layer_visible) {
  return window_visible || (show_on_its_way && layer_visible);
}

// The visibility lines: the first value after "attached", then only changes.
class VisibilityReport {
 public:
  // True when `visible` must be written.
  bool changed(bool visible) {
    if (last_ == visible) return false;
    last_ = visible;
    return true;
  }
  void forget() { last_.reset(); }

 private:
  std::optional<bool> last_;
};

// The console display's state from a power setting: off (0), or on (1) or dimmed (2), both still
// seen. None for any other setting.
std::optional<bool> display_on_in(const PowerSetting& setting);

}  // namespace orvel
