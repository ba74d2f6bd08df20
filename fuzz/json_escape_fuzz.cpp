#include <cstddef>
#include <cstdint>
#include <string>

#include "events/event.h"
#include "require.h"

// Reads the escaped text back as a JSON string body would be read; only lower-case \u00XX
// escapes below 0x20 are ever written.
static std::string unescape(std::string_view escaped) {
  constexpr std::string_view hex = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    require(static_cast<unsigned char>(escaped[i]) >= 0x20 && escaped[i] != '"');
    if (escaped[i] != '\\') {
      text += escaped[i];
      continue;
    }
    require(++i < escaped.size());
    if (const std::size_t simple = std::string_view("\"\\tnr").find(escaped[i]);
        simple != std::string_view::npos) {
      text += "\"\\\t\n\r"[simple];
      continue;
    }
    require(escaped.substr(i, 3) == "u00" && i + 4 < escaped.size());
    const std::size_t high = hex.find(escaped[i + 3]);
    const std::size_t low = hex.find(escaped[i + 4]);
    require(high < 2 && low != std::string_view::npos);
    text += static_cast<char>(high * 16 + low);
    i += 4;
  }
  return text;
}

// Any message, however odd, leaves as one line that a JSON reader turns back into it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string message(reinterpret_cast<const char*>(data), size);
  require(unescape(orvel::json_escape(message)) == message);
  const std::string line = orvel::event_line(orvel::Event::Error{.message = message});
  require(line.find('\n') == line.size() - 1);
  return 0;
}
