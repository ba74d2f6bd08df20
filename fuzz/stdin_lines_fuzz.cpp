#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "control/stdin_reader.h"
#include "platform/text.h"
#include "require.h"

constexpr std::size_t npos = std::string_view::npos;

// The White_Space characters, read off the Unicode table rather than the channel's own code.
constexpr std::u32string_view white_space =
    U"\t\n\v\f\r \x85\xA0\x1680\x2000\x2001\x2002\x2003\x2004\x2005\x2006\x2007\x2008\x2009\x200A"
    U"\x2028\x2029\x202F\x205F\x3000";

// Where the channel must close: at the first whole line that is not UTF-8, or that is "detach"
// once trimmed. The index of the line feed that ends it, or npos.
static std::size_t expected_close(std::string_view input) {
  for (std::size_t start = 0, end = input.find('\n'); end != npos;
       start = end + 1, end = input.find('\n', start)) {
    std::string_view line = input.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::optional<std::u32string> text = orvel::utf32_from_utf8(line);
    if (!text) return end;
    const std::size_t first = text->find_first_not_of(white_space);
    if (first != npos &&
        text->substr(first, text->find_last_not_of(white_space) + 1 - first) == U"detach") {
      return end;
    }
  }
  return npos;
}

// The first byte picks how the rest is cut into reads. However it is cut, the lines close the
// channel once, in the read that brings the line feed of the line the rules name, never before.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t cut = data[0] % 16 + 1;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  orvel::ControlLines lines;
  std::size_t closed_after = npos;
  for (std::size_t start = 0; start < input.size() && closed_after == npos; start += cut) {
    if (lines.take(input.substr(start, cut))) closed_after = std::min(start + cut, input.size());
  }
  const std::size_t close_at = expected_close(input);
  require(close_at == npos ? closed_after == npos
                           : close_at < closed_after && close_at + cut >= closed_after);
  return 0;
}
