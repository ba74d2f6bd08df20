#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvel {

inline bool is_high_surrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool is_low_surrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// UTF-16 from the system to the program's UTF-8. The strict form refuses an unpaired surrogate;
// the lossy form puts U+FFFD in its place.
std::optional<std::string> utf8_from_utf16(std::u16string_view text);
std::string utf8_from_utf16_lossy(std::u16string_view text);

// UTF-8 to UTF-16 for the system; a byte that starts no valid sequence becomes U+FFFD.
std::u16string utf16_from_utf8(std::string_view text);

// The scalar values of strictly valid UTF-8; none when any byte starts no valid sequence.
std::optional<std::u32string> utf32_from_utf8(std::string_view text);

}  // namespace orvel
