#include <benchmark/benchmark.h>

#include <vector>

#include "monitor/coverage.h"
#include "monitor/shell_events.h"
#include "monitor/visibility_rules.h"
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

// The visibility hooks see every cursor move of every process as a location change: the filter
// that drops it before anything else.
void BM_UnrelatedEventFilter(benchmark::State& state) {
  constexpr std::int32_t objid_cursor = -9;
  std::uint32_t event = win::event_object_locationchange;
  int interested = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(event);
    const ShellInterest interest = shell_interest(event, objid_cursor, true);
    interested += interest.visibility || interest.layer;
  }
  if (interested != 0) state.SkipWithError("a cursor move made the answer stale");
}
BENCHMARK(BM_UnrelatedEventFilter);

constexpr Rect bench_monitor{0, 0, 1920, 1080};
const Rect monitors[] = {bench_monitor};

// 200 windows tiling the monitor, 20 across and 10 down with a few pixels of overlap: no window
// covers it alone, so the sweep runs to the monitor's right edge.
std::vector<Rect> tiled_windows() {
  std::vector<Rect> windows;
  for (int column = 0; column < 20; ++column) {
    for (int row = 0; row < 10; ++row) {
      windows.push_back({column * 96 - 3, row * 108 - 3, column * 96 + 99, row * 108 + 111});
    }
  }
  return windows;
}

// 200 windows of any size anywhere on two monitors side by side, as a busy desktop has them.
std::vector<Rect> scattered_windows() {
  std::vector<Rect> windows;
  std::uint32_t seed = 12345;
  const auto next = [&seed](std::int32_t below) {
    seed = seed * 1'103'515'245u + 12'345u;
    return static_cast<std::int32_t>((seed >> 8) % static_cast<std::uint32_t>(below));
  };
  while (windows.size() < 200) {
    const std::int32_t left = next(3840) - 200, top = next(1080) - 100;
    windows.push_back({left, top, left + 40 + next(900), top + 30 + next(700)});
  }
  return windows;
}

void BM_VisibilityTiled200(benchmark::State& state) {
  const std::vector<Rect> windows = tiled_windows();
  CoverScratch scratch;
  int seen = 0;
  for (auto _ : state) {
    seen += window_visible({.window = bench_monitor}, monitors, windows, scratch);
  }
  if (seen != 0) state.SkipWithError("a tiled monitor was seen");
}
BENCHMARK(BM_VisibilityTiled200);

void BM_VisibilityScattered200(benchmark::State& state) {
  const std::vector<Rect> windows = scattered_windows();
  CoverScratch scratch;
  for (auto _ : state) {
    benchmark::DoNotOptimize(window_visible({.window = bench_monitor}, monitors, windows, scratch));
  }
}
BENCHMARK(BM_VisibilityScattered200);

}  // namespace
}  // namespace orvel

BENCHMARK_MAIN();
