#include "monitor/coverage.h"

#include <algorithm>

namespace orvel {
bool is_empty(const Rect& rect) {
  return rect.left >= rect.right || rect.top >= rect.bottom;
}

Rect intersection(const Rect& a, const Rect& b) {
  return {.left = std::max(a.left, b.left),
          .top = std::max(a.top, b.top),
          .right = std::min(a.right, b.right),
          .bottom = std::min(a.bottom, b.bottom)};
}

namespace {

// A segment tree over the bands between neighbouring edges in `ys`: node `node` spans the bands
// [low, high), and knows how much of its height the rectangles open at the sweep's x cover.
class Bands {
 public:
  explicit Bands(CoverScratch& scratch) : ys_(scratch.ys), nodes_(scratch.nodes) {}

  void add(std::int32_t top, std::int32_t bottom, std::int32_t delta) {
    update(1, 0, ys_.size() - 1, index(top), index(bottom), delta);
  }
  std::int64_t covered() const { return nodes_[1].covered; }

 private:
  std::size_t index(std::int32_t y) const {
    return static_cast<std::size_t>(std::ranges::lower_bound(ys_, y) - ys_.begin());
  }

  void update(std::size_t node, std::size_t low, std::size_t high, std::size_t from, std::size_t to,
              std::int32_t delta) {
    if (to <= low || high <= from) return;
    if (from <= low && high <= to) {
      nodes_[node].count += delta;
    } else {
      const std::size_t middle = low + (high - low) / 2;
      update(2 * node, low, middle, from, to, delta);
      update(2 * node + 1, middle, high, from, to, delta);
    }
    CoverScratch::Node& here = nodes_[node];
    if (here.count > 0) {
      here.covered = std::int64_t{ys_[high]} - ys_[low];
    } else if (high - low == 1) {
      here.covered = 0;
    } else {
      here.covered = nodes_[2 * node].covered + nodes_[2 * node + 1].covered;
    }
  }

  const std::vector<std::int32_t>& ys_;
  std::vector<CoverScratch::Node>& nodes_;
};

}  // namespace

// Sweeps from left to right over the rectangles' vertical edges inside the target: between two
// neighbouring edges the open rectangles must cover the target's whole height.
bool rect_covered(const Rect& target, std::span<const Rect> covers, CoverScratch& scratch) {
  if (is_empty(target)) return true;
  scratch.ys.assign({target.top, target.bottom});
  scratch.edges.clear();
  for (const Rect& cover : covers) {
    const Rect part = intersection(cover, target);
    if (is_empty(part)) continue;
    if (part == target) return true;
    scratch.ys.insert(scratch.ys.end(), {part.top, part.bottom});
    scratch.edges.push_back({.x = part.left, .top = part.top, .bottom = part.bottom, .delta = 1});
    scratch.edges.push_back({.x = part.right, .top = part.top, .bottom = part.bottom, .delta = -1});
  }
  if (scratch.edges.empty()) return false;
  std::ranges::sort(scratch.ys);
  scratch.ys.erase(std::ranges::unique(scratch.ys).begin(), scratch.ys.end());
  std::ranges::sort(scratch.edges, {}, &CoverScratch::Edge::x);
  scratch.nodes.assign(4 * scratch.ys.size(), {});

  Bands bands(scratch);
  const std::int64_t height = std::int64_t{target.bottom} - target.top;
  std::int32_t x = target.left;
  for (std::size_t i = 0; i < scratch.edges.size();) {
    if (scratch.edges[i].x > x && bands.covered() < height) return false;
    x = scratch.edges[i].x;
    for (; i < scratch.edges.size() && scratch.edges[i].x == x; ++i) {
      const CoverScratch::Edge& edge = scratch.edges[i];
      bands.add(edge.top, edge.bottom, edge.delta);
    }
  }
  // Every rectangle has closed by the last edge: the target is covered only up to there.
  return x == target.right;
}

}  // namespace orvel
