#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace orvel {

// The machine-readable name of a failure, for the main process to act on.
enum class ErrorKind { window_destroyed };

constexpr std::string_view error_kind_text(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::window_destroyed:
      return "window-destroyed";
  }
  return "";
}

// The failure value of every operation that can fail.
struct HelperError {
  std::string message;
  std::optional<ErrorKind> kind;
  bool operator==(const HelperError&) const = default;
};

template <class T>
using Result = std::expected<T, HelperError>;

inline std::unexpected<HelperError> fail(std::string message) {
  return std::unexpected(HelperError{.message = std::move(message), .kind = std::nullopt});
}

}  // namespace orvel
