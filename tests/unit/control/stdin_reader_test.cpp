#include <gtest/gtest.h>

#include "unit/monitor/monitor_fixture.h"

namespace orvel {
namespace {

// However the input ends, the monitor closes in order right after "attached". (A broken pipe, a
// failed read and "detach" on a pipe end the other monitor tests.)
TEST(StdinChannel, EveryEndOfInputClosesTheMonitor) {
  using Kind = SimDesktop::StdinKind;
  // A pipe that ends as under Wine, with a read of 0 bytes; a console read as its reads give it.
  const std::vector<std::pair<Kind, std::u16string>> ends = {
      {Kind::none, u""},
      {Kind::invalid, u""},
      {Kind::pipe, u"ignored\nlast without a line end"},
      {Kind::console, u"\x1A"},
      {Kind::console, u"detach\r\n"}};
  for (const auto& [kind, text] : ends) {
    SCOPED_TRACE(testing::PrintToString(text));
    AttachRun r;
    r.os.set_stdin(kind, SimDesktop::PipeEnd::zero_bytes);
    if (kind == Kind::console) r.os.type_console(text);
    if (kind == Kind::pipe) {
      r.os.write_stdin(std::string(text.begin(), text.end()));
      r.os.end_stdin();
    }
    EXPECT_EQ(r.run(), 0);
    EXPECT_EQ(r.os.stdout_text(), r.attached(r.shell.layer) + "\n" + r.detached() + "\n");
    EXPECT_EQ(r.os.count_calls(Call::PostMessageW), 1u);
    EXPECT_EQ(r.os.elapsed(), 0us);
  }
}

}  // namespace
}  // namespace orvel
