#include "control/stdin_reader.h"

#include <gtest/gtest.h>

#include <functional>

#include "unit/monitor/monitor_fixture.h"

namespace orvel {
namespace {

TEST(ControlLines, ClosesOnlyAtAWholeDetachLineOrAtTextThatIsNotUtf8) {
  // The pieces as the reads give them, and whether they close.
  const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
      {{"\tdetach\r\r\n"}, true},  // one CR goes with the line end; the other is white space
      {{"de", "ta", "ch", "\n"}, true},
      {{"\xC2\xA0"
        "detach\xE3\x80\x80\n"},
       true},  // no-break and ideographic spaces
      {{"hello\n", "\n", "   \n", "detach\n"}, true},
      {{"detach"}, false},  // not a line until its line feed, or the end of the input
      {{"Detach\n", "detach now\n", "de tach\n", "detach\xE2\x80\x8B\n"}, false},
      {{"ok\n", "\xFF\n"}, true},
      {{"\xED\xA0\x80\n"}, true},  // an encoded surrogate
      {{std::string(100000, 'x') + "\n", "x"}, false},
      {{std::string(70000, ' ') + "detach" + std::string(70000, ' ') + "\n"}, true},
  };
  for (const auto& [pieces, closes] : cases) {
    ControlLines lines;
    bool closed = false;
    for (const std::string& piece : pieces) closed = closed || lines.take(piece);
    EXPECT_EQ(closed, closes) << testing::PrintToString(pieces).substr(0, 80);
  }
}

// However the input ends, the monitor closes in order right after "attached". (A broken pipe, a
// failed read and "detach" on a pipe end the other monitor tests.)
TEST(StdinChannel, EveryEndOfInputClosesTheMonitor) {
  using Kind = SimDesktop::StdinKind;
  const std::vector<std::function<void(SimDesktop&)>> cases = {
      [](SimDesktop& os) { os.set_stdin(Kind::none); },
      [](SimDesktop& os) { os.set_stdin(Kind::invalid); },
      [](SimDesktop& os) {
        os.set_stdin(Kind::pipe, SimDesktop::PipeEnd::zero_bytes);
        os.write_stdin("ignored\nlast without a line end");
        os.end_stdin();
      },
      [](SimDesktop& os) {
        os.set_stdin(Kind::console);
        os.type_console(u"hello\r\n");
        os.type_console(u"\x1A");
      },
      [](SimDesktop& os) {
        os.set_stdin(Kind::console);
        os.type_console(u"detach\r\n");
      },
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    AttachRun r;
    cases[i](r.os);
    EXPECT_EQ(r.run(), 0);
    EXPECT_EQ(r.os.stdout_text(), r.attached(r.shell.layer) + "\n" + r.detached() + "\n");
    EXPECT_EQ(r.os.count_calls(Call::PostMessageW), 1u);
    EXPECT_EQ(r.os.elapsed(), 0us);
  }
}

}  // namespace
}  // namespace orvel
