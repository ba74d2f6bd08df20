#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "control/stdin_reader.h"
#include "platform/text.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// The byte forms of the White_Space characters, read off the Unicode table rather than the
// channel's own code.
bool strip_space_prefix(std::string_view& text) {
  static constexpr std::string_view spaces[] = {"\t",           "\n",           "\v",
                                                "\f",           "\r",           " ",
                                                "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80",
                                                "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
                                                "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85",
                                                "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
                                                "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8",
                                                "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
                                                "\xE3\x80\x80"};
  for (const std::string_view space : spaces) {
    if (text.starts_with(space)) {
      text.remove_prefix(space.size());
      return true;
    }
  }
  return false;
}

bool strip_space_suffix(std::string_view& text) {
  for (std::size_t size = 1; size <= 3 && size <= text.size(); ++size) {
    std::string_view tail = text.substr(text.size() - size);
    if (strip_space_prefix(tail) && tail.empty()) {
      text.remove_suffix(size);
      return true;
    }
  }
  return false;
}

// Where the channel must close: at the first whole line that is not UTF-8, or that is "detach"
// once trimmed. The index of the line feed that ends it, or npos.
std::size_t expected_close(std::string_view input) {
  for (std::size_t start = 0, end = input.find('\n'); end != std::string_view::npos;
       start = end + 1, end = input.find('\n', start)) {
    std::string_view line = input.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!orvel::utf32_from_utf8(line)) return end;
    while (strip_space_prefix(line)) {
    }
    while (strip_space_suffix(line)) {
    }
    if (line == "detach") return end;
  }
  return std::string_view::npos;
}

}  // namespace

// The first byte picks how the rest is cut into reads. However it is cut, the lines close the
// channel once, at the line the rules name, and never before.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t cut = data[0] % 16 + 1;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t close_at = expected_close(input);

  orvel::ControlLines lines;
  std::size_t closed_after = std::string_view::npos;
  for (std::size_t start = 0; start < input.size(); start += cut) {
    const std::string_view piece = input.substr(start, cut);
    if (lines.take(piece)) {
      closed_after = start + piece.size();
      break;
    }
  }
  if (close_at == std::string_view::npos) {
    require(closed_after == std::string_view::npos);
  } else {
    // It closes in the read that brought the line feed of the closing line.
    require(closed_after != std::string_view::npos && close_at < closed_after &&
            close_at + cut >= closed_after);
  }
  return 0;
}
