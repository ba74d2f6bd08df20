#pragma once

#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace orvel {

enum class CommandKind { attach, move, detach, refresh, inspect };

struct Command {
  CommandKind kind = CommandKind::refresh;
  // The host window: always there for attach, move and detach; never for refresh; at will for
  // inspect.
  std::optional<Hwnd> hwnd;
  bool forward_mouse = false;
  bool zguard = false;
  bool report_visibility = false;
  bool follow_display = false;
  bool span = false;          // attach and move: the window covers all monitors
  bool report_hangs = false;  // attach: says when the shell or the host stops answering
  bool report_power = false;  // attach: says where the power comes from, and the saver
  // attach and inspect: how long to wait for a shell that is not there yet (at log-on)
  std::optional<std::uint32_t> wait_shell_ms;
  bool spawn = false;                // inspect: the shell is asked to make its layer first
  std::optional<std::string> trace;  // attach: the file that traces it
  bool operator==(const Command&) const = default;
};

struct OptionEntry {
  std::string name;
  std::optional<std::string> value;
};

// Splits a process command line by the platform's rules and drops the program's own path.
std::vector<std::u16string> split_command_line(std::u16string_view command_line);

// The parse of the arguments after the program's path; the error is the message to print.
std::expected<Command, std::string> parse_command_line(std::span<const std::string> arguments);
std::expected<Hwnd, std::string> option_hwnd(std::span<const OptionEntry> options);
std::expected<bool, std::string> option_flag(std::span<const OptionEntry> options,
                                             std::string_view name);

}  // namespace orvel
