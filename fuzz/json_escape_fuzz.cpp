#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "events/event.h"
#include "platform/text.h"
#include "require.h"

// Any message, however odd, leaves as one line with no raw control character in it; and a message
// that is UTF-8 text, as every message of the program is, is what a JSON reader reads back.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string message(reinterpret_cast<const char*>(data), size);
  const std::string line = orvel::event_line(orvel::Event::Error{.message = message});
  require(line.ends_with('\n') && std::ranges::none_of(line.substr(0, line.size() - 1),
                                                       [](unsigned char c) { return c < 0x20; }));
  if (!orvel::utf32_from_utf8(message)) return 0;
  const nlohmann::json read = nlohmann::json::parse(line, nullptr, false);
  require(read.is_object() && read.size() == 2 && read.value("event", "") == "error" &&
          read.value("message", "") == message);
  return 0;
}
