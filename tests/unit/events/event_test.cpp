#include "events/event.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim_desktop.h"

namespace orvel {
namespace {

// The other events are written byte for byte where the program writes them.
TEST(EventLine, WritesExtremeValuesAndEscapedMessages) {
  const std::vector<std::pair<Event, std::string>> cases = {
      {Event::Attached{.hwnd = 0, .workerw = -2, .mode = AttachMode::raised},
       R"({"event":"attached","hwnd":0,"workerw":-2,"mode":"raised"})"},
      {Event::Moved{.hwnd = INT64_MIN}, R"({"event":"moved","hwnd":-9223372036854775808})"},
      {Event::MouseUp{.x = INT32_MAX, .y = INT32_MIN},
       R"({"event":"mouseup","x":2147483647,"y":-2147483648})"},
      {Event::MouseWheel{.x = 3, .y = 4, .delta_x = 0, .delta_y = -120},
       R"({"event":"mousewheel","x":3,"y":4,"deltaX":0,"deltaY":-120})"},
      {Event::Error{.message = "say \"hi\"", .kind = ErrorKind::window_destroyed},
       R"({"event":"error","message":"say \"hi\"","kind":"window-destroyed"})"},
  };
  for (const auto& [event, line] : cases) EXPECT_EQ(event_line(event), line + "\n");
}

TEST(JsonEscape, EscapesQuotesBackslashesAndControlsOnly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain / text \x7f", "plain / text \x7f"},
      {"\"\\\t\n\r", R"(\"\\\t\n\r)"},
      {std::string("\x00\x01\x08\x0c\x1b\x1f", 6), R"(\u0000\u0001\u0008\u000c\u001b\u001f)"},
      {"caf\xc3\xa9 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xf0\x9f\x98\x80"},
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(json_escape(text), escaped);
}

TEST(SystemErrorText, GivesTheSystemMessageAndTheCode) {
  SimDesktop os;
  os.set_system_message(0x8007000E, u"Not enough memory resources are available.  \t\r\n");
  os.set_system_message(0xC0000022, u"{Access Denied}\r\n", true);
  os.set_system_message(0x80070057, u" \r\n");
  const std::vector<std::pair<LastError, std::string>> cases = {
      {0, "The operation completed successfully. (0x00000000)"},
      {14, "Not enough memory resources are available. (0x8007000E)"},
      // Only the low 16 bits of a positive code take part.
      {0x0010000E, "Not enough memory resources are available. (0x8007000E)"},
      // A value that is negative as a signed 32-bit number is already the code.
      {0x80070005, "Access is denied. (0x80070005)"},
      // A message of blanks alone, or none at all, leaves the code alone.
      {87, "0x80070057"},
      {0x8000FFFF, "0x8000FFFF"},
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
  const auto emit_200 = [&os](Event event) {
    for (int i = 0; i < 200; ++i) emit_event(os, event);
  };
  std::thread first(emit_200, Event::Moved{.hwnd = 1111111});
  std::thread second(emit_200, Event::Detached{.hwnd = 2222222});
  first.join();
  second.join();

  std::istringstream lines(os.stdout_text());
  std::map<std::string, int> counts;
  for (std::string line; std::getline(lines, line);) ++counts[line];
  EXPECT_THAT(counts, testing::UnorderedElementsAre(
                          testing::Pair(R"({"event":"moved","hwnd":1111111})", 200),
                          testing::Pair(R"({"event":"detached","hwnd":2222222})", 200)));
}

}  // namespace
}  // namespace orvel
