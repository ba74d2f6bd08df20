#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "events/event.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case is never written
}

// Reads the escaped text back as a JSON string body would be read.
std::string unescape(const std::string& escaped) {
  std::string text;
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    const char c = escaped[i];
    require(static_cast<unsigned char>(c) >= 0x20 && c != '"');
    if (c != '\\') {
      text += c;
      continue;
    }
    require(++i < escaped.size());
    switch (escaped[i]) {
      case '"':
      case '\\':
        text += escaped[i];
        break;
      case 't':
        text += '\t';
        break;
      case 'n':
        text += '\n';
        break;
      case 'r':
        text += '\r';
        break;
      case 'u': {
        require(i + 4 < escaped.size() && escaped.compare(i + 1, 2, "00") == 0);
        const int high = hex_digit(escaped[i + 3]);
        const int low = hex_digit(escaped[i + 4]);
        require(high >= 0 && high < 2 && low >= 0);
        text += static_cast<char>(high * 16 + low);
        i += 4;
        break;
      }
      default:
        std::abort();
    }
  }
  return text;
}

}  // namespace

// Any message, however odd, leaves as one line that a JSON reader turns back into it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string message(reinterpret_cast<const char*>(data), size);
  require(unescape(orvel::json_escape(message)) == message);
  const std::string line = orvel::event_line(orvel::Event::Error{.message = message});
  require(line.find('\n') == line.size() - 1);
  return 0;
}
