#include "cli/command_line.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <utility>

namespace orvel {
namespace {

constexpr char16_t quote = u'"';
constexpr std::string_view option_names[] = {
    "--hwnd",           "--forward-mouse", "--zguard",       "--report-visibility",
    "--follow-display", "--span",          "--report-hangs", "--spawn",
    "--trace",          "--wait-shell",    "--report-power"};
// The options that take a value: written after "=", or as the next argument.
constexpr std::string_view valued_options[] = {"--hwnd", "--trace", "--wait-shell"};
// The longest wait for the shell: about 24 days, the most a timer of the system counts.
constexpr std::int64_t longest_wait_ms = 0x7FFFFFFF;
constexpr char16_t backslash = u'\\';

bool is_blank(char16_t unit) {
  return unit == u' ' || unit == u'\t';
}

const OptionEntry* first_named(std::span<const OptionEntry> options, std::string_view name) {
  const auto found = std::ranges::find(options, name, &OptionEntry::name);
  return found == options.end() ? nullptr : &*found;
}

// An optional sign, then one or more decimal digits, within the signed 64-bit range.
std::optional<std::int64_t> parse_decimal_i64(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
  std::uint64_t magnitude = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  if (!negative) return static_cast<std::int64_t>(magnitude);
  // -2^63 has no positive counterpart, so negate in unsigned arithmetic.
  return static_cast<std::int64_t>(~magnitude + 1);
}

std::optional<CommandKind> command_kind(std::string_view word) {
  if (word == "attach") return CommandKind::attach;
  if (word == "move") return CommandKind::move;
  if (word == "detach") return CommandKind::detach;
  if (word == "refresh") return CommandKind::refresh;
  if (word == "inspect") return CommandKind::inspect;
  return std::nullopt;
}

}  // namespace

std::vector<std::u16string> split_command_line(std::u16string_view line) {
  std::vector<std::u16string> arguments;
  std::size_t i = 0;

  // The program's path knows no escapes: a quotation mark only toggles quoting.
  for (bool quoted = false; i < line.size(); ++i) {
    if (line[i] == quote) {
      quoted = !quoted;
    } else if (!quoted && is_blank(line[i])) {
      break;
    }
  }

  std::u16string current;
  bool quoted = false;
  bool had_quotes = false;  // a quoted argument is kept even when it is empty
  std::size_t backslashes = 0;
  auto flush_backslashes = [&](std::size_t count) {
    current.append(count, backslash);
    backslashes = 0;
  };
  auto end_argument = [&] {
    if (!current.empty() || had_quotes) arguments.push_back(std::move(current));
    current.clear();
    had_quotes = false;
  };

  while (i < line.size() && is_blank(line[i])) ++i;
  for (; i < line.size(); ++i) {
    const char16_t unit = line[i];
    if (unit == backslash) {
      ++backslashes;
    } else if (unit == quote) {
      const bool escaped = backslashes % 2 == 1;
      flush_backslashes(backslashes / 2);
      if (escaped) {
        current.push_back(quote);
      } else if (quoted && i + 1 < line.size() && line[i + 1] == quote) {
        current.push_back(quote);
        ++i;
      } else {
        quoted = !quoted;
        had_quotes = true;
      }
    } else if (!quoted && is_blank(unit)) {
      flush_backslashes(backslashes);
      end_argument();
    } else {
      flush_backslashes(backslashes);
      current.push_back(unit);
    }
  }
  flush_backslashes(backslashes);
  end_argument();
  return arguments;
}

std::expected<Command, std::string> parse_command_line(std::span<const std::string> arguments) {
  if (arguments.empty()) {
    return std::unexpected(std::string("missing command (attach | move | detach)"));
  }
  const std::string& word = arguments.front();

  std::vector<OptionEntry> options;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const std::size_t equals = argument.find('=');
    std::string name = argument.substr(0, equals);
    std::optional<std::string> value;
    if (equals != std::string::npos) value = argument.substr(equals + 1);

    if (!name.starts_with("--")) return std::unexpected("unexpected argument: " + argument);
    if (std::ranges::find(valued_options, name) != std::end(valued_options) && !value) {
      if (i + 1 == arguments.size()) return std::unexpected("missing value for " + name);
      value = arguments[++i];
    }
    if (std::ranges::find(option_names, name) == std::end(option_names)) {
      return std::unexpected("unknown option: " + name);
    }
    options.push_back({std::move(name), std::move(value)});
  }

  const std::optional<CommandKind> kind = command_kind(word);
  if (!kind) return std::unexpected("unknown command: " + word);

  Command command{.kind = *kind};
  if (*kind == CommandKind::refresh) {
    if (!options.empty()) {
      return std::unexpected("unexpected option for refresh: " + options.front().name);
    }
    return command;
  }

  if (*kind != CommandKind::inspect || first_named(options, "--hwnd")) {
    const auto hwnd = option_hwnd(options);
    if (!hwnd) return std::unexpected(hwnd.error());
    command.hwnd = *hwnd;
  }
  if (*kind == CommandKind::attach) {
    if (const OptionEntry* trace = first_named(options, "--trace")) {
      if (trace->value->empty()) return std::unexpected(std::string("missing value for --trace"));
      command.trace = trace->value;
    }
  }
  if (*kind == CommandKind::attach || *kind == CommandKind::inspect) {
    if (const OptionEntry* wait = first_named(options, "--wait-shell")) {
      const std::optional<std::int64_t> ms = parse_decimal_i64(*wait->value);
      if (!ms || *ms < 0 || *ms > longest_wait_ms || wait->value->starts_with('+')) {
        return std::unexpected("invalid value for --wait-shell: " + *wait->value);
      }
      command.wait_shell_ms = static_cast<std::uint32_t>(*ms);
    }
  }
  // The flags each command reads, checked in this order, whatever their order on the line; a
  // command ignores the flags of the others.
  struct Flag {
    std::string_view name;
    bool Command::*member;
    unsigned read_by;  // the commands' bits
  };
  constexpr auto by = [](auto... kinds) { return ((1u << static_cast<unsigned>(kinds)) | ...); };
  using enum CommandKind;
  static constexpr Flag flags[] = {{"--forward-mouse", &Command::forward_mouse, by(attach)},
                                   {"--zguard", &Command::zguard, by(attach)},
                                   {"--report-visibility", &Command::report_visibility, by(attach)},
                                   {"--follow-display", &Command::follow_display, by(attach)},
                                   {"--span", &Command::span, by(attach, move)},
                                   {"--report-hangs", &Command::report_hangs, by(attach)},
                                   {"--report-power", &Command::report_power, by(attach)},
                                   {"--spawn", &Command::spawn, by(inspect)}};
  for (const auto& [name, member, read_by] : flags) {
    if ((read_by & by(*kind)) == 0) continue;
    const auto flag = option_flag(options, name);
    if (!flag) return std::unexpected(flag.error());
    command.*member = *flag;
  }
  return command;
}

std::expected<Hwnd, std::string> option_hwnd(std::span<const OptionEntry> options) {
  const OptionEntry* entry = first_named(options, "--hwnd");
  if (entry == nullptr) return std::unexpected(std::string("missing required option --hwnd <n>"));
  const std::string value = entry->value.value_or("");
  const std::optional<std::int64_t> hwnd = parse_decimal_i64(value);
  if (!hwnd) return std::unexpected("invalid integer value: " + value);
  return *hwnd;
}

std::expected<bool, std::string> option_flag(std::span<const OptionEntry> options,
                                             std::string_view name) {
  const OptionEntry* entry = first_named(options, name);
  if (entry == nullptr) return false;
  if (!entry->value) return true;
  const std::string& value = *entry->value;
  if (value == "1" || value == "true") return true;
  if (value == "0" || value == "false") return false;
  return std::unexpected("invalid boolean for " + std::string(name) + ": " + value);
}

}  // namespace orvel
