#include "platform/sim_desktop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvel {
namespace {

using namespace std::chrono_literals;
constexpr std::uint32_t ping = 0x0400;

// What the windows of one run got, with the virtual time in microseconds.
struct Exchange {
  std::vector<std::string> trace;
  Hwnd a = 0;
  Hwnd b = 0;  // on a thread of its own
  int b_messages = 0;
};
Exchange exchange;

// A timer tick on either window is passed on to the other; the twelfth message on b ends both.
std::int64_t note(Platform& os, Hwnd window, std::uint32_t message, std::uint64_t wparam,
                  std::int64_t) noexcept {
  const bool on_b = window == exchange.b;
  exchange.trace.push_back(std::to_string(os.monotonic_now().count()) + (on_b ? " b " : " a ") +
                           std::to_string(message) + "/" + std::to_string(wparam));
  if (message == win::wm_timer) {
    static_cast<void>(os.post_message_w(on_b ? exchange.a : exchange.b, ping, wparam, 0));
  }
  if (on_b && ++exchange.b_messages == 12) {
    static_cast<void>(os.post_message_w(exchange.a, win::wm_close, 0, 0));
    os.post_quit_message(0);
  }
  if (message == win::wm_close) os.post_quit_message(0);
  return 0;
}

void pump(Platform& os) {
  Message message;
  while (os.get_message_w(message, 0, 0, 0).value_or(false)) os.dispatch_message_w(message);
}

void make_window_with_timer(Platform& os, Hwnd& window, std::uint32_t period_ms) {
  static_cast<void>(os.register_class_a({.procedure = note, .class_name = "A"}));
  window = *os.create_window_ex_a({.class_name = "A"});
  static_cast<void>(os.set_timer(window, period_ms, period_ms));
}

void run_b(Platform& os) noexcept {
  os.sleep(3ms);
  make_window_with_timer(os, exchange.b, 7);
  pump(os);
}

std::vector<std::string> run_exchange() {
  exchange = {};
  SimDesktop os;
  make_window_with_timer(os, exchange.a, 10);
  static_cast<void>(os.start_thread(run_b));
  pump(os);
  return exchange.trace;
}

TEST(SimScheduler, TwoThreadsExchangingMessagesAndTimersRunTheSameEveryTime) {
  const std::vector<std::string> first = run_exchange();
  ASSERT_GT(first.size(), 12u);
  for (int run = 0; run < 200; ++run) ASSERT_EQ(run_exchange(), first) << "run " << run;
}

void sleep_half_a_second(Platform& os) noexcept {
  os.sleep(500ms);
  static_cast<void>(os.post_message_w(exchange.a, win::wm_close, 0, 0));
}

TEST(SimScheduler, ASleepOnOneThreadMovesTimeByExactlyItsLength) {
  exchange = {};
  SimDesktop os;
  make_window_with_timer(os, exchange.a, 1000);
  static_cast<void>(os.start_thread(sleep_half_a_second));
  pump(os);
  EXPECT_EQ(os.elapsed(), 500ms);
}

TEST(SimSchedulerDeathTest, StopsWithTheCallLogWhenEveryThreadIsBlockedForGood) {
  EXPECT_DEATH(
      {
        SimDesktop os;
        static_cast<void>(os.find_window_a("Progman"));
        pump(os);
      },
      "every thread is blocked and nothing is due.*\n.*thread 1001: blocked(.|\n)*"
      "FindWindowA\\(\"Progman\"\\)\n  GetMessageW\\(0, 0, 0\\)");
}

// The monitor scenarios rely on both: a layer's children go with it, and a taskbar restart keeps
// the rest of the shell.
TEST(SimShell, ADestroyedLayerTakesItsChildrenAndARestartMovesOnlyTheTaskbar) {
  SimDesktop os;
  const auto shell =
      os.start_shell({.layout = SimDesktop::ShellLayout::raised, .layer_exists = true});
  const Hwnd host =
      os.create_window({.class_name = u"Host", .parent = shell.layer, .process_id = 42});
  os.destroy(shell.layer);
  EXPECT_FALSE(os.window(host).has_value());
  os.restart_taskbar(701);
  EXPECT_EQ(os.window(os.shell().taskbar)->process_id, 701u);
  EXPECT_EQ(os.window(os.shell().progman)->process_id, 700u);
}

}  // namespace
}  // namespace orvel
