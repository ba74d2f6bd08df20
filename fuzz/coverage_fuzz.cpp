#include <cstddef>
#include <cstdint>
#include <vector>

#include "monitor/coverage.h"
#include "require.h"

namespace {

// Small coordinates, -4 to 11, so that the oracle can look at every unit square.
std::int32_t coordinate(std::uint8_t byte) {
  return static_cast<std::int32_t>(byte & 0x0F) - 4;
}

orvel::Rect rect_from(const std::uint8_t* bytes) {
  return {.left = coordinate(bytes[0]),
          .top = coordinate(bytes[1]),
          .right = coordinate(bytes[2]),
          .bottom = coordinate(bytes[3])};
}

bool contains(const orvel::Rect& rect, std::int32_t x, std::int32_t y) {
  return rect.left <= x && x < rect.right && rect.top <= y && y < rect.bottom;
}

// The target is covered when every unit square inside it lies inside some cover.
bool grid_covered(const orvel::Rect& target, const std::vector<orvel::Rect>& covers) {
  for (std::int32_t x = target.left; x < target.right; ++x) {
    for (std::int32_t y = target.top; y < target.bottom; ++y) {
      bool inside = false;
      for (const orvel::Rect& cover : covers) inside = inside || contains(cover, x, y);
      if (!inside) return false;
    }
  }
  return true;
}

}  // namespace

// The input is a run of rectangles, four bytes each: the first is the target, the rest cover it.
// One scratch space serves every input, as one serves every recomputation in the helper.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static orvel::CoverScratch scratch;
  if (size < 4) return 0;
  const orvel::Rect target = rect_from(data);
  std::vector<orvel::Rect> covers;
  for (std::size_t i = 4; i + 4 <= size; i += 4) covers.push_back(rect_from(data + i));
  require(orvel::rect_covered(target, covers, scratch) == grid_covered(target, covers));
  return 0;
}
