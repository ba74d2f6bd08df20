#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace host_example {

// The helper's event lines as typed values: one struct for each event this program acts on.
struct Attached {
  std::int64_t hwnd = 0;
  std::int64_t workerw = 0;
  std::string mode;
};
struct Detached {
  std::int64_t hwnd = 0;
};
struct MouseDown {
  int x = 0;  // screen coordinates, in physical pixels
  int y = 0;
};
struct MouseWheel {
  int deltaX = 0;  // 120 a notch, to the right
  int deltaY = 0;  // 120 a notch, away from the user
};
struct Visibility {
  std::int64_t hwnd = 0;
  bool visible = true;  // false while no part of the window's monitor can be seen
};
struct Power {
  std::string source;  // "ac", "battery" or "ups"
  std::string saver;   // "off", or "on" or "high" while the user wants energy saved
};
struct HelperError {
  std::string message;
  std::string kind;  // "window-destroyed" asks for a new host window
};
// Heartbeats, moves and the rest: shown, but not acted on here.
struct OtherEvent {
  std::string name;
};

using Event = std::variant<Attached, Detached, MouseDown, MouseWheel, Visibility, Power,
                           HelperError, OtherEvent>;

// Empty for a line that is not an event.
std::optional<Event> parse_event(std::string_view line);

}  // namespace host_example
