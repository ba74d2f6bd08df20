#include "control/stdin_reader.h"

#include <gmock/gmock.h>

#include <functional>

#include "monitor/state.h"
#include "unit/monitor/monitor_fixture.h"

namespace orvel {
namespace {

struct LineCase {
  std::vector<std::string> pieces;  // as the reads give them
  bool closes;
};

TEST(ControlLines, ClosesOnlyAtAWholeDetachLineOrAtTextThatIsNotUtf8) {
  const std::vector<LineCase> cases = {
      {{"detach\n"}, true},
      {{"detach\r\n"}, true},
      {{"  detach \t\n"}, true},
      {{"\tdetach\r\r\n"}, true},  // one CR goes with the line end; the other is white space
      {{"de", "ta", "ch", "\n"}, true},
      {{"\xC2\xA0"
        "detach\xE3\x80\x80\n"},
       true},  // no-break and ideographic spaces
      {{"hello\n", "\n", "   \n", "detach\n"}, true},
      {{"detach"}, false},  // not a line until its line feed, or the end of the input
      {{"Detach\n", "DETACH\n", "detach now\n", "detach.\n", "de tach\n"}, false},
      {{"detach\xE2\x80\x8B\n"}, false},  // a zero-width space is no white space
      {{"ok\n", "\xFF\n"}, true},
      {{"\xED\xA0\x80\n"}, true},  // an encoded surrogate
      {{std::string(100000, 'x') + "\n", "x"}, false},
      {{std::string(70000, ' ') + "detach" + std::string(70000, ' ') + "\n"}, true},
  };
  for (const LineCase& c : cases) {
    ControlLines lines;
    bool closed = false;
    for (const std::string& piece : c.pieces) closed = closed || lines.take(piece);
    EXPECT_EQ(closed, c.closes) << testing::PrintToString(c.pieces).substr(0, 80);
  }
}

TEST(ConsoleText, EndsAtCtrlZAndRefusesUnpairedSurrogates) {
  ConsoleText console;
  std::string utf8;
  ASSERT_TRUE(console.take(u"d\xD83D", utf8));
  EXPECT_EQ(utf8, "d");
  ASSERT_TRUE(console.take(u"\xDE00x\x1A", utf8));
  EXPECT_EQ(utf8, "\xF0\x9F\x98\x80x");
  EXPECT_FALSE(console.take(u"\x1A", utf8));
  EXPECT_FALSE(console.take(u"", utf8));
  EXPECT_FALSE(ConsoleText().take(u"a\xDC00", utf8));
}

// However the input ends or fails, the monitor closes in order right after "attached".
TEST(StdinChannel, EveryEndOfInputClosesTheMonitor) {
  using Kind = SimDesktop::StdinKind;
  using End = SimDesktop::PipeEnd;
  const std::vector<std::pair<const char*, std::function<void(SimDesktop&)>>> cases = {
      {"no handle", [](SimDesktop& os) { os.set_stdin(Kind::none); }},
      {"invalid handle", [](SimDesktop& os) { os.set_stdin(Kind::invalid); }},
      {"broken pipe", [](SimDesktop& os) { os.end_stdin(); }},
      {"zero bytes",
       [](SimDesktop& os) {
         os.set_stdin(Kind::pipe, End::zero_bytes);
         os.write_stdin("ignored\nlast without a line end");
         os.end_stdin();
       }},
      {"read error", [](SimDesktop& os) { os.fail_call(Call::ReadFile, 998); }},
      {"detach", [](SimDesktop& os) { os.write_stdin("x\n detach \nnever read\n"); }},
      {"console ctrl+z",
       [](SimDesktop& os) {
         os.set_stdin(Kind::console);
         os.type_console(u"hello\r\n");
         os.type_console(u"\x1A");
       }},
      {"console detach",
       [](SimDesktop& os) {
         os.set_stdin(Kind::console);
         os.type_console(u"detach\r\n");
       }},
  };
  for (const auto& [name, arrange] : cases) {
    SCOPED_TRACE(name);
    AttachRun r;
    arrange(r.os);
    EXPECT_EQ(r.run(), 0);
    EXPECT_EQ(r.os.stdout_text(), r.attached(r.shell.layer) + "\n" + r.detached() + "\n");
    EXPECT_EQ(r.os.count_calls(Call::PostMessageW), 1u);
    EXPECT_EQ(r.os.elapsed(), 0us);
  }
}

}  // namespace
}  // namespace orvel
