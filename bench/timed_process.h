// Whole-process timing under Wine: a program beside this one whose standard output is read by a
// thread of its own, each line stamped with the performance counter as it arrives, so that a
// timing does not wait for the next look at a pipe; and the medians and quartiles of samples.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "wine_desktop/desktop.h"

// Each benchmark is one source file, which includes this header once. A timing taken while the
// desktop failed means nothing: the benchmark ends.
void orvel::desktop::report_failure(const std::string& what) {
  std::fprintf(stderr, "benchmark: %s\n", what.c_str());
  std::exit(1);
}

namespace orvel::bench {

inline double now_ms() {
  LARGE_INTEGER counter;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Serves this thread's windows for `ms`: the programs timed may ask things of them.
inline void serve_for(double ms) {
  for (const double end = now_ms() + ms;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    const double left = end - now_ms();
    if (left <= 0) return;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left) + 1, QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
}

struct Line {
  std::string text;
  double arrived_ms = 0;  // on now_ms's clock
};

// A program beside this one as desktop::Process starts it, whose standard output a thread of its
// own reads.
class TimedProcess {
 public:
  TimedProcess(std::wstring_view program, std::wstring_view arguments)
      : process_(program, arguments),
        out_(process_.take_output()),
        arrived_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
        reader_([this] { read(); }) {}
  TimedProcess(const TimedProcess&) = delete;
  TimedProcess& operator=(const TimedProcess&) = delete;
  ~TimedProcess() {
    close_input();
    wait();
    reader_.join();
  }

  void write(std::string_view text) { process_.write(text); }
  void close_input() { process_.close_input(); }
  // Waits for it to end, serving this thread's windows.
  void wait() { process_.wait(); }

  // The next line, serving this thread's windows while it comes; empty if none came in time.
  std::optional<Line> next_line(DWORD timeout_ms = 15'000) {
    for (const double end = now_ms() + timeout_ms;;) {
      {
        const std::lock_guard lock(lock_);
        if (!lines_.empty()) {
          Line line = std::move(lines_.front());
          lines_.pop_front();
          return line;
        }
        if (ended_) return std::nullopt;
      }
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      const double left = end - now_ms();
      if (left <= 0) return std::nullopt;
      const HANDLE arrived = arrived_.get();
      MsgWaitForMultipleObjectsEx(1, &arrived, static_cast<DWORD>(left) + 1, QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
    }
  }

 private:
  void read() {
    std::string pending;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(out_.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
      const double arrived = now_ms();
      pending.append(buffer, read);
      const std::lock_guard lock(lock_);
      for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        lines_.push_back({pending.substr(0, end), arrived});
        pending.erase(0, end + 1);
      }
      SetEvent(arrived_.get());
    }
    const std::lock_guard lock(lock_);
    ended_ = true;
    SetEvent(arrived_.get());
  }

  desktop::Process process_;
  desktop::Handle out_, arrived_;
  std::mutex lock_;
  std::deque<Line> lines_;
  bool ended_ = false;
  std::thread reader_;
};

// The median and quartiles of samples, in their unit.
struct Spread {
  double q1, median, q3;
};
inline Spread spread(std::vector<double> samples) {
  std::ranges::sort(samples);
  const auto at = [&](double fraction) {
    const double place = fraction * static_cast<double>(samples.size() - 1);
    const auto below = static_cast<std::size_t>(place);
    const std::size_t above = std::min(below + 1, samples.size() - 1);
    return samples[below] +
           (place - static_cast<double>(below)) * (samples[above] - samples[below]);
  };
  return {at(0.25), at(0.5), at(0.75)};
}

// One row: a name, its samples' count, median and quartiles.
inline void print_spread(const char* name, const std::vector<double>& samples) {
  const Spread s = spread(samples);
  std::printf("  %-28s n=%zu  median %7.2f ms  quartiles %7.2f .. %7.2f ms\n", name, samples.size(),
              s.median, s.q1, s.q3);
}

// The ratio of the medians of samples taken in turn, and the median and quartiles of the ratios of
// the samples taken side by side, which a change of the machine's load in between moves less.
inline void print_ratio(const char* name, const std::vector<double>& samples,
                        const std::vector<double>& beside) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < samples.size() && i < beside.size(); ++i)
    ratios.push_back(samples[i] / beside[i]);
  const Spread paired = spread(ratios);
  std::printf(
      "%s: %.3f, the ratio of the medians; side by side, median %.3f, quartiles %.3f .. %.3f\n",
      name, spread(samples).median / spread(beside).median, paired.median, paired.q1, paired.q3);
}

}  // namespace orvel::bench
