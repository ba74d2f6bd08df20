#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "events/json.h"
#include "platform/lock.h"
#include "platform/owned.h"
#include "platform/platform.h"

namespace orvel {

// A trace that the next line would take past its limit keeps its newer half: the lines that
// begin in its last half-megabyte. Several helpers may trace into one file: each line is written
// whole, and the cut made, under a lock of the file that all of them take. It is read from the byte
// before that half, to see whether a line begins right there; the whole lines of what was read
// follow its first line feed.
inline constexpr std::uint64_t trace_limit = 1 << 20;
inline constexpr std::uint64_t tail_read_from(std::uint64_t size) {
  return size > trace_limit / 2 ? size - trace_limit / 2 - 1 : 0;
}
std::string_view whole_lines(std::string_view tail, bool from_start);

// What a running attach decided, every call that failed and every call into another process's
// window that waited more than a second, one JSON line each with the
// monotonic time in milliseconds, appended to a file of the user's choosing. Bounded: once the
// next line would take it past about a megabyte, the file keeps only its newer half. Whatever
// happens to the file, the helper does and says the same; a trace that is off costs a test.
class Trace final : public CallObserver {
 public:
  Trace() = default;
  // Appends to the file at `path`; off when it cannot be opened.
  Trace(Platform& os, std::u16string_view path);

  bool on() const { return static_cast<bool>(file_); }
  // One line: its time, what it tells, then what `fill` adds to it; made only when on.
  template <class Fill>
  void note(std::string_view what, Fill&& fill) {
    if (!on()) return;
    write(json_line([&](JsonWriter& json) {
      json.number("ms", os_->monotonic_now().count() / 1000)
          .number("pid", process_id_)
          .text("what", what);
      fill(json);
    }));
  }
  void note(std::string_view what) {
    note(what, [](JsonWriter&) {});
  }
  void failed(const SysError& error) noexcept override;
  void waited(std::string_view call, std::chrono::milliseconds how_long) noexcept override;

 private:
  void write(std::string_view line);
  void keep_newer_half(std::uint64_t size);

  Platform* os_ = nullptr;
  std::uint32_t process_id_ = 0;
  OwnedHandle file_;
  Lock lock_;  // lines come from the main thread and the worker threads
};

}  // namespace orvel
