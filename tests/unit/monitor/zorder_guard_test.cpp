#include "monitor/zorder_guard.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvel {
namespace {

using namespace std::chrono_literals;

TEST(ZorderGuard, ActsOnAHostWindowThatAWindowAboveItCoversAtMostOnceInTenSeconds) {
  // Only a window above the host window that covers some of it: another monitor's wallpaper, a
  // sibling beside it in the same layer, leaves the guard alone.
  constexpr Rect on_first{0, 0, 1920, 1080}, on_second{1920, 0, 3840, 1080};
  const std::vector<Rect> beside{on_second}, corner{on_second, {1910, 1070, 1921, 1081}};
  EXPECT_FALSE(host_covered(on_first, {}));
  EXPECT_FALSE(host_covered(on_first, beside));
  EXPECT_TRUE(host_covered(on_first, corner));
  EXPECT_TRUE(host_covered(on_second, beside));

  const struct {
    std::optional<std::chrono::microseconds> last;
    std::chrono::microseconds now;
    bool due;
  } cases[] = {
      {std::nullopt, 0us, true}, {0us, 5s, false}, {0us, 9'999'999us, false}, {0us, 10s, true},
      {3s, 14s, true},           {20s, 5s, false}, {20s, 30s, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reassert_due(c.last, c.now), c.due) << c.now.count();
  }
}

}  // namespace
}  // namespace orvel
