#include "monitor/reattach.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvel {
namespace {

constexpr Hwnd the_host = 300;
const DesktopLayer new_layer{.window = 250, .mode = AttachMode::raised};

// A world that answers from a script and writes down what the worker did: "attach", "pause <ms>",
// "detach", "attached", and "report <message>".
struct Script final : ReattachCalls {
  std::optional<Hwnd> state_host = the_host;
  int alive_checks = 1000;       // is_window is true this many times
  int failing_attaches = 0;      // attaches that fail before one succeeds
  int closing_after_waits = -1;  // the close begins during this wait (0: the first)
  bool closing_after_attach = false;
  bool closed = false;
  int waits = 0;
  std::vector<std::string> did;

  bool closing() override { return closed; }
  void wait_until_destroyed() override {
    if (waits++ == closing_after_waits) closed = true;
  }
  std::optional<Hwnd> host() override { return state_host; }
  bool is_window(Hwnd) override { return alive_checks-- > 0; }
  Result<DesktopLayer> attach(Hwnd) override {
    did.push_back("attach");
    if (closing_after_attach) closed = true;
    if (failing_attaches-- > 0) return fail("WorkerW not found after spawn");
    return new_layer;
  }
  void detach(Hwnd) override { did.push_back("detach"); }
  void pause(std::chrono::milliseconds duration) override {
    did.push_back("pause " + std::to_string(duration.count()));
  }
  void attached(Hwnd, const DesktopLayer& layer) override {
    EXPECT_EQ(layer, new_layer);
    did.push_back("attached");
  }
  void report(const HelperError& error) override {
    did.push_back("report " + error.message +
                  (error.kind == ErrorKind::window_destroyed ? " [window-destroyed]" : ""));
  }
};

std::vector<std::string> times(int count, std::vector<std::string> steps) {
  std::vector<std::string> all;
  for (int i = 0; i < count; ++i) all.insert(all.end(), steps.begin(), steps.end());
  return all;
}

TEST(Reattach, TriesTenTimesAndStopsForTheCloseTheGoneHostAndAMissingState) {
  const std::string gone = "report " + std::string(host_destroyed_message) + " [window-destroyed]";
  std::vector<std::string> all_fail = times(9, {"attach", "pause 500"});
  all_fail.insert(all_fail.end(),
                  {"attach",
                   "report re-attach failed after 10 retries: WorkerW not found after "
                   "spawn"});
  std::vector<std::string> then_gone = times(3, {"attach", "pause 500"});
  then_gone.push_back(gone);

  const auto run = [](auto&& setup) {
    Script script;
    setup(script);
    reattach_host(script);
    return script.did;
  };
  using Steps = std::vector<std::string>;
  EXPECT_EQ(run([](Script&) {}), (Steps{"attach", "attached"}));
  EXPECT_EQ(run([](Script& s) { s.failing_attaches = 2; }),
            (Steps{"attach", "pause 500", "attach", "pause 500", "attach", "attached"}));
  EXPECT_EQ(run([](Script& s) { s.failing_attaches = 10; }), all_fail);
  EXPECT_EQ(run([](Script& s) { s.alive_checks = 0; }), (Steps{gone}));
  EXPECT_EQ(run([](Script& s) {
              s.failing_attaches = 10;
              s.alive_checks = 3;
            }),
            then_gone);
  EXPECT_EQ(run([](Script& s) { s.state_host = std::nullopt; }), Steps{});
  EXPECT_EQ(run([](Script& s) { s.state_host = 0; }), Steps{});
  // A close that began before the worker, during its wait for the destroyed window, or during a
  // pause after a failed try: no try after it.
  EXPECT_EQ(run([](Script& s) { s.closed = true; }), Steps{});
  EXPECT_EQ(run([](Script& s) { s.closing_after_waits = 0; }), Steps{});
  EXPECT_EQ(run([](Script& s) {
              s.failing_attaches = 5;
              s.closing_after_waits = 2;
            }),
            (Steps{"attach", "pause 500", "attach", "pause 500"}));
  // A close that began while the attach ran: the host window is given back, and nothing said.
  EXPECT_EQ(run([](Script& s) { s.closing_after_attach = true; }), (Steps{"attach", "detach"}));
}

}  // namespace
}  // namespace orvel
