#include "main/entry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sim_desktop.h"
#include "unit/printers.h"

namespace orvel {
namespace {

constexpr std::string_view usage =
    "usage: orvel-wallpaper-helper attach --hwnd <n> [--forward-mouse] [--zguard]\n"
    "       orvel-wallpaper-helper move --hwnd <n>\n"
    "       orvel-wallpaper-helper detach --hwnd <n>\n"
    "       orvel-wallpaper-helper refresh\n";

// A host window inside a layer of the desktop's one monitor.
struct Entry {
  int run(std::u16string arguments) {
    os.set_command_line(u"\"C:\\orvel\\orvel-wallpaper-helper.exe\" " + arguments);
    return run_program(os);
  }

  SimDesktop os;
  Hmonitor monitor = os.add_monitor({0, 0, 1920, 1080});
  Hwnd layer = os.create_window({.class_name = u"WorkerW", .rect = {0, 0, 1920, 1080}});
  Hwnd host = os.create_window(
      {.class_name = u"OrvelHost", .parent = layer, .process_id = 42, .rect = {5, 5, 100, 100}});
};

TEST(Entry, EachCommandWritesItsLinesAndExitCode) {
  struct Case {
    std::u16string arguments;
    std::optional<Call> failing;
    int exit_code;
    std::string out;
    std::string err = "";
  };
  // Every desktop gets the same handles.
  const std::string h = std::to_string(Entry().host);
  const std::u16string wide_h(h.begin(), h.end());
  const auto error = [](std::string_view message) {
    return R"({"event":"error","message":")" + std::string(message) + "\"}\n";
  };
  const std::string gone = error("orvel window no longer exists");
  const std::string no_repaint =
      error("SPI_SETDESKWALLPAPER refresh failed: Access is denied. (0x80070005)");
  const std::string detached = R"({"event":"detached","hwnd":)" + h + "}\n";
  const std::vector<Case> cases = {
      // Rejected: usage and the error on standard error, and nothing else happens at all.
      {u"", {}, 2, "", std::string(usage) + "error: missing command (attach | move | detach)\n"},
      {u"move --hwnd=1\xD800",
       {},
       2,
       "",
       std::string(usage) + "error: argument is not valid Unicode text: --hwnd=1\xEF\xBF\xBD\n"},
      {u"refresh", {}, 0, "{\"event\":\"refreshed\"}\n"},
      {u"refresh", Call::SystemParametersInfoW, 1, no_repaint},
      // A failed DPI switch changes nothing about the command.
      {u"move --hwnd " + wide_h, Call::SetProcessDpiAwarenessContext, 0,
       R"({"event":"moved","hwnd":)" + h + "}\n"},
      {u"move --hwnd=-77", {}, 1, gone},
      {u"detach --hwnd " + wide_h, {}, 0, detached},
      // The window is back even when the repaint fails: reported, and still a success.
      {u"detach --hwnd " + wide_h, Call::SystemParametersInfoW, 0, detached + no_repaint},
      {u"detach --hwnd " + wide_h, Call::SetParent, 1,
       error("SetParent(NULL) failed: Access is denied. (0x80070005)")},
  };
  for (const Case& c : cases) {
    Entry e;
    SCOPED_TRACE(testing::PrintToString(c.out));
    if (c.failing) e.os.fail_call(*c.failing, 5);
    EXPECT_EQ(e.run(c.arguments), c.exit_code);
    EXPECT_EQ(e.os.stdout_text(), c.out);
    EXPECT_EQ(e.os.stderr_text(), c.err);
    EXPECT_EQ(e.os.calls().empty(), c.exit_code == 2);
    if (c.out.starts_with(R"({"event":"moved")")) {
      EXPECT_EQ(e.os.window(e.host)->screen_rect, (Rect{0, 0, 1920, 1080}));
    }
    if (c.out == "{\"event\":\"refreshed\"}\n") {
      EXPECT_THAT(e.os.calls(), testing::ElementsAre("SetProcessDpiAwarenessContext(-4)",
                                                     "SystemParametersInfoW(0x14, 0, null, 0x1)"));
    }
  }
}

TEST(Entry, NeitherTheProgramsPathNorAClosedStandardOutputChangesTheExitCode) {
  Entry e;
  // The program's own path is dropped before anything looks at it.
  e.os.set_command_line(u"C:\\\xD800.exe refresh");
  EXPECT_EQ(run_program(e.os), 0);
  e.os.close_stdout();
  EXPECT_EQ(e.run(u"refresh"), 0);
  EXPECT_EQ(e.run(u"move --hwnd 1"), 1);
  EXPECT_EQ(e.os.stdout_text(), "{\"event\":\"refreshed\"}\n");
}

}  // namespace
}  // namespace orvel
