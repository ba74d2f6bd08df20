#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "monitor/monitor.h"
#include "monitor/state.h"
#include "mouse/forwarding.h"
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

constexpr std::uint16_t left_down = 0x0001;
constexpr std::uint16_t left_up = 0x0002;
constexpr std::uint16_t wheel = 0x0400;

// From WM_INPUT to the bytes of the line, the mouse path allocates nothing once it is set up.
TEST(MousePath, AllocatesNothingAfterSetUp) {
  reset_monitor_process_state();
  QuietDesktop os;
  os.add_monitor({0, 0, 1920, 1080});
  const auto shell = os.start_shell({.layer_exists = true});
  ASSERT_TRUE(os.register_class_a({.procedure = monitor_window_proc, .class_name = "W"}));
  const Hwnd window = *os.create_window_ex_a({.class_name = "W"});
  monitor_values().message_window = window;
  ASSERT_TRUE(start_mouse_forwarding(os, shell.layer));
  os.progman = os.foreground = os.under_cursor = shell.progman;

  const RawInputRecord kinds[] = {{.button_flags = left_down},
                                  {},
                                  {.button_flags = left_up},
                                  {.button_flags = wheel, .button_data = 120},
                                  {}};
  counting = true;
  for (int i = 0; i < 100'000; ++i) {
    os.now += 3ms;
    os.cursor = {i % 1920, (i / 1920) % 1080};
    const std::int64_t record = os.record(kinds[i % 5]);
    monitor_window_proc(os, window, win::wm_input, 1, record);
    if (i % 5 == 4) monitor_window_proc(os, window, win::wm_timer, mouse_timer_id, 0);
  }
  counting = false;

  EXPECT_EQ(allocations, 0u);
  EXPECT_GT(os.lines_written, 80'000u);
}

}  // namespace
}  // namespace orvel
