#include "events/event.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "events/json.h"
#include "events/trace.h"

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

// Every error line names its kind, for the main process to act on: each kind beside the condition
// that gives it.
TEST(EventLine, EveryErrorNamesItsKind) {
  const struct {
    ErrorKind kind;
    const char* text;
    const char* condition;
  } kinds[] = {
      {ErrorKind::window_not_found, "window-not-found", "the handle names no window"},
      {ErrorKind::window_destroyed, "window-destroyed", "the window went with its layer"},
      {ErrorKind::shell_not_found, "shell-not-found", "there is no Progman to ask for a layer"},
      {ErrorKind::layer_not_found, "layer-not-found", "no layer after asking the shell for one"},
      {ErrorKind::attach_failed, "attach-failed", "a style or parent change of the attach failed"},
      {ErrorKind::detach_failed, "detach-failed", "the give-back failed, or left it in a parent"},
      {ErrorKind::fit_failed, "fit-failed", "no monitor, or the window could not be placed"},
      {ErrorKind::reattach_failed, "reattach-failed", "ten tries failed, or no thread for them"},
      {ErrorKind::wallpaper_refresh_failed, "wallpaper-refresh-failed",
       "the refresh failed or did not end in time"},
      {ErrorKind::start_failed, "start-failed", "the helper's window, hooks, timers or input"},
  };
  for (const auto& [kind, text, condition] : kinds) {
    EXPECT_EQ(event_line(Event::Error{.message = condition, .kind = kind}),
              R"({"event":"error","message":")" + std::string(condition) + R"(","kind":")" + text +
                  "\"}\n")
        << text;
  }
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

// What `inspect` and the trace are built with: values inside objects and arrays at any depth,
// commas only between them, extreme numbers, and text escaped as in every event line.
TEST(JsonWriter, NestsSeparatesAndEscapes) {
  const auto written = [](auto&& build) {
    std::string out;
    JsonWriter json(out);
    build(json);
    return out;
  };
  const std::pair<std::string, std::string> cases[] = {
      {written([](JsonWriter& j) { j.begin_object().end_object(); }), "{}"},
      {written([](JsonWriter& j) { j.begin_array().end_array(); }), "[]"},
      {written([](JsonWriter& j) {
         j.begin_object().number("a", INT64_MIN).number("b", 0).boolean("c", false).end_object();
       }),
       R"({"a":-9223372036854775808,"b":0,"c":false})"},
      {written([](JsonWriter& j) {
         j.begin_object().begin_array("list");
         j.begin_object().end_object().begin_object().number("x", -1).end_object();
         j.begin_array().end_array().text("", "t").end_array().boolean("after", true).end_object();
       }),
       R"({"list":[{},{"x":-1},[],"t"],"after":true})"},
      {written([](JsonWriter& j) { j.begin_object().text("class", "a\"b\\c\x01\n").end_object(); }),
       R"({"class":"a\"b\\c\u0001\n"})"},
      {written([](JsonWriter& j) {
         j.begin_object();
         write_rect(j, "rect", {-1, 2, INT32_MAX, INT32_MIN}).end_object();
       }),
       R"({"rect":{"left":-1,"top":2,"right":2147483647,"bottom":-2147483648}})"},
  };
  for (const auto& [out, expected] : cases) EXPECT_EQ(out, expected);
}

// A full trace keeps the lines that begin in its last half-megabyte, read from the byte before.
TEST(Trace, KeepsTheWholeLinesOfItsNewerHalf) {
  EXPECT_EQ(tail_read_from(trace_limit / 2), 0u);
  EXPECT_EQ(tail_read_from(trace_limit), trace_limit / 2 - 1);
  EXPECT_EQ(whole_lines("\nnew 1\nnew 2\n", false), "new 1\nnew 2\n");
  EXPECT_EQ(whole_lines("d line\nnew\n", false), "new\n");
  EXPECT_EQ(whole_lines("half a line", false), "");
  EXPECT_EQ(whole_lines("all\nof it\n", true), "all\nof it\n");
}

}  // namespace
}  // namespace orvel
