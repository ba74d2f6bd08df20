// The desktop as the mouse translator asks about it, answered from plain values.
#pragma once

#include "mouse/translate.h"

namespace orvel {

struct Facts final : MouseFacts {
  bool swapped = false, foreground = true, over = true;
  std::optional<Point> at;
  std::uint64_t now = 0;

  bool buttons_swapped() override { return swapped; }
  bool desktop_is_foreground() override { return foreground; }
  std::optional<Point> cursor() override { return at; }
  bool over_desktop(Point) override { return over; }
  std::uint64_t now_micros() override { return now; }
};

}  // namespace orvel
