#pragma once

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

// How the simulated desktop writes the arguments of a logged call, and the error codes its calls
// give, as Windows gives them.
namespace orvel::sim {

inline constexpr std::uint32_t error_file_not_found = 2;
inline constexpr std::uint32_t error_invalid_parameter = 87;
inline constexpr std::uint32_t error_mod_not_found = 126;
inline constexpr std::uint32_t error_mr_mid_not_found = 317;
inline constexpr std::uint32_t error_cannot_find_wnd_class = 1407;
inline constexpr std::uint32_t error_class_already_exists = 1410;
inline constexpr std::uint32_t error_invalid_index = 1413;
inline constexpr std::uint32_t error_invalid_monitor_handle = 1461;

inline std::string decimal(std::int64_t value) {
  char digits[24];
  return {digits, std::to_chars(digits, digits + sizeof digits, value).ptr};
}

inline std::string hex(std::uint64_t value) {
  char digits[24];
  std::string text = "0x";
  text.append(digits, std::to_chars(digits, digits + sizeof digits, value, 16).ptr);
  std::ranges::transform(text.begin() + 2, text.end(), text.begin() + 2,
                         [](char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

inline std::string quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// The arguments of a call, as "a, b, c".
template <class... Texts>
std::string args(const Texts&... texts) {
  std::string joined;
  bool first = true;
  ((joined += first ? "" : ", ", joined += texts, first = false), ...);
  return joined;
}

}  // namespace orvel::sim
