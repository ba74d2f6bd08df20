#include <benchmark/benchmark.h>

#include "monitor/decisions.h"
#include "mouse/translate.h"

namespace orvel {
namespace {

// The desktop in front and under the cursor, its answers plain values: what is measured is the
// translation alone, with the cost of asking kept to a virtual call.
struct Facts final : MouseFacts {
  Point at{500, 500};
  std::uint64_t now = 1'000'000;

  bool buttons_swapped() override { return false; }
  bool desktop_is_foreground() override { return true; }
  std::optional<Point> cursor() override { return at; }
  bool over_desktop(Point) override { return true; }
  std::uint64_t now_micros() override { return now; }
};

// A move within 4 ms of the last "mousemove" is only stored, for the mouse timer to send.
void BM_StoredMove(benchmark::State& state) {
  MouseTranslator translator;
  Facts facts;
  std::size_t events = translator.on_record({}, facts).size();
  facts.now += 1000;
  for (auto _ : state) {
    facts.at.x ^= 1;
    events += translator.on_record({}, facts).size();
  }
  if (events != 1) state.SkipWithError("a stored move was sent");
}
BENCHMARK(BM_StoredMove);

// Each move comes 4 ms after the last one, at a new position, so each gives a "mousemove".
void BM_SentMove(benchmark::State& state) {
  MouseTranslator translator;
  Facts facts;
  std::size_t events = 0;
  for (auto _ : state) {
    facts.now += 4000;
    facts.at.x ^= 1;
    events += translator.on_record({}, facts).size();
  }
  if (events != static_cast<std::size_t>(state.iterations())) state.SkipWithError("a move stayed");
}
BENCHMARK(BM_SentMove);

// A press and its release over the desktop: two records, a "mousedown" and a "mouseup".
void BM_Click(benchmark::State& state) {
  MouseTranslator translator;
  Facts facts;
  std::size_t events = 0;
  for (auto _ : state) {
    events += translator.on_record({.button_flags = 0x0001}, facts).size();
    events += translator.on_record({.button_flags = 0x0002}, facts).size();
  }
  state.SetItemsProcessed(2 * state.iterations());
  if (events != 2 * static_cast<std::size_t>(state.iterations())) {
    state.SkipWithError("a click went missing");
  }
}
BENCHMARK(BM_Click);

// One notch forward over the desktop.
void BM_Wheel(benchmark::State& state) {
  MouseTranslator translator;
  Facts facts;
  std::size_t events = 0;
  for (auto _ : state) {
    events += translator.on_record({.button_flags = 0x0400, .button_data = 120}, facts).size();
  }
  if (events != static_cast<std::size_t>(state.iterations())) state.SkipWithError("no wheel");
}
BENCHMARK(BM_Wheel);

// The shell hooks see the destruction of every window of every process: the decision for one that
// is neither the host window nor its layer.
void BM_UnrelatedDestroy(benchmark::State& state) {
  const Watched watched{.host = 300, .workerw = 200, .zguard = true};
  Hwnd window = 1000;
  int reactions = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(window += 2);
    reactions +=
        react_to_shell_event(win::event_object_destroy, window, watched) != ShellReaction::none;
  }
  if (reactions != 0) state.SkipWithError("an unrelated window needed a reaction");
}
BENCHMARK(BM_UnrelatedDestroy);

}  // namespace
}  // namespace orvel

BENCHMARK_MAIN();
