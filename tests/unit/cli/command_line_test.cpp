#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvel {
namespace {

using Args = std::vector<std::string>;

std::vector<std::u16string> split(std::u16string_view line) {
  return split_command_line(line);
}

TEST(SplitCommandLine, FollowsThePlatformRules) {
  struct Case {
    std::u16string line;
    std::vector<std::u16string> expected;
  };
  const std::vector<Case> cases = {
      {u"", {}},
      {u"helper.exe", {}},
      // The program's path: quotes toggle and are dropped, backslashes mean nothing there.
      {uR"("C:\Program Files\helper.exe" refresh)", {u"refresh"}},
      {uR"(C:\a"b c"\helper.exe move)", {u"move"}},
      {uR"("C:\dir\\" move)", {u"move"}},
      // Runs of blanks and tabs separate.
      {u"h  move \t --hwnd\t5", {u"move", u"--hwnd", u"5"}},
      // Quotes group and are dropped; "" inside quotes is one literal quote.
      {uR"(h "a b" c"d e"f)", {u"a b", u"cd ef"}},
      {uR"(h "say ""hi""")", {uR"(say "hi")"}},
      // n backslashes before a quote give n/2; an odd n makes the quote literal.
      {uR"(h a\\"b c" d)", {uR"(a\b c)", u"d"}},
      {uR"(h a\\\"b)", {uR"(a\"b)"}},
      {uR"(h a\\\\"b c")", {uR"(a\\b c)"}},
      // Backslashes before anything else are literal.
      {uR"(h C:\dir\ x\\y\\)", {uR"(C:\dir\)", uR"(x\\y\\)"}},
      // Empty quoted arguments are arguments, wherever they stand.
      {uR"(h "" a "")", {u"", u"a", u""}},
      {uR"(h a ")", {u"a", u""}},
      {uR"(h "a)", {u"a"}},
      {uR"(h "a b)", {u"a b"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(split(c.line), c.expected) << std::string(c.line.begin(), c.line.end());
  }
}

struct ParseCase {
  Args arguments;
  std::variant<Command, std::string> expected;
};

void expect_parse(const ParseCase& c) {
  const auto parsed = parse_command_line(c.arguments);
  std::string shown;
  for (const std::string& a : c.arguments) shown += "[" + a + "]";
  if (const auto* command = std::get_if<Command>(&c.expected)) {
    ASSERT_TRUE(parsed.has_value()) << shown << " failed: " << parsed.error();
    EXPECT_EQ(*parsed, *command) << shown;
  } else {
    ASSERT_FALSE(parsed.has_value()) << shown;
    EXPECT_EQ(parsed.error(), std::get<std::string>(c.expected)) << shown;
  }
}

Command attach(Hwnd hwnd, bool forward_mouse = false, bool zguard = false) {
  return {
      .kind = CommandKind::attach, .hwnd = hwnd, .forward_mouse = forward_mouse, .zguard = zguard};
}

TEST(ParseCommandLine, AcceptsEveryCommandAndOptionForm) {
  const std::vector<ParseCase> cases = {
      {{"attach", "--hwnd=42"}, attach(42)},
      {{"attach", "--hwnd", "42"}, attach(42)},
      {{"attach", "--hwnd", "+0012"}, attach(12)},
      {{"attach", "--hwnd", "9223372036854775807"}, attach(INT64_MAX)},
      {{"attach", "--hwnd", "-9223372036854775808"}, attach(INT64_MIN)},
      {{"attach", "--hwnd", "1", "--hwnd", "abc"}, attach(1)},
      {{"attach", "--zguard", "--hwnd=3", "--forward-mouse"}, attach(3, true, true)},
      {{"attach", "--hwnd=3", "--forward-mouse=1", "--zguard=true"}, attach(3, true, true)},
      {{"attach", "--hwnd=3", "--forward-mouse=0", "--zguard=false"}, attach(3)},
      {{"attach", "--hwnd", "1", "--zguard=0", "--zguard"}, attach(1)},
      {{"attach", "--hwnd", "1", "--zguard=1", "--zguard=yes"}, attach(1, false, true)},
      {{"attach", "--hwnd", "--", "--hwnd=2"}, std::string("invalid integer value: --")},
      {{"move", "--hwnd", "1", "--forward-mouse=maybe", "--zguard="},
       Command{.kind = CommandKind::move, .hwnd = 1}},
      {{"detach", "--hwnd=-1"}, Command{.kind = CommandKind::detach, .hwnd = -1}},
      {{"refresh"}, Command{.kind = CommandKind::refresh}},
      {{"attach", "--hwnd=1=2"}, std::string("invalid integer value: 1=2")},
  };
  for (const ParseCase& c : cases) expect_parse(c);
}

TEST(ParseCommandLine, RejectsWithTheFirstFailingCheck) {
  const std::vector<ParseCase> cases = {
      {{}, std::string("missing command (attach | move | detach)")},
      // Options are walked left to right before the command word is looked at.
      {{"frobnicate", "--bogus"}, std::string("unknown option: --bogus")},
      {{"frobnicate", "x", "--bogus"}, std::string("unexpected argument: x")},
      {{"refresh", "now"}, std::string("unexpected argument: now")},
      {{"attach", "-h"}, std::string("unexpected argument: -h")},
      {{"attach", "--"}, std::string("unknown option: --")},
      {{"attach", "--Hwnd=1"}, std::string("unknown option: --Hwnd")},
      {{"attach", "--bogus=1", "stray"}, std::string("unknown option: --bogus")},
      {{"attach", "--hwnd"}, std::string("missing value for --hwnd")},
      {{"--hwnd", "5", "attach"}, std::string("unexpected argument: 5")},
      {{"Attach", "--hwnd", "1"}, std::string("unknown command: Attach")},
      {{"--help"}, std::string("unknown command: --help")},
      {{"refresh", "--zguard"}, std::string("unexpected option for refresh: --zguard")},
      {{"refresh", "--forward-mouse=1", "--hwnd=1"},
       std::string("unexpected option for refresh: --forward-mouse")},
      {{"attach"}, std::string("missing required option --hwnd <n>")},
      {{"move", "--zguard"}, std::string("missing required option --hwnd <n>")},
      {{"attach", "--hwnd="}, std::string("invalid integer value: ")},
      {{"attach", "--hwnd", "--zguard"}, std::string("invalid integer value: --zguard")},
      {{"detach", "--hwnd", "9223372036854775808"},
       std::string("invalid integer value: 9223372036854775808")},
      {{"move", "--hwnd", "-9223372036854775809"},
       std::string("invalid integer value: -9223372036854775809")},
      {{"attach", "--hwnd", "0x10"}, std::string("invalid integer value: 0x10")},
      {{"attach", "--hwnd", "+-1"}, std::string("invalid integer value: +-1")},
      {{"attach", "--hwnd", "\xd9\xa3"}, std::string("invalid integer value: \xd9\xa3")},
      {{"attach", "--hwnd", "1", "--zguard=yes"}, std::string("invalid boolean for --zguard: yes")},
      {{"attach", "--hwnd", "1", "--forward-mouse="},
       std::string("invalid boolean for --forward-mouse: ")},
      // --forward-mouse is looked at before --zguard, whatever their order.
      {{"attach", "--zguard=x", "--hwnd=1", "--forward-mouse=y"},
       std::string("invalid boolean for --forward-mouse: y")},
      {{"attach", "--zguard", "false", "--hwnd=1"}, std::string("unexpected argument: false")},
  };
  for (const ParseCase& c : cases) expect_parse(c);
}

}  // namespace
}  // namespace orvel
