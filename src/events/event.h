#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "base/attach_mode.h"
#include "base/error.h"
#include "platform/platform.h"

namespace orvel {

// A window of another process that the helper waits for: the shell's, or the host window.
enum class WaitedWindow : std::uint8_t { shell, host };

// Where the system's power comes from, and the strongest saver that is on: the battery saver or
// the energy saver's standard level are "on", its high savings level "high".
enum class PowerSource : std::uint8_t { ac, battery, ups };
enum class Saver : std::uint8_t { off, on, high };

// One line of standard output. The mouse's lines, which come at the rate of the hardware, are
// made apart, by `mouse_line`, without allocating.
struct Event {
  struct Attached {
    Hwnd hwnd;
    Hwnd workerw;
    AttachMode mode;
  };
  struct Heartbeat {};
  struct WorkerwDestroyed {
    Hwnd hwnd;
  };
  struct ExplorerRestarted {};
  struct Reasserted {
    Hwnd hwnd;
  };
  struct Moved {
    Hwnd hwnd;
  };
  struct Detached {
    Hwnd hwnd;
  };
  struct Refreshed {};
  struct Visibility {
    Hwnd hwnd;
    bool visible;
  };
  // "unresponsive" or "responsive".
  struct Responsiveness {
    Hwnd hwnd;
    WaitedWindow window;
    bool responsive;
  };
  struct Power {
    PowerSource source;
    Saver saver;
    bool operator==(const Power&) const = default;
  };
  struct Error {
    std::string message;
    ErrorKind kind;
  };

  using Variant =
      std::variant<Attached, Heartbeat, WorkerwDestroyed, ExplorerRestarted, Reasserted, Moved,
                   Detached, Refreshed, Visibility, Responsiveness, Power, Error>;

  template <class V>
  requires std::is_constructible_v<Variant, V&&> Event(V&& value)
      : variant(std::forward<V>(value)) {}  // NOLINT: any variant is an Event
  static Event from(HelperError error) {
    return Error{.message = std::move(error.message), .kind = error.kind};
  }

  Variant variant;
};

// The event's line, line feed included.
std::string event_line(const Event& event);

// Writes the event's line to standard output and flushes it, whole, under the one standard-output
// lock. A failed write loses the line and nothing else.
void emit_event(Platform& os, const Event& event);

// The same for a line already made, line feed included.
void emit_line(Platform& os, std::string_view line);

// The line of a mouse event, made in `buffer` without allocating: mouse input comes at the rate of
// the hardware. `deltas` only for "mousewheel".
inline constexpr std::size_t mouse_line_capacity = 128;
struct WheelDeltas {
  std::int16_t x;
  std::int16_t y;
};
std::string_view mouse_line(std::span<char, mouse_line_capacity> buffer, std::string_view name,
                            std::int32_t x, std::int32_t y,
                            std::optional<WheelDeltas> deltas = std::nullopt);

// The system's message for a failed call's code, and the code: "<message> (0x80070005)".
std::string system_error_text(Platform& os, std::uint32_t code);

// A code as error texts show it: "0x80070005".
std::string code_text(std::uint32_t code);

// The system's message, its trailing blanks gone, and the code; the code alone without a message.
std::string error_text(std::optional<std::u16string_view> system_message, std::uint32_t code);

// "<what> failed: <system error text>"; `what` is the call's own name unless given.
HelperError call_failed(Platform& os, ErrorKind kind, const SysError& error,
                        std::string_view what = {});

// Writes the error as an "error" line.
void emit_error(Platform& os, HelperError error);

}  // namespace orvel
