#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvel {
namespace {

TEST(SplitCommandLine, FollowsThePlatformRules) {
  const std::vector<std::pair<std::u16string, std::vector<std::u16string>>> cases = {
      {u"", {}},
      // The program's path: quotes toggle and are dropped, backslashes mean nothing there. Runs
      // of blanks and tabs separate.
      {uR"("C:\Program Files\helper.exe" refresh)", {u"refresh"}},
      {u"C:\\a\"b c\"\\helper.exe  move \t --hwnd\t5", {u"move", u"--hwnd", u"5"}},
      // Quotes group and are dropped; "" inside quotes is one literal quote.
      {uR"(h "a b" c"d e"f "say ""hi""")", {u"a b", u"cd ef", uR"(say "hi")"}},
      // n backslashes before a quote give n/2, and an odd n makes the quote literal; before
      // anything else they are literal.
      {uR"(h a\\"b c" d a\\\"b C:\dir\ x\\y\\)",
       {uR"(a\b c)", u"d", uR"(a\"b)", uR"(C:\dir\)", uR"(x\\y\\)"}},
      // Empty quoted arguments are arguments, wherever they stand; an open quote ends with the
      // line.
      {uR"(h "" a "" "a b)", {u"", u"a", u"", u"a b"}},
  };
  for (const auto& [line, expected] : cases) {
    EXPECT_EQ(split_command_line(line), expected) << std::string(line.begin(), line.end());
  }
}

Command attach(Hwnd hwnd, bool mouse = false, bool zguard = false) {
  return {.kind = CommandKind::attach, .hwnd = hwnd, .forward_mouse = mouse, .zguard = zguard};
}

TEST(ParseCommandLine, AcceptsEveryFormAndRejectsWithTheFirstFailingCheck) {
  using Error = std::unexpected<std::string>;
  const std::vector<std::pair<std::vector<std::string>, std::expected<Command, std::string>>>
      cases = {
          {{"attach", "--hwnd", "9223372036854775807"}, attach(INT64_MAX)},
          {{"attach", "--hwnd", "-9223372036854775808"}, attach(INT64_MIN)},
          // The first of an option counts, and later ones are not even checked.
          {{"attach", "--hwnd", "1", "--hwnd", "abc", "--zguard", "--zguard=yes"},
           attach(1, false, true)},
          {{"attach", "--hwnd=3", "--forward-mouse=1", "--zguard=true"}, attach(3, true, true)},
          {{"attach", "--hwnd=3", "--forward-mouse=0", "--zguard=false"}, attach(3)},
          {{"move", "--hwnd", "1", "--forward-mouse=maybe", "--zguard=", "--follow-display=x"},
           Command{.kind = CommandKind::move, .hwnd = 1}},
          // A span is for attach and move alike.
          {{"move", "--hwnd=1", "--span"},
           Command{.kind = CommandKind::move, .hwnd = 1, .span = true}},
          {{"attach", "--span=1", "--hwnd=2"},
           Command{.kind = CommandKind::attach, .hwnd = 2, .span = true}},
          {{"move", "--hwnd=1", "--span=all"}, Error("invalid boolean for --span: all")},
          // inspect takes a window at will; a trace is attach's, and names a file.
          {{"inspect", "--spawn"}, Command{.kind = CommandKind::inspect, .spawn = true}},
          {{"inspect", "--hwnd", "7"}, Command{.kind = CommandKind::inspect, .hwnd = 7}},
          {{"inspect", "--hwnd=x"}, Error("invalid integer value: x")},
          {{"attach", "--trace", "C:\\t.log", "--hwnd=1"},
           Command{.kind = CommandKind::attach, .hwnd = 1, .trace = "C:\\t.log"}},
          {{"attach", "--hwnd=1", "--trace"}, Error("missing value for --trace")},
          {{"attach", "--hwnd=1", "--trace="}, Error("missing value for --trace")},
          {{"detach", "--hwnd=-1"}, Command{.kind = CommandKind::detach, .hwnd = -1}},
          {{"refresh"}, Command{.kind = CommandKind::refresh}},
          {{}, Error("missing command (attach | move | detach)")},
          // Options are walked left to right before the command word is looked at.
          {{"frobnicate", "x", "--bogus"}, Error("unexpected argument: x")},
          {{"--hwnd", "5", "attach"}, Error("unexpected argument: 5")},
          {{"attach", "--Hwnd=1"}, Error("unknown option: --Hwnd")},
          {{"attach", "--hwnd"}, Error("missing value for --hwnd")},
          {{"Attach", "--hwnd", "1"}, Error("unknown command: Attach")},
          {{"refresh", "--forward-mouse=1", "--hwnd=1"},
           Error("unexpected option for refresh: --forward-mouse")},
          {{"move", "--zguard"}, Error("missing required option --hwnd <n>")},
          {{"attach", "--hwnd", "--", "--hwnd=2"}, Error("invalid integer value: --")},
          {{"attach", "--hwnd=1=2"}, Error("invalid integer value: 1=2")},
          {{"detach", "--hwnd", "9223372036854775808"},
           Error("invalid integer value: 9223372036854775808")},
          {{"move", "--hwnd", "-9223372036854775809"},
           Error("invalid integer value: -9223372036854775809")},
          {{"attach", "--hwnd", "\xd9\xa3"}, Error("invalid integer value: \xd9\xa3")},
          // --forward-mouse is looked at before --zguard, whatever their order.
          {{"attach", "--zguard=x", "--hwnd=1", "--forward-mouse="},
           Error("invalid boolean for --forward-mouse: ")},
          {{"attach", "--hwnd", "1", "--zguard=yes"}, Error("invalid boolean for --zguard: yes")},
          {{"attach", "--follow-display=1", "--hwnd=4", "--report-visibility"},
           Command{.kind = CommandKind::attach,
                   .hwnd = 4,
                   .report_visibility = true,
                   .follow_display = true}},
          // --report-visibility is looked at before --follow-display.
          {{"attach", "--follow-display=on", "--hwnd=4", "--report-visibility=2"},
           Error("invalid boolean for --report-visibility: 2")},
          {{"refresh", "--report-visibility"},
           Error("unexpected option for refresh: --report-visibility")},
          {{"attach", "--hwnd=4", "--follow"}, Error("unknown option: --follow")},
          {{"attach", "--hwnd=4", "--report-hangs", "--report-power"},
           Command{
               .kind = CommandKind::attach, .hwnd = 4, .report_hangs = true, .report_power = true}},
          // A wait for the shell, for attach and inspect: whole milliseconds, up to 2^31 - 1.
          {{"attach", "--wait-shell", "0", "--hwnd=4"},
           Command{.kind = CommandKind::attach, .hwnd = 4, .wait_shell_ms = 0}},
          {{"inspect", "--wait-shell=2147483647"},
           Command{.kind = CommandKind::inspect, .wait_shell_ms = 2147483647}},
          {{"inspect", "--wait-shell=2147483648"},
           Error("invalid value for --wait-shell: 2147483648")},
          {{"attach", "--hwnd=4", "--wait-shell", "-1"},
           Error("invalid value for --wait-shell: -1")},
          {{"attach", "--hwnd=4", "--wait-shell=+5"}, Error("invalid value for --wait-shell: +5")},
          {{"attach", "--hwnd=4", "--wait-shell"}, Error("missing value for --wait-shell")},
          {{"move", "--hwnd=4", "--wait-shell=x", "--report-power=x"},
           Command{.kind = CommandKind::move, .hwnd = 4}},
      };
  for (const auto& [arguments, expected] : cases) {
    EXPECT_EQ(parse_command_line(arguments), expected) << testing::PrintToString(arguments);
  }
}

}  // namespace
}  // namespace orvel
