#include "monitor/coverage.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvel {
namespace {

TEST(RectCovered, TellsWhetherTheUnionOfRectanglesLeavesAnyPointOfTheTargetOpen) {
  constexpr Rect screen{0, 0, 100, 100};
  const struct {
    Rect target;
    std::vector<Rect> covers;
    bool covered;
  } cases[] = {
      {screen, {}, false},
      {{5, 5, 5, 9}, {}, true},
      {screen, {{-10, -10, 110, 110}}, true},
      // Halves, in any order, and a gap of one pixel between them.
      {screen, {{50, 0, 100, 100}, {0, 0, 50, 100}}, true},
      {screen, {{0, 0, 49, 100}, {50, 0, 100, 100}}, false},
      // Four windows around a hole, then a fifth that fills it.
      {screen, {{0, 0, 60, 40}, {60, 0, 100, 60}, {40, 60, 100, 100}, {0, 40, 40, 100}}, false},
      {screen,
       {{0, 0, 60, 40}, {60, 0, 100, 60}, {40, 60, 100, 100}, {0, 40, 40, 100}, {40, 40, 60, 60}},
       true},
      // Overlaps count once; empty and inverted rectangles cover nothing.
      {screen, {{0, 0, 80, 100}, {20, 0, 100, 100}, {30, 0, 30, 100}, {90, 100, 10, 0}}, true},
      {screen, {{0, 0, 100, 99}, {200, 0, 300, 100}}, false},
      // A target that ends after the last cover's edge.
      {{10, 10, 40, 20}, {{0, 0, 15, 30}, {15, 0, 30, 30}}, false},
      // The whole coordinate range, without overflow.
      {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
       {{INT32_MIN, INT32_MIN, 0, INT32_MAX}, {0, INT32_MIN, INT32_MAX, INT32_MAX}},
       true},
  };
  CoverScratch scratch;
  for (const auto& c : cases) {
    EXPECT_EQ(rect_covered(c.target, c.covers, scratch), c.covered) << "case " << &c - cases;
  }
}

}  // namespace
}  // namespace orvel
