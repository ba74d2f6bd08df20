#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "platform/text.h"
#include "require.h"

namespace {

constexpr const char* command_words[] = {"attach", "move", "detach", "refresh", "inspect"};

// The same command written out in its plainest form.
std::vector<std::string> plain_arguments(const orvel::Command& command) {
  std::vector<std::string> arguments{command_words[static_cast<int>(command.kind)]};
  if (command.kind == orvel::CommandKind::refresh) return arguments;
  if (command.hwnd) arguments.insert(arguments.end(), {"--hwnd", std::to_string(*command.hwnd)});
  if (command.kind == orvel::CommandKind::inspect) {
    arguments.push_back(command.spawn ? "--spawn=true" : "--spawn=0");
    return arguments;
  }
  if (command.kind == orvel::CommandKind::detach) return arguments;
  arguments.push_back(command.span ? "--span" : "--span=0");
  if (command.kind == orvel::CommandKind::move) return arguments;
  arguments.push_back(command.forward_mouse ? "--forward-mouse" : "--forward-mouse=false");
  arguments.push_back(command.zguard ? "--zguard=1" : "--zguard=0");
  arguments.push_back(command.report_visibility ? "--report-visibility=true"
                                                : "--report-visibility=0");
  arguments.push_back(command.follow_display ? "--follow-display" : "--follow-display=false");
  if (command.trace) arguments.insert(arguments.end(), {"--trace", *command.trace});
  return arguments;
}

}  // namespace

// The input, read as UTF-16 code units (two bytes each, little-endian), is the whole command line
// as the system hands it over. Whatever it holds, it is split and parsed without a fault; a
// rejection says why; and a command that is taken means the same once written out plainly, so no
// option is lost or invented on the way.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string line;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    line.push_back(char16_t(data[i] | data[i + 1] << 8));
  std::vector<std::string> arguments;
  for (const std::u16string& argument : orvel::split_command_line(line)) {
    const std::optional<std::string> text = orvel::utf8_from_utf16(argument);
    if (!text) return 0;
    arguments.push_back(*text);
  }
  const auto command = orvel::parse_command_line(arguments);
  if (!command) {
    require(!command.error().empty());
    return 0;
  }
  require(orvel::parse_command_line(plain_arguments(*command)) == command);
  return 0;
}
