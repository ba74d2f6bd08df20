#include <gtest/gtest.h>

#include <string>

#include "e2e/helper_process.h"

namespace orvel::e2e {
namespace {

constexpr char usage[] =
    "usage: orvel-wallpaper-helper attach --hwnd <n> [--forward-mouse] [--zguard]\n"
    "       orvel-wallpaper-helper move --hwnd <n>\n"
    "       orvel-wallpaper-helper detach --hwnd <n>\n"
    "       orvel-wallpaper-helper refresh\n";

TEST(CommandLine, NoArgumentsPrintsUsageAndTheMissingCommand) {
  const HelperRun run = run_helper(quoted_helper_path());

  EXPECT_EQ(run.exit_code, 2u);
  EXPECT_EQ(run.err, std::string(usage) + "error: missing command (attach | move | detach)\n");
  EXPECT_EQ(run.out, "");
}

struct Rejected {
  const wchar_t* arguments;  // everything after the program path, exactly as written
  const char* message;
};

void PrintTo(const Rejected& rejected, std::ostream* out) {
  *out << testing::PrintToString(std::wstring(rejected.arguments));
}

class RejectedCommandLine : public testing::TestWithParam<Rejected> {};

TEST_P(RejectedCommandLine, PrintsUsageAndTheErrorAndExitsWithTwo) {
  const HelperRun run = run_helper(quoted_helper_path() + L" " + GetParam().arguments);

  EXPECT_EQ(run.exit_code, 2u);
  EXPECT_EQ(run.err, std::string(usage) + "error: " + GetParam().message + "\n");
  EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Parsing, RejectedCommandLine,
    testing::Values(
        Rejected{L"--help", "unknown command: --help"},
        Rejected{L"Attach --hwnd 1", "unknown command: Attach"},
        Rejected{L"frobnicate --bogus", "unknown option: --bogus"},
        Rejected{L"refresh now", "unexpected argument: now"},
        Rejected{L"refresh --zguard", "unexpected option for refresh: --zguard"},
        Rejected{L"move", "missing required option --hwnd <n>"},
        Rejected{L"move --hwnd", "missing value for --hwnd"},
        Rejected{L"move --hwnd=", "invalid integer value: "},
        Rejected{L"move --hwnd --zguard", "invalid integer value: --zguard"},
        Rejected{L"move --hwnd 0x10", "invalid integer value: 0x10"},
        Rejected{L"detach --hwnd 9223372036854775808",
                 "invalid integer value: 9223372036854775808"},
        Rejected{L"detach --hwnd=-", "invalid integer value: -"},
        Rejected{L"attach -h", "unexpected argument: -h"},
        Rejected{L"attach --", "unknown option: --"},
        Rejected{L"attach --hwnd 1 --zguard=yes", "invalid boolean for --zguard: yes"},
        Rejected{L"--hwnd 5 attach", "unexpected argument: 5"},
        // Quotes delimit one argument, empty or holding blanks, and are dropped.
        Rejected{L"move --hwnd \"\"", "invalid integer value: "},
        Rejected{L"refresh \"\"", "unexpected argument: "},
        Rejected{L"\"move\" \t --hwnd \"1 2\"", "invalid integer value: 1 2"},
        Rejected{L"move --hwnd=\"4\"2\" 3\"", "invalid integer value: 42 3"},
        // Two quotes inside quotes are one literal quote, and quoting goes on.
        Rejected{L"move --hwnd \"a\"\"b c\"", "invalid integer value: a\"b c"},
        // Backslashes count only before a quote: an odd run escapes it, an even run does not.
        Rejected{L"move --hwnd \\\"12\\\"", "invalid integer value: \"12\""},
        Rejected{L"move --hwnd a\\\\b\\", "invalid integer value: a\\\\b\\"},
        Rejected{L"move --hwnd a\\\\\\\"b", "invalid integer value: a\\\"b"},
        Rejected{L"move --hwnd a\\\\\\\\\"b c\"", "invalid integer value: a\\\\b c"},
        // An argument that is not Unicode text is refused, and shown as far as it can be.
        Rejected{L"move --hwnd=1\xD800",
                 "argument is not valid Unicode text: --hwnd=1\xEF\xBF\xBD"}));

}  // namespace
}  // namespace orvel::e2e
