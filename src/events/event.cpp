#include "events/event.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <mutex>

#include "events/json.h"
#include "platform/lock.h"
#include "platform/text.h"

namespace orvel {
namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};

// Appends to a fixed buffer that is known to be large enough.
class FixedLine {
 public:
  explicit FixedLine(std::span<char> buffer) : buffer_(buffer) {}
  FixedLine& text(std::string_view part) {
    std::ranges::copy(part, buffer_.begin() + static_cast<std::ptrdiff_t>(size_));
    size_ += part.size();
    return *this;
  }
  FixedLine& number(std::int64_t value) {
    char* begin = buffer_.data() + size_;
    size_ += static_cast<std::size_t>(std::to_chars(begin, begin + 24, value).ptr - begin);
    return *this;
  }
  std::string_view view() const { return {buffer_.data(), size_}; }

 private:
  std::span<char> buffer_;
  std::size_t size_ = 0;
};

// The one lock for standard output. No thread that holds it emits again: a failed write is told
// to the trace, which has a lock of its own.
Lock stdout_lock;

constexpr std::uint32_t facility_nt_bit = 0x10000000;

}  // namespace

// An event's line: its name first, then its members.
std::string event_line(const Event& event) {
  return json_line([&](JsonWriter& json) {
    const auto named = [&](std::string_view name) -> JsonWriter& {
      return json.text("event", name);
    };
    std::visit(
        Overloaded{
            [&](const Event::Attached& e) {
              named("attached")
                  .number("hwnd", e.hwnd)
                  .number("workerw", e.workerw)
                  .text("mode", attach_mode_text(e.mode));
            },
            [&](const Event::Heartbeat&) { named("heartbeat"); },
            [&](const Event::WorkerwDestroyed& e) {
              named("workerw-destroyed").number("hwnd", e.hwnd);
            },
            [&](const Event::ExplorerRestarted&) { named("explorer-restarted"); },
            [&](const Event::Reasserted& e) { named("reasserted").number("hwnd", e.hwnd); },
            [&](const Event::Moved& e) { named("moved").number("hwnd", e.hwnd); },
            [&](const Event::Detached& e) { named("detached").number("hwnd", e.hwnd); },
            [&](const Event::Refreshed&) { named("refreshed"); },
            [&](const Event::Visibility& e) {
              named("visibility").number("hwnd", e.hwnd).boolean("visible", e.visible);
            },
            [&](const Event::Responsiveness& e) {
              named(e.responsive ? "responsive" : "unresponsive")
                  .number("hwnd", e.hwnd)
                  .text("window", e.window == WaitedWindow::shell ? "shell" : "host");
            },
            [&](const Event::Power& e) {
              named("power")
                  .text("source", e.source == PowerSource::ac        ? "ac"
                                  : e.source == PowerSource::battery ? "battery"
                                                                     : "ups")
                  .text("saver", e.saver == Saver::off  ? "off"
                                 : e.saver == Saver::on ? "on"
                                                        : "high");
            },
            [&](const Event::Error& e) {
              named("error").text("message", e.message).text("kind", error_kind_text(e.kind));
            },
        },
        event.variant);
  });
}

void emit_event(Platform& os, const Event& event) {
  emit_line(os, event_line(event));
}

void emit_line(Platform& os, std::string_view line) {
  const std::lock_guard guard(stdout_lock);
  // A reader that has gone away costs the line, never the program.
  static_cast<void>(os.write_stdout(line));
}

std::string_view mouse_line(std::span<char, mouse_line_capacity> buffer, std::string_view name,
                            std::int32_t x, std::int32_t y, std::optional<WheelDeltas> deltas) {
  FixedLine line(buffer);
  line.text(R"({"event":")").text(name).text(R"(","x":)").number(x).text(R"(,"y":)").number(y);
  if (deltas) line.text(R"(,"deltaX":)").number(deltas->x).text(R"(,"deltaY":)").number(deltas->y);
  return line.text("}\n").view();
}

std::string code_text(std::uint32_t code) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string text = "0x00000000";
  for (std::size_t i = 0; i < 8; ++i) text[9 - i] = digits[(code >> (4 * i)) & 0xF];
  return text;
}

std::string error_text(std::optional<std::u16string_view> system_message, std::uint32_t code) {
  std::string message = system_message ? utf8_from_utf16_lossy(*system_message) : std::string();
  const std::size_t end = message.find_last_not_of(" \t\n\v\f\r");
  message.erase(end == std::string::npos ? 0 : end + 1);
  if (message.empty()) return code_text(code);
  return message + " (" + code_text(code) + ")";
}

std::string system_error_text(Platform& os, std::uint32_t code) {
  std::uint32_t flags = win::format_message_allocate_buffer | win::format_message_from_system |
                        win::format_message_ignore_inserts;
  std::uint32_t lookup = code;
  Hmodule source = 0;
  // An NTSTATUS carried in the code: ntdll's own table knows its text.
  if ((code & facility_nt_bit) != 0) {
    lookup = code & ~facility_nt_bit;
    if (const SysResult<Hmodule> ntdll = os.get_module_handle_w(u"ntdll.dll")) {
      flags |= win::format_message_from_hmodule;
      source = *ntdll;
    }
  }
  const SysResult<std::u16string> found = os.format_message_w(flags, source, lookup);
  return error_text(found ? std::optional<std::u16string_view>(*found) : std::nullopt, code);
}

HelperError call_failed(Platform& os, ErrorKind kind, const SysError& error,
                        std::string_view what) {
  std::string message(what.empty() ? error.call : what);
  message += " failed: ";
  message += system_error_text(os, error.code);
  return {.message = std::move(message), .kind = kind};
}

void emit_error(Platform& os, HelperError error) {
  emit_event(os, Event::from(std::move(error)));
}

}  // namespace orvel
