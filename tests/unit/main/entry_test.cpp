#include "main/entry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "event_lines.h"
#include "platform/sim_desktop.h"

namespace orvel {
namespace {

// A host window inside a layer of the desktop's one monitor.
struct Entry {
  SimDesktop os;
  Hmonitor monitor = os.add_monitor({0, 0, 1920, 1080});
  Hwnd layer = os.create_window({.class_name = u"WorkerW", .rect = {0, 0, 1920, 1080}});
  Hwnd host = os.create_window(
      {.class_name = u"OrvelHost", .parent = layer, .process_id = 42, .rect = {5, 5, 100, 100}});
};

TEST(Entry, EachCommandWritesItsLinesAndExitCode) {
  struct Case {
    std::u16string command_line;
    std::optional<Call> failing;
    int exit_code;
    std::string text;  // standard output, or the error after the usage on standard error
  };
  // Every desktop gets the same handles.
  const std::string h = std::to_string(Entry().host);
  const std::u16string wide_h(h.begin(), h.end());
  const auto error = [](std::string_view message) { return error_line(message) + "\n"; };
  const std::string no_repaint =
      error("SPI_SETDESKWALLPAPER refresh failed: Access is denied. (0x80070005)");
  const std::string refreshed = event_text("refreshed") + "\n";
  const std::string detached = host_line("detached", Entry().host) + "\n";
  const std::vector<Case> cases = {
      {u"helper", {}, 2, "missing command (attach | move | detach)"},
      // Each lone surrogate shows as U+FFFD, and a pair after one is still a character.
      {u"h move --hwnd=\xD800\xD800\xDC00", std::nullopt, 2,
       "argument is not valid Unicode text: --hwnd=\xEF\xBF\xBD\xF0\x90\x80\x80"},
      // The program's own path is dropped before anything looks at it.
      {u"C:\\\xD800.exe refresh", {}, 0, refreshed},
      {u"h refresh", Call::SystemParametersInfoW, 1, no_repaint},
      // A failed DPI switch changes nothing about the command.
      {u"h move --hwnd " + wide_h, Call::SetProcessDpiAwarenessContext, 0,
       host_line("moved", Entry().host) + "\n"},
      {u"h move --hwnd=-77", {}, 1, error("orvel window no longer exists")},
      {u"h detach --hwnd " + wide_h, {}, 0, detached},
      // The window is back even when the repaint fails: reported, and still a success.
      {u"h detach --hwnd " + wide_h, Call::SystemParametersInfoW, 0, detached + no_repaint},
      {u"h detach --hwnd " + wide_h, Call::SetParent, 1,
       error("SetParent(NULL) failed: Access is denied. (0x80070005)")},
      // A reader that has gone away costs the lines, never the exit code.
      {u"h refresh", Call::WriteStdout, 0, ""},
  };
  for (const Case& c : cases) {
    Entry e;
    SCOPED_TRACE(c.text);
    if (c.failing) e.os.fail_call(*c.failing, 5);
    e.os.set_command_line(c.command_line);
    EXPECT_EQ(run_program(e.os), c.exit_code);
    // A rejected command line does nothing else at all.
    const bool rejected = c.exit_code == 2;
    EXPECT_EQ(e.os.stdout_text(), rejected ? "" : c.text);
    EXPECT_EQ(e.os.stderr_text(),
              rejected ? std::string(usage_text) + "error: " + c.text + "\n" : "");
    EXPECT_EQ(e.os.calls().empty(), rejected);
    if (c.text == refreshed) {
      EXPECT_THAT(e.os.calls(), testing::Contains("SystemParametersInfoW(0x14, 0, null, 0x1)"));
    }
  }
}

}  // namespace
}  // namespace orvel
