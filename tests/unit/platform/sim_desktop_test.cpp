#include "platform/sim_desktop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvel {
namespace {

using namespace std::chrono_literals;

// Who woke when, in milliseconds of virtual time since the run began.
std::vector<std::string> woken;
std::chrono::microseconds run_start;

template <int period_ms>
void tick_six_times(Platform& os) noexcept {
  for (int i = 0; i < 6; ++i) {
    os.sleep(std::chrono::milliseconds(period_ms));
    woken.push_back(std::to_string(period_ms) +
                    "ms:" + std::to_string((os.monotonic_now() - run_start) / 1ms));
  }
}

std::vector<std::string> run_two_tickers() {
  woken.clear();
  SimDesktop os;
  run_start = os.monotonic_now();
  static_cast<void>(os.start_thread(tick_six_times<2>));
  static_cast<void>(os.start_thread(tick_six_times<3>));
  os.run_for(1s);
  return woken;
}

// Each sleep ends exactly when due, and of threads that wake together the one that went to sleep
// first goes first, on every run.
TEST(SimScheduler, RealThreadsSleepExactlyAndRunTheSameEveryTime) {
  const std::vector<std::string> first = run_two_tickers();
  EXPECT_THAT(first,
              testing::ElementsAre("2ms:2", "3ms:3", "2ms:4", "3ms:6", "2ms:6", "2ms:8", "3ms:9",
                                   "2ms:10", "3ms:12", "2ms:12", "3ms:15", "3ms:18"));
  for (int run = 0; run < 200; ++run) ASSERT_EQ(run_two_tickers(), first) << "run " << run;
}

TEST(SimSchedulerDeathTest, StopsWithTheCallLogWhenEveryThreadIsBlockedForGood) {
  EXPECT_DEATH(
      {
        SimDesktop os;
        static_cast<void>(os.find_window_a("Progman"));
        Message message;
        static_cast<void>(os.get_message_w(message, 0, 0, 0));
      },
      "every thread is blocked and nothing is due.*\n.*thread 1001: blocked(.|\n)*"
      "FindWindowA\\(\"Progman\"\\)\n  GetMessageW\\(0, 0, 0\\)");
}

}  // namespace
}  // namespace orvel
