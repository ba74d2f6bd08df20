#include "control/stdin_reader.h"

#include <algorithm>
#include <array>
#include <optional>

#include "platform/text.h"

namespace orvel {
namespace {

constexpr std::u32string_view close_command = U"detach";
constexpr char16_t ctrl_z = 0x001A;
constexpr std::size_t pipe_read_bytes = 4096;
constexpr std::size_t console_read_units = 1024;

// The Unicode White_Space property.
bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

// One whole line, its line feed gone: closes when it is not UTF-8 or is the close command.
bool closes(std::string_view line) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  const std::optional<std::u32string> text = utf32_from_utf8(line);
  if (!text) return true;
  std::u32string_view trimmed = *text;
  while (!trimmed.empty() && is_white_space(trimmed.front())) trimmed.remove_prefix(1);
  while (!trimmed.empty() && is_white_space(trimmed.back())) trimmed.remove_suffix(1);
  return trimmed == close_command;
}

// Reads until the channel closes. Every way of ending, the end of the input and a failed read
// alike, closes it: a main process that goes away ends the monitor as "detach" does.
void read_pipe(Platform& os, Handle input) {
  ControlLines lines;
  std::array<char, pipe_read_bytes> buffer;
  for (;;) {
    const SysResult<std::size_t> read = os.read_file(input, buffer);
    if (!read || *read == 0) return;
    if (lines.take(std::string_view(buffer.data(), *read))) return;
  }
}

void read_console(Platform& os, Handle input) {
  ControlLines lines;
  ConsoleText console;
  std::array<char16_t, console_read_units> buffer;
  std::string utf8;
  for (;;) {
    const SysResult<std::size_t> read = os.read_console_w(input, buffer);
    if (!read) return;
    if (!console.take(std::u16string_view(buffer.data(), *read), utf8)) return;
    if (lines.take(utf8)) return;
  }
}

// Reads standard input until the channel closes, whatever kind of input it is.
void read_control_channel(Platform& os) {
  const Handle input = os.get_std_handle(win::std_input_handle);
  if (input == 0 || input == win::invalid_handle_value) return;
  if (os.get_console_mode(input)) {
    read_console(os, input);
  } else {
    read_pipe(os, input);
  }
}

}  // namespace

bool ControlLines::take(std::string_view bytes) {
  for (std::size_t end = bytes.find('\n'); end != std::string_view::npos; end = bytes.find('\n')) {
    pending_.append(bytes.substr(0, end));
    bytes.remove_prefix(end + 1);
    if (closes(pending_)) return true;
    pending_.clear();
  }
  pending_.append(bytes);
  return false;
}

bool ConsoleText::take(std::u16string_view units, std::string& utf8) {
  // A read that ends with Ctrl+Z hands over what came before it; a read of nothing else ends.
  if (units.ends_with(ctrl_z)) units.remove_suffix(1);
  if (units.empty()) return false;
  pending_.append(units);
  std::u16string_view whole = pending_;
  const bool cut = is_high_surrogate(whole.back());
  if (cut) whole.remove_suffix(1);
  std::optional<std::string> text = utf8_from_utf16(whole);
  if (!text) return false;
  utf8 = std::move(*text);
  pending_.erase(0, whole.size());
  return true;
}

bool start_stdin_reader(Platform& os, Hwnd window) {
  return os
      .start_thread([&os, window] {
        read_control_channel(os);
        static_cast<void>(os.post_message_w(window, win::wm_close, 0, 0));
      })
      .has_value();
}

}  // namespace orvel
