#include "events/trace.h"

#include <array>

#include "events/event.h"

namespace orvel {

std::string_view whole_lines(std::string_view tail, bool from_start) {
  if (from_start) return tail;
  const std::size_t line_end = tail.find('\n');
  return line_end == std::string_view::npos ? std::string_view() : tail.substr(line_end + 1);
}

namespace {

// The byte that helpers lock to take their turn at the file: far beyond any data, so that the lock
// keeps no reader from the lines.
constexpr std::uint64_t turn_offset = std::uint64_t{1} << 62;

// Every helper's turn at one file, while it is held; a file that cannot be locked is written
// anyway.
class FileTurn {
 public:
  FileTurn(Platform& os, Handle file)
      : os_(os), file_(file), held_(os.lock_file_ex(file, turn_offset, 1).has_value()) {}
  FileTurn(const FileTurn&) = delete;
  FileTurn& operator=(const FileTurn&) = delete;
  ~FileTurn() {
    if (held_) static_cast<void>(os_.unlock_file_ex(file_, turn_offset, 1));
  }

 private:
  Platform& os_;
  Handle file_;
  bool held_;
};

}  // namespace

Trace::Trace(Platform& os, std::u16string_view path)
    : os_(&os), process_id_(os.get_current_process_id()) {
  if (const SysResult<Handle> file = os.create_file_w(path)) file_ = OwnedHandle(os, *file);
}

void Trace::failed(const SysError& error) noexcept {
  note("failed", [&](JsonWriter& json) {
    json.text("call", error.call).text("code", code_text(error.code));
  });
}

void Trace::waited(std::string_view call, std::chrono::milliseconds how_long) noexcept {
  note("waited",
       [&](JsonWriter& json) { json.text("call", call).number("waitedMs", how_long.count()); });
}

// A line that cannot be written is lost, and nothing else is.
void Trace::write(std::string_view line) {
  const std::lock_guard hold(lock_);
  const FileTurn turn(*os_, file_.get());
  const SysResult<std::uint64_t> size = os_->get_file_size_ex(file_.get());
  if (size && *size + line.size() > trace_limit) keep_newer_half(*size);
  if (os_->set_file_pointer_ex(file_.get(), 0, win::file_end)) {
    static_cast<void>(os_->write_file(file_.get(), line));
  }
}

void Trace::keep_newer_half(std::uint64_t size) {
  const std::uint64_t from = tail_read_from(size);
  if (!os_->set_file_pointer_ex(file_.get(), static_cast<std::int64_t>(from), win::file_begin)) {
    return;
  }
  std::string tail;
  std::array<char, 64 * 1024> buffer;
  for (SysResult<std::size_t> read; (read = os_->read_file(file_.get(), buffer)) && *read > 0;) {
    tail.append(buffer.data(), *read);
  }
  if (os_->set_file_pointer_ex(file_.get(), 0, win::file_begin) &&
      os_->write_file(file_.get(), whole_lines(tail, from == 0))) {
    static_cast<void>(os_->set_end_of_file(file_.get()));
  }
}

}  // namespace orvel
