#include <gtest/gtest.h>

#include <string>

#include "e2e/desktop.h"
#include "e2e/helper_process.h"

namespace orvel::e2e {
namespace {

constexpr char usage[] =
    "usage: orvel-wallpaper-helper attach --hwnd <n> [--forward-mouse] [--zguard]\n"
    "       orvel-wallpaper-helper move --hwnd <n>\n"
    "       orvel-wallpaper-helper detach --hwnd <n>\n"
    "       orvel-wallpaper-helper refresh\n";

struct Case {
  std::wstring command_line;
  DWORD exit_code;
  std::string out;
  std::string err = "";
  StdoutReader reader = StdoutReader::reading;
};

// A few representatives of the command-line rules, through the real process: the line as Windows
// hands it over, the streams and the exit code. The rules themselves are proven by the unit tests.
TEST(CommandLine, ReachesTheProgramAsWindowsHandsItOver) {
  const std::wstring helper = quoted_helper_path() + L" ";
  const std::string refreshed = "{\"event\":\"refreshed\"}\n";
  const std::string gone = "{\"event\":\"error\",\"message\":\"orvel window no longer exists\"}\n";
  const std::string destroyed = handle_text(Window(create_window({.style = WS_POPUP})).get());
  const std::vector<Case> cases = {
      {quoted_helper_path(), 2, "",
       std::string(usage) + "error: missing command (attach | move | detach)\n"},
      {helper + L"--hwnd 5 attach", 2, "", std::string(usage) + "error: unexpected argument: 5\n"},
      // Quotes, doubled quotes and backslashes before a quote.
      {helper + L"move --hwnd=\"4\"2\" \"\"3\"", 2, "",
       std::string(usage) + "error: invalid integer value: 42 \"3\n"},
      {helper + L"move --hwnd a\\\\\\\"b", 2, "",
       std::string(usage) + "error: invalid integer value: a\\\"b\n"},
      {helper + L"move --hwnd=1\xD800", 2, "",
       std::string(usage) + "error: argument is not valid Unicode text: --hwnd=1\xEF\xBF\xBD\n"},
      // The program path knows no escapes: the quote after a backslash ends it.
      {L"\"Z:\\orvel e2e\\\" \trefresh \t ", 0, refreshed},
      {helper + L"refresh", 0, "", "", StdoutReader::gone},
      {helper + L"move --hwnd 0", 1, gone},
      {helper + L"detach --hwnd " + widen(destroyed), 1, gone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.command_line));
    const HelperRun run = run_helper(c.command_line, c.reader);
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

}  // namespace
}  // namespace orvel::e2e
