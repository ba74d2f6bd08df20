#include "monitor/reattach.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orvel {
namespace {

using namespace std::chrono_literals;

constexpr Hwnd the_host = 300, old_layer = 200;
const DesktopLayer new_layer{.window = 250, .mode = AttachMode::raised};

// A world that answers from a script and writes down what the worker did: "attach", "pause <ms>",
// "detach", "attached", and "report <message>".
struct Script final : ReattachCalls {
  std::optional<Hwnd> state_host = the_host;
  Hwnd destroyed = 0;
  int lingering = 0;              // the destroyed old layer is still there for this many looks
  int alive_checks = 1000;        // the host window is there for this many looks
  int failing_attaches = 0;       // tries that fail before one succeeds
  int closing_after_pauses = -1;  // the close begins during this pause (0: the first)
  bool closing_during_search = false, closing_after_attach = false;
  bool closed = false;
  bool in_step = false;
  int pauses = 0;
  std::vector<std::string> did;

  bool closing() override { return closed; }
  Hwnd take_destroyed() override { return std::exchange(destroyed, 0); }
  std::optional<Hwnd> host() override { return state_host; }
  bool is_window(Hwnd window) override {
    return window == old_layer ? lingering-- > 0 : alive_checks-- > 0;
  }
  // A try: the search, then the attach to what it found.
  Result<LayerFound> find_layer(Hwnd) override {
    did.push_back("attach");
    if (closing_during_search) closed = true;
    if (failing_attaches-- > 0) {
      return fail(ErrorKind::layer_not_found, "WorkerW not found after spawn");
    }
    return LayerFound{.layer = new_layer};
  }
  // An attach, its answer and a give-back happen only inside one step, which the close waits for.
  Result<DesktopLayer> attach(Hwnd, const LayerFound& found) override {
    EXPECT_TRUE(in_step);
    if (closing_after_attach) closed = true;
    return found.layer;
  }
  void detach(Hwnd) override {
    EXPECT_TRUE(in_step);
    did.push_back("detach");
  }
  void begin_attach_step() override {
    EXPECT_FALSE(in_step);
    in_step = true;
  }
  void end_attach_step() override {
    EXPECT_TRUE(in_step);
    in_step = false;
  }
  void pause(std::chrono::milliseconds duration) override {
    EXPECT_FALSE(in_step);
    did.push_back("pause " + std::to_string(duration.count()));
    if (pauses++ == closing_after_pauses) closed = true;
  }
  bool attached(Hwnd, const DesktopLayer& layer) override {
    EXPECT_TRUE(in_step);
    EXPECT_EQ(layer, new_layer);
    if (closed) return false;
    did.push_back("attached");
    return true;
  }
  void report(const HelperError& error) override {
    did.push_back("report " + error.message + " [" + std::string(error_kind_text(error.kind)) +
                  "]");
  }
};

using Steps = std::vector<std::string>;

// `count` times `steps`, then `tail`.
Steps times(int count, const Steps& steps, const Steps& tail) {
  Steps all;
  for (int i = 0; i < count; ++i) all.insert(all.end(), steps.begin(), steps.end());
  all.insert(all.end(), tail.begin(), tail.end());
  return all;
}

TEST(Reattach, WaitsForTheOldLayerTriesTenTimesAndStopsForTheCloseTheGoneHostAndAMissingState) {
  const std::string gone = "report " + std::string(host_destroyed_message) + " [window-destroyed]";
  const auto run = [](auto&& setup) {
    Script script;
    setup(script);
    reattach_host(script);
    EXPECT_FALSE(script.in_step);
    return script.did;
  };
  EXPECT_EQ(run([](Script&) {}), (Steps{"attach", "attached"}));
  // The destroyed old layer is looked for every 50 ms, for a second at most.
  EXPECT_EQ(run([](Script& s) { s.destroyed = old_layer, s.lingering = 2; }),
            times(2, {"pause 50"}, {"attach", "attached"}));
  EXPECT_EQ(run([](Script& s) { s.destroyed = old_layer, s.lingering = 1000; }),
            times(20, {"pause 50"}, {"attach", "attached"}));
  EXPECT_EQ(run([](Script& s) { s.failing_attaches = 2; }),
            times(2, {"attach", "pause 500"}, {"attach", "attached"}));
  EXPECT_EQ(run([](Script& s) { s.failing_attaches = 10; }),
            times(9, {"attach", "pause 500"},
                  {"attach",
                   "report re-attach failed after 10 retries: WorkerW not found after "
                   "spawn [reattach-failed]"}));
  EXPECT_EQ(run([](Script& s) { s.alive_checks = 0; }), (Steps{gone}));
  EXPECT_EQ(run([](Script& s) { s.failing_attaches = 10, s.alive_checks = 3; }),
            times(3, {"attach", "pause 500"}, {gone}));
  EXPECT_EQ(run([](Script& s) { s.state_host = std::nullopt; }), Steps{});
  EXPECT_EQ(run([](Script& s) { s.state_host = 0; }), Steps{});
  // A close that began before the worker, during its wait for the destroyed window, or during a
  // pause after a failed try: no try after it.
  EXPECT_EQ(run([](Script& s) { s.closed = true; }), Steps{});
  EXPECT_EQ(
      run([](Script& s) { s.destroyed = old_layer, s.lingering = 5, s.closing_after_pauses = 1; }),
      (Steps{"pause 50", "pause 50"}));
  EXPECT_EQ(run([](Script& s) { s.failing_attaches = 5, s.closing_after_pauses = 1; }),
            times(2, {"attach", "pause 500"}, {}));
  // A close that began while a try ran: a host window attached is given back, and nothing is said.
  EXPECT_EQ(run([](Script& s) { s.closing_after_attach = true; }), (Steps{"attach", "detach"}));
  // A close that began during the search: the host window is left alone, and nothing is said.
  EXPECT_EQ(run([](Script& s) { s.closing_during_search = true; }), Steps{"attach"});
  EXPECT_EQ(run([](Script& s) { s.closing_during_search = true, s.failing_attaches = 10; }),
            Steps{"attach"});
}

TEST(WorkerGate, OneWorkerAtATimeAndATriggerWhileItRunsMakesItRunOnceMore) {
  WorkerGate gate;
  EXPECT_FALSE(gate.running());
  EXPECT_TRUE(gate.claim());
  EXPECT_FALSE(gate.claim());
  EXPECT_FALSE(gate.claim());  // two triggers while it ran: one more run covers both
  EXPECT_TRUE(gate.running());
  EXPECT_TRUE(gate.finish());
  EXPECT_TRUE(gate.running());
  EXPECT_FALSE(gate.finish());
  EXPECT_FALSE(gate.running());
  EXPECT_TRUE(gate.claim());
  gate.abandon();
  EXPECT_FALSE(gate.running());
  EXPECT_TRUE(gate.claim());
}

// Triggers on one thread, a worker that ends at any moment on another: every trigger is followed
// by a run that began after it, and never do two workers run at once.
TEST(WorkerGate, NoTriggerIsLostWhileTheWorkerEnds) {
  WorkerGate gate;
  std::atomic<int> triggers{0}, seen{0}, workers{0};
  std::atomic<bool> overlap{false};
  const auto work = [&] {
    do {
      if (workers.fetch_add(1) != 0) overlap = true;
      seen = triggers.load();
      workers.fetch_sub(1);
    } while (gate.finish());
  };
  std::vector<std::jthread> started;
  for (int i = 0; i < 20'000; ++i) {
    triggers.fetch_add(1);
    if (gate.claim()) started.emplace_back(work);
    if (started.size() > 64) started.clear();
  }
  started.clear();
  EXPECT_FALSE(gate.running());
  EXPECT_FALSE(overlap);
  EXPECT_EQ(seen, triggers);
}

}  // namespace
}  // namespace orvel
