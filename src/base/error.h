#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <utility>

namespace orvel {

// The machine-readable name of a failure: what the main process should do about it.
enum class ErrorKind {
  window_not_found,          // the handle names no window: pass a live one
  window_destroyed,          // the window went with its layer: build a new one, start a new helper
  shell_not_found,           // no shell yet (no Progman): start again later, or wait for it
  layer_not_found,           // the shell made no desktop layer: nothing to attach to
  attach_failed,             // the window could not be put into the layer; it is as it was
  detach_failed,             // the window could not be given back: it may still be in the layer
  fit_failed,                // the window could not be placed over its monitor
  reattach_failed,           // a re-attach gave up; the helper runs on and tries at the next change
  wallpaper_refresh_failed,  // the static wallpaper was not repainted
  start_failed,              // the helper's own set-up failed (its window, hooks, timers, threads)
};

constexpr std::string_view error_kind_text(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::window_not_found:
      return "window-not-found";
    case ErrorKind::window_destroyed:
      return "window-destroyed";
    case ErrorKind::shell_not_found:
      return "shell-not-found";
    case ErrorKind::layer_not_found:
      return "layer-not-found";
    case ErrorKind::attach_failed:
      return "attach-failed";
    case ErrorKind::detach_failed:
      return "detach-failed";
    case ErrorKind::fit_failed:
      return "fit-failed";
    case ErrorKind::reattach_failed:
      return "reattach-failed";
    case ErrorKind::wallpaper_refresh_failed:
      return "wallpaper-refresh-failed";
    case ErrorKind::start_failed:
      return "start-failed";
  }
  return "";
}

// The failure value of every operation that can fail.
struct HelperError {
  std::string message;
  ErrorKind kind;
  bool operator==(const HelperError&) const = default;
};

template <class T>
using Result = std::expected<T, HelperError>;

inline std::unexpected<HelperError> fail(ErrorKind kind, std::string message) {
  return std::unexpected(HelperError{.message = std::move(message), .kind = kind});
}

inline constexpr std::string_view window_gone_message = "orvel window no longer exists";

}  // namespace orvel
