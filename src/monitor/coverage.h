#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/types.h"

namespace orvel {

// The working space of `rect_covered`, kept by the caller from one computation to the next so
// that a recomputation allocates nothing once the space has grown to the desktop's size.
struct CoverScratch {
  struct Edge {
    std::int32_t x;
    std::int32_t top;
    std::int32_t bottom;
    std::int32_t delta;  // +1 where a rectangle begins, -1 where it ends
  };
  struct Node {
    std::int32_t count = 0;    // rectangles spanning the node's whole band
    std::int64_t covered = 0;  // the height of the band under at least one rectangle
  };
  std::vector<std::int32_t> ys;
  std::vector<Edge> edges;
  std::vector<Node> nodes;
};

// A rectangle whose right or bottom edge is not beyond its left or top edge holds no point.
bool is_empty(const Rect& rect);
Rect intersection(const Rect& a, const Rect& b);

// True when every point of `target` lies under at least one of `covers`. A rectangle whose right
// or bottom edge is not beyond its left or top edge is empty: it covers nothing, and an empty
// target is covered.
bool rect_covered(const Rect& target, std::span<const Rect> covers, CoverScratch& scratch);

}  // namespace orvel
