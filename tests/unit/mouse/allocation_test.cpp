#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "unit/mouse/quiet_desktop.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> allocations{0};

}  // namespace

// Every allocation of the test program passes here; only those made while counting are counted.
void* operator new(std::size_t size) {
  if (counting) ++allocations;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace orvel {
namespace {

using namespace std::chrono_literals;

// From WM_INPUT to the bytes of the line, the mouse path allocates nothing once it is set up.
TEST(MousePath, AllocatesNothingAfterSetUp) {
  QuietDesktop os;
  ASSERT_TRUE(os.start_forwarding());
  // A press, a move, its release, a wheel step and a move, then a timer tick.
  const RawInputRecord kinds[] = {{.button_flags = 0x0001},
                                  {},
                                  {.button_flags = 0x0002},
                                  {.button_flags = 0x0400, .button_data = 120},
                                  {}};
  counting = true;
  for (int i = 0; i < 100'000; ++i) {
    os.now += 3ms;
    os.cursor = {i % 1920, (i / 1920) % 1080};
    os.input(kinds[i % 5]);
    if (i % 5 == 4) os.tick();
  }
  counting = false;
  EXPECT_EQ(allocations, 0u);
  EXPECT_GT(os.lines_written, 80'000u);
}

}  // namespace
}  // namespace orvel
