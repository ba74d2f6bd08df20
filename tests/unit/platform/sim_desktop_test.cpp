#include "platform/sim_desktop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvel {
namespace {

using namespace std::chrono_literals;
using testing::ElementsAre;

constexpr std::uint32_t ping = 0x0400;
constexpr std::uint32_t pong = 0x0401;

// What the two threads of one run saw, with the virtual time in microseconds.
struct Exchange {
  std::vector<std::string> trace;
  Hwnd a = 0;
  Hwnd b = 0;
  int pongs = 0;
};
Exchange exchange;

void note(Platform& os, const char* who, std::uint32_t message, std::uint64_t wparam) {
  exchange.trace.push_back(std::to_string(os.monotonic_now().count()) + " " + who + " " +
                           std::to_string(message) + "/" + std::to_string(wparam));
}

std::int64_t proc_a(Platform& os, Hwnd window, std::uint32_t message, std::uint64_t wparam,
                    std::int64_t) noexcept {
  note(os, "a", message, wparam);
  if (message == ping) static_cast<void>(os.post_message_w(exchange.b, pong, wparam, 0));
  if (message == win::wm_close) os.post_quit_message(0);
  static_cast<void>(window);
  return 0;
}

std::int64_t proc_b(Platform& os, Hwnd, std::uint32_t message, std::uint64_t wparam,
                    std::int64_t) noexcept {
  note(os, "b", message, wparam);
  if (message == win::wm_timer) static_cast<void>(os.post_message_w(exchange.a, ping, wparam, 0));
  if (message == pong && ++exchange.pongs == 6) {
    static_cast<void>(os.post_message_w(exchange.a, win::wm_close, 0, 0));
    os.post_quit_message(0);
  }
  return 0;
}

void pump(Platform& os) {
  Message message;
  while (os.get_message_w(message, 0, 0, 0).value_or(false)) os.dispatch_message_w(message);
}

void run_b(Platform& os) noexcept {
  exchange.b = *os.create_window_ex_a({.class_name = "B"});
  static_cast<void>(os.set_timer(exchange.b, 7, 7));
  os.sleep(3ms);
  pump(os);
}

std::vector<std::string> run_exchange() {
  exchange = {};
  SimDesktop os;
  static_cast<void>(os.register_class_a({.procedure = proc_a, .class_name = "A"}));
  static_cast<void>(os.register_class_a({.procedure = proc_b, .class_name = "B"}));
  exchange.a = *os.create_window_ex_a({.class_name = "A"});
  static_cast<void>(os.set_timer(exchange.a, 1, 10));
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
  static_cast<void>(os.register_class_a({.procedure = proc_a, .class_name = "A"}));
  exchange.a = *os.create_window_ex_a({.class_name = "A"});
  static_cast<void>(os.start_thread(sleep_half_a_second));
  pump(os);
  EXPECT_EQ(os.elapsed(), 500ms);
  EXPECT_THAT(exchange.trace, ElementsAre("1500000 a 16/0"));
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

std::vector<std::string> destroyed;
void on_destroy(Platform&, Hhook, std::uint32_t event, Hwnd window, std::int32_t, std::int32_t,
                std::uint32_t, std::uint32_t) noexcept {
  destroyed.push_back(std::to_string(event) + " " + std::to_string(window));
}

TEST(SimShell, ADestroyedLayerTakesTheHostOfAnotherProcessWithItAndARestartMovesTheTaskbar) {
  SimDesktop os;
  os.add_monitor({0, 0, 1920, 1080});
  const auto shell =
      os.start_shell({.layout = SimDesktop::ShellLayout::raised, .layer_exists = true});
  const Hwnd host =
      os.create_window({.class_name = u"Host", .parent = shell.layer, .process_id = 42});
  ASSERT_TRUE(os.set_win_event_hook(win::event_object_destroy, win::event_object_destroy, 0,
                                    on_destroy, 0, 0, win::winevent_skipownprocess));
  static_cast<void>(os.register_class_a({.procedure = proc_a, .class_name = "A"}));
  exchange.a = *os.create_window_ex_a({.class_name = "A"});
  os.at(1s, [&] { os.destroy(shell.layer); });
  os.at(2s, [&] { os.restart_taskbar(701); });
  os.at(3s, [&] { os.post_from_outside(exchange.a, win::wm_close); });
  pump(os);

  EXPECT_THAT(destroyed,
              ElementsAre("32769 " + std::to_string(shell.layer), "32769 " + std::to_string(host),
                          "32769 " + std::to_string(shell.taskbar)));
  EXPECT_FALSE(os.window(host).has_value());
  EXPECT_EQ(os.window(os.shell().taskbar)->process_id, 701u);
  EXPECT_EQ(os.window(os.shell().progman)->process_id, 700u);
}

}  // namespace
}  // namespace orvel
