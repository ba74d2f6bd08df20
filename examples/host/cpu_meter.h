#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace host_example {

// This process's CPU time per second of wall time, kept apart for the time its wallpaper draws
// and the time it does not (hidden, or saving energy): what pausing saves.
class CpuMeter {
 public:
  // Ends the span of the state before, if any, and starts one of this state.
  void enter(bool drawing);
  // Ends the current span; one line with both figures.
  std::string summary();

 private:
  struct Span {
    ULONGLONG cpu_100ns = 0;
    ULONGLONG wall_ms = 0;
  };

  void close_span();

  std::optional<bool> drawing_;
  ULONGLONG cpu_since_ = 0;
  ULONGLONG wall_since_ = 0;
  Span spans_[2];  // [0] not drawing, [1] drawing
};

}  // namespace host_example
