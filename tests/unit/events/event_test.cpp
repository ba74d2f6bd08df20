#include "events/event.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvel {
namespace {

using namespace std::string_literals;

// The other events are written byte for byte where the program writes them.
TEST(EventLine, WritesExtremeValuesAndEscapedMessages) {
  const std::vector<std::pair<Event, std::string>> cases = {
      {Event::Attached{.hwnd = 0, .workerw = -2, .mode = AttachMode::raised},
       R"({"event":"attached","hwnd":0,"workerw":-2,"mode":"raised"})"},
      {Event::Moved{.hwnd = INT64_MIN}, R"({"event":"moved","hwnd":-9223372036854775808})"},
      {Event::Visibility{.hwnd = -7, .visible = false},
       R"({"event":"visibility","hwnd":-7,"visible":false})"},
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
  const struct {
    std::uint32_t last_error;
    std::optional<std::u16string_view> message;
    std::string text;
  } cases[] = {
      // Only the low 16 bits of a positive code take part; trailing blanks go.
      {0x0010000E, u"Not enough memory resources are available.  \t\r\n",
       "Not enough memory resources are available. (0x8007000E)"},
      // A value that is negative as a signed 32-bit number is already the code.
      {0x80070005, u"Access is denied.", "Access is denied. (0x80070005)"},
      {0xD0000022, u"{Access Denied}\r\n", "{Access Denied} (0xD0000022)"},
      // A message of blanks alone, or none, leaves the code alone.
      {87, u" \r\n", "0x80070057"},
      {0, std::nullopt, "0x00000000"},
      // Text that is not UTF-16 is still shown.
      {5, u"bad \xD800 half", "bad \xEF\xBF\xBD half (0x80070005)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_text(c.message, hresult_from_last_error(c.last_error)), c.text) << c.last_error;
  }
}

}  // namespace
}  // namespace orvel
