#include "monitor/visibility_rules.h"

#include <algorithm>

namespace orvel {

bool input_desktop_is_own(const std::optional<std::u16string>& input,
                          const std::optional<std::u16string>& own) {
  return input && own && *input == *own;
}

bool window_visible(const VisibilityFacts& facts, std::span<const Rect> monitors,
                    std::span<const Rect> covers, CoverScratch& scratch) {
  if (!facts.display_on || !facts.own_desktop || !facts.shown) return false;
  return std::ranges::any_of(monitors, [&](const Rect& monitor) {
    const Rect part = intersection(facts.window, monitor);
    return !is_empty(part) && !rect_covered(part, covers, scratch);
  });
}

std::optional<bool> display_on_in(const PowerSetting& setting) {
  if (setting.setting != win::guid_console_display_state) return std::nullopt;
  return setting.value != 0;
}

}  // namespace orvel
