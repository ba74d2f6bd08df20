#include "platform/text.h"

#include <cstdint>

namespace orvel {
namespace {

constexpr char32_t replacement_character = 0xFFFD;

void append_utf8(std::string& out, char32_t c) {
  auto byte = [&out](std::uint32_t value) { out.push_back(static_cast<char>(value)); };
  if (c < 0x80) {
    byte(c);
  } else if (c < 0x800) {
    byte(0xC0 | (c >> 6));
    byte(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    byte(0xE0 | (c >> 12));
    byte(0x80 | ((c >> 6) & 0x3F));
    byte(0x80 | (c & 0x3F));
  } else {
    byte(0xF0 | (c >> 18));
    byte(0x80 | ((c >> 12) & 0x3F));
    byte(0x80 | ((c >> 6) & 0x3F));
    byte(0x80 | (c & 0x3F));
  }
}

// Converts, replacing unpaired surrogates; tells through `clean` whether any were met.
std::string convert_utf16(std::u16string_view text, bool& clean) {
  std::string out;
  out.reserve(text.size());
  clean = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (is_high_surrogate(unit) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      const char32_t high = unit - 0xD800u;
      const char32_t low = text[i + 1] - 0xDC00u;
      append_utf8(out, 0x10000 + (high << 10) + low);
      ++i;
    } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
      clean = false;
      append_utf8(out, replacement_character);
    } else {
      append_utf8(out, unit);
    }
  }
  return out;
}

struct Decoded {
  char32_t code_point;
  std::size_t length;
};

// The scalar value whose UTF-8 form starts at `i`; none for a byte that starts no valid sequence
// (overlong forms, surrogates and values past U+10FFFF included).
std::optional<Decoded> decode_utf8(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    return Decoded{lead, 1};
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    c = lead & 0x1Fu;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    c = lead & 0x0Fu;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    c = lead & 0x07u;
    minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (i + length > text.size()) return std::nullopt;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (next & 0x3Fu);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  return Decoded{c, length};
}

}  // namespace

std::optional<std::string> utf8_from_utf16(std::u16string_view text) {
  bool clean = true;
  std::string out = convert_utf16(text, clean);
  if (!clean) return std::nullopt;
  return out;
}

std::string utf8_from_utf16_lossy(std::u16string_view text) {
  bool clean = true;
  return convert_utf16(text, clean);
}

std::u16string utf16_from_utf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::optional<Decoded> decoded = decode_utf8(text, i);
    const char32_t c = decoded ? decoded->code_point : replacement_character;
    i += decoded ? decoded->length : 1;
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::optional<std::u32string> utf32_from_utf8(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::optional<Decoded> decoded = decode_utf8(text, i);
    if (!decoded) return std::nullopt;
    out.push_back(decoded->code_point);
    i += decoded->length;
  }
  return out;
}

}  // namespace orvel
