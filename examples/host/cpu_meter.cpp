#include "cpu_meter.h"

#include <cstdio>

namespace host_example {
namespace {

ULONGLONG as_number(FILETIME time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Kernel and user time of every thread of this process, in 100 ns units.
ULONGLONG process_cpu() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  return as_number(kernel) + as_number(user);
}

std::string per_second(const char* state, ULONGLONG cpu_100ns, ULONGLONG wall_ms) {
  // 10,000 units of 100 ns are a millisecond; per second of wall time.
  const double ms_per_s =
      wall_ms ? static_cast<double>(cpu_100ns) / 10.0 / static_cast<double>(wall_ms) : 0.0;
  char text[96];
  std::snprintf(text, sizeof text, "%.1f ms while %s (over %.1f s)", ms_per_s, state,
                static_cast<double>(wall_ms) / 1000.0);
  return text;
}

}  // namespace

void CpuMeter::enter(bool drawing) {
  close_span();
  drawing_ = drawing;
}

std::string CpuMeter::summary() {
  close_span();
  drawing_.reset();
  return "cpu time per second: " + per_second("drawing", spans_[1].cpu_100ns, spans_[1].wall_ms) +
         ", " + per_second("not drawing", spans_[0].cpu_100ns, spans_[0].wall_ms);
}

void CpuMeter::close_span() {
  const ULONGLONG cpu = process_cpu();
  const ULONGLONG wall = GetTickCount64();
  if (drawing_) {
    Span& span = spans_[*drawing_ ? 1 : 0];
    span.cpu_100ns += cpu - cpu_since_;
    span.wall_ms += wall - wall_since_;
  }
  cpu_since_ = cpu;
  wall_since_ = wall;
}

}  // namespace host_example
