#include <benchmark/benchmark.h>

#include <chrono>

#include "monitor/monitor.h"
#include "monitor/state.h"
#include "unit/mouse/quiet_desktop.h"

namespace orvel {
namespace {

using namespace std::chrono_literals;

// A move within 4 ms of the last "mousemove" is only stored, for the mouse timer to send.
void BM_StoredMove(benchmark::State& state) {
  QuietDesktop os;
  if (!os.start_forwarding()) return state.SkipWithError("set-up failed");
  const std::int64_t move = os.record({});
  os.now = 10ms;
  monitor_window_proc(os, os.window, win::wm_input, 1, move);
  if (os.lines_written != 1) return state.SkipWithError("the first move was not sent");
  os.now += 1ms;
  os.cursor = {600, 600};
  for (auto _ : state) {
    benchmark::DoNotOptimize(monitor_window_proc(os, os.window, win::wm_input, 1, move));
  }
  if (os.lines_written != 1) state.SkipWithError("a stored move was sent");
}
BENCHMARK(BM_StoredMove);

// Each move comes 4 ms after the last one, at a new position, so each writes a line.
void BM_SentMove(benchmark::State& state) {
  QuietDesktop os;
  if (!os.start_forwarding()) return state.SkipWithError("set-up failed");
  const std::int64_t move = os.record({});
  const std::size_t lines_before = os.lines_written;
  for (auto _ : state) {
    os.now += 4ms;
    os.cursor.x ^= 1;
    benchmark::DoNotOptimize(monitor_window_proc(os, os.window, win::wm_input, 1, move));
  }
  if (os.lines_written - lines_before != static_cast<std::size_t>(state.iterations())) {
    state.SkipWithError("not every move was sent");
  }
}
BENCHMARK(BM_SentMove);

// The destroy hook sees every window that goes anywhere; one that is neither the host window nor
// its layer changes nothing.
void BM_UnrelatedDestroy(benchmark::State& state) {
  QuietDesktop os;
  if (!os.start_forwarding()) return state.SkipWithError("set-up failed");
  const SysResult<Hwnd> host = os.create_window_ex_a({.class_name = "W"});
  const SysResult<Hwnd> unrelated = os.create_window_ex_a({.class_name = "W"});
  const std::optional<Hhook> hook = os.set_win_event_hook(
      win::event_object_destroy, win::event_object_destroy, 0, on_shell_event, 0, 0, 0);
  if (!host || !unrelated || !hook) return state.SkipWithError("set-up failed");
  lock_monitor_state().value() =
      MonitorState{.host = *host, .workerw = os.shell.layer, .explorer_pid = 700, .zguard = true};
  const std::size_t lines_before = os.lines_written;
  for (auto _ : state) {
    on_shell_event(os, *hook, win::event_object_destroy, *unrelated, win::objid_window, 0, 0, 0);
  }
  if (os.lines_written != lines_before) state.SkipWithError("an unrelated destroy was reported");
}
BENCHMARK(BM_UnrelatedDestroy);

}  // namespace
}  // namespace orvel

BENCHMARK_MAIN();
