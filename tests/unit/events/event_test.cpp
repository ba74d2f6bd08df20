#include "events/event.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim_desktop.h"
#include "unit/printers.h"

namespace orvel {
namespace {

// The other events are written byte for byte where the program writes them.
TEST(EventLine, WritesExtremeValuesAndEscapedMessages) {
  const std::vector<std::pair<Event, std::string>> cases = {
      {Event::Attached{.hwnd = 0, .workerw = -2, .mode = AttachMode::raised},
       R"({"event":"attached","hwnd":0,"workerw":-2,"mode":"raised"})"},
      {Event::Moved{.hwnd = INT64_MIN}, R"({"event":"moved","hwnd":-9223372036854775808})"},
      {Event::Detached{.hwnd = INT64_MAX}, R"({"event":"detached","hwnd":9223372036854775807})"},
      {Event::MouseUp{.x = INT32_MAX, .y = INT32_MIN},
       R"({"event":"mouseup","x":2147483647,"y":-2147483648})"},
      {Event::MouseWheel{.x = 3, .y = 4, .delta_x = 0, .delta_y = -120},
       R"({"event":"mousewheel","x":3,"y":4,"deltaX":0,"deltaY":-120})"},
      {Event::Error{.message = "", .kind = std::nullopt}, R"({"event":"error","message":""})"},
      {Event::Error{.message = "say \"hi\"", .kind = ErrorKind::window_destroyed},
       R"({"event":"error","message":"say \"hi\"","kind":"window-destroyed"})"},
  };
  for (const auto& [event, line] : cases) EXPECT_EQ(event_line(event), line + "\n");
}

TEST(JsonEscape, EscapesQuotesBackslashesAndControlsOnly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"plain / text", "plain / text"},
      {"\"\\\t\n\r", R"(\"\\\t\n\r)"},
      {std::string("\x00\x01\x08\x0c\x1b\x1f", 6), R"(\u0000\u0001\u0008\u000c\u001b\u001f)"},
      {"\x7f", "\x7f"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(json_escape(text), escaped);
}

TEST(SystemErrorText, GivesTheSystemMessageAndTheCode) {
  SimDesktop os;
  os.set_system_message(0x8007000E, u"Not enough memory resources are available.  \t\r\n");
  os.set_system_message(0xC0000022, u"{Access Denied}\r\n", true);
  os.set_system_message(0x80070057, u" \r\n");

  EXPECT_EQ(system_error_text(os, 5), "Access is denied. (0x80070005)");
  EXPECT_EQ(system_error_text(os, 0), "The operation completed successfully. (0x00000000)");
  EXPECT_EQ(system_error_text(os, 14), "Not enough memory resources are available. (0x8007000E)");
  // Only the low 16 bits of a positive code take part.
  EXPECT_EQ(system_error_text(os, 0x0010000E),
            "Not enough memory resources are available. (0x8007000E)");
  // A value that is negative as a signed 32-bit number is already the code.
  EXPECT_EQ(system_error_text(os, 0x80070005), "Access is denied. (0x80070005)");
  EXPECT_EQ(system_error_text(os, 0x8000FFFF), "0x8000FFFF");
  // A message of blanks alone, or none at all, leaves the code alone.
  EXPECT_EQ(system_error_text(os, 87), "0x80070057");
  EXPECT_EQ(system_error_text(os, 1234), "0x800704D2");
  // An NTSTATUS is looked up in ntdll's table without its marker bit, and shown with it.
  os.clear_calls();
  EXPECT_EQ(system_error_text(os, 0xD0000022), "{Access Denied} (0xD0000022)");
  EXPECT_THAT(os.calls(),
              testing::ElementsAre(R"(GetModuleHandleW("ntdll.dll"))",
                                   "FormatMessageW(0x1B00, 0x7FF800000000, 0xC0000022)"));
  os.fail_call(Call::GetModuleHandleW, 126);
  EXPECT_EQ(system_error_text(os, 0xD0000022), "0xD0000022");
}

TEST(EmitEvent, LinesFromTwoThreadsNeverInterleave) {
  SimDesktop os;
  os.set_stdout_piecewise(true);
  constexpr int lines_per_thread = 200;
  auto emitter = [&os](Event event) {
    for (int i = 0; i < lines_per_thread; ++i) emit_event(os, event);
  };
  std::thread first(emitter, Event::Moved{.hwnd = 1111111});
  std::thread second(emitter, Event::Detached{.hwnd = 2222222});
  first.join();
  second.join();

  std::istringstream lines(os.stdout_text());
  int moved = 0;
  int detached = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line == R"({"event":"moved","hwnd":1111111})") {
      ++moved;
    } else if (line == R"({"event":"detached","hwnd":2222222})") {
      ++detached;
    } else {
      ADD_FAILURE() << "torn line: " << line;
    }
  }
  EXPECT_EQ(moved, lines_per_thread);
  EXPECT_EQ(detached, lines_per_thread);
}

}  // namespace
}  // namespace orvel
