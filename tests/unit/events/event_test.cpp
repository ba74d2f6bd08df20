#include "events/event.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim_desktop.h"

namespace orvel {
namespace {

using namespace std::string_literals;

// The other events are written byte for byte where the program writes them.
TEST(EventLine, WritesExtremeValuesAndEscapedMessages) {
  const std::vector<std::pair<Event, std::string>> cases = {
      {Event::Attached{.hwnd = 0, .workerw = -2, .mode = AttachMode::raised},
       R"({"event":"attached","hwnd":0,"workerw":-2,"mode":"raised"})"},
      {Event::Moved{.hwnd = INT64_MIN}, R"({"event":"moved","hwnd":-9223372036854775808})"},
      // Only quotes, backslashes and controls are escaped; DEL and UTF-8 go through.
      {Event::Error{.message = "\"\\\t\n\r\x00\x08\x1f\x7f caf\xc3\xa9"s,
                    .kind = ErrorKind::window_destroyed},
       R"({"event":"error","message":"\"\\\t\n\r\u0000\u0008\u001f)"
       "\x7f caf\xc3\xa9"
       R"(","kind":"window-destroyed"})"},
  };
  for (const auto& [event, line] : cases) EXPECT_EQ(event_line(event), line + "\n");
}

TEST(SystemErrorText, GivesTheSystemMessageAndTheCode) {
  SimDesktop os;
  os.set_system_message(0x8007000E, u"Not enough memory resources are available.  \t\r\n");
  os.set_system_message(0xC0000022, u"{Access Denied}\r\n", true);
  os.set_system_message(0x80070057, u" \r\n");
  const std::vector<std::pair<LastError, std::string>> cases = {
      // Only the low 16 bits of a positive code take part.
      {0x0010000E, "Not enough memory resources are available. (0x8007000E)"},
      // A value that is negative as a signed 32-bit number is already the code.
      {0x80070005, "Access is denied. (0x80070005)"},
      // A message of blanks alone leaves the code alone.
      {87, "0x80070057"},
      // An NTSTATUS is looked up in ntdll's table without its marker bit, and shown with it.
      {0xD0000022, "{Access Denied} (0xD0000022)"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(system_error_text(os, code), text);
  EXPECT_THAT(os.calls(), testing::Contains("FormatMessageW(0x1B00, 0x7FF800000000, 0xC0000022)"));
  os.fail_call(Call::GetModuleHandleW, 126);
  EXPECT_EQ(system_error_text(os, 0xD0000022), "0xD0000022");
}

TEST(EmitEvent, LinesFromTwoThreadsNeverInterleave) {
  SimDesktop os;
  os.set_stdout_piecewise(true);
  const auto emit = [&os](Event event) {
    for (int i = 0; i < 200; ++i) emit_event(os, event);
  };
  {
    const std::jthread first(emit, Event::Moved{.hwnd = 1111111});
    const std::jthread second(emit, Event::Detached{.hwnd = 2222222});
  }
  std::istringstream lines(os.stdout_text());
  std::map<std::string, int> counts;
  for (std::string line; std::getline(lines, line);) ++counts[line];
  EXPECT_EQ(counts, (std::map<std::string, int>{{R"({"event":"moved","hwnd":1111111})", 200},
                                                {R"({"event":"detached","hwnd":2222222})", 200}}));
}

}  // namespace
}  // namespace orvel
