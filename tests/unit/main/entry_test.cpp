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

struct Case {
  std::u16string arguments;  // "H" stands for the host window
  std::optional<Call> failing;
  int exit_code;
  std::string out;  // "H" stands for the host window
  std::string err = "";
  std::vector<std::string> calls = {};  // all of them, when given
};

TEST(Entry, EachCommandWritesItsLinesAndExitCode) {
  const std::string usage_error = std::string(usage) + "error: ";
  const auto error = [](std::string_view message) {
    return R"({"event":"error","message":")" + std::string(message) + "\"}";
  };
  const std::string gone = error("orvel window no longer exists");
  const std::string no_repaint =
      error("SPI_SETDESKWALLPAPER refresh failed: Access is denied. (0x80070005)");
  const std::string not_text = usage_error + "argument is not valid Unicode text: ";
  const std::string repaint = "SystemParametersInfoW(0x14, 0, null, 0x1)";
  const std::string detached = R"({"event":"detached","hwnd":H})";
  const std::string dpi = "SetProcessDpiAwarenessContext(-4)";
  const std::vector<Case> cases = {
      // Rejected: usage and the error on standard error, and nothing else happens at all.
      {u"", {}, 2, "", usage_error + "missing command (attach | move | detach)\n"},
      {u"--help", {}, 2, "", usage_error + "unknown command: --help\n"},
      {u"attach --hwnd \"\"", {}, 2, "", usage_error + "invalid integer value: \n"},
      {u"move --hwnd=1\xD800", {}, 2, "", not_text + "--hwnd=1\xEF\xBF\xBD\n"},
      {u"refresh \xDC00x", {}, 2, "", not_text + "\xEF\xBF\xBDx\n"},
      {u"refresh", {}, 0, R"({"event":"refreshed"})", "", {dpi, repaint}},
      {u"refresh", Call::SystemParametersInfoW, 1, no_repaint},
      // A failed DPI switch changes nothing about the command.
      {u"move --hwnd H --zguard=maybe", Call::SetProcessDpiAwarenessContext, 0,
       R"({"event":"moved","hwnd":H})"},
      {u"move --hwnd=-77", {}, 1, gone, "", {dpi, "IsWindow(-77)"}},
      {u"detach --hwnd 999", {}, 1, gone},
      {u"detach --hwnd H", {}, 0, detached},
      // The window is back even when the repaint fails: reported, and still a success.
      {u"detach --hwnd H", Call::SystemParametersInfoW, 0, detached + "\n" + no_repaint},
      {u"detach --hwnd H",
       Call::SetParent,
       1,
       error("SetParent(NULL) failed: Access is denied. (0x80070005)"),
       "",
       {dpi, "IsWindow(H)", "SetParent(H, 0)", "FormatMessageW(0x1300, 0x0, 0x80070005)"}},
  };
  for (Case c : cases) {
    Entry e;
    const std::string h = std::to_string(e.host);
    const auto with_host = [&h](std::string text) {
      for (std::size_t at; (at = text.find('H')) != std::string::npos;) text.replace(at, 1, h);
      return text;
    };
    if (const std::size_t at = c.arguments.find(u'H'); at != std::u16string::npos) {
      c.arguments.replace(at, 1, std::u16string(h.begin(), h.end()));
    }
    SCOPED_TRACE(testing::PrintToString(c.out));
    if (c.failing) e.os.fail_call(*c.failing, 5);

    EXPECT_EQ(e.run(c.arguments), c.exit_code);
    EXPECT_EQ(e.os.stdout_text(), c.out.empty() ? "" : with_host(c.out) + "\n");
    EXPECT_EQ(e.os.stderr_text(), c.err);
    if (c.exit_code == 2) {
      EXPECT_THAT(e.os.calls(), testing::IsEmpty());
    }
    if (!c.calls.empty()) {
      std::ranges::transform(c.calls, c.calls.begin(), with_host);
      EXPECT_EQ(e.os.calls(), c.calls);
    }
    // Moved or detached, the host window covers its monitor or is top-level.
    if (c.exit_code == 0 && c.out.find("moved") != std::string::npos) {
      EXPECT_EQ(e.os.window(e.host)->screen_rect, (Rect{0, 0, 1920, 1080}));
    }
    if (c.exit_code == 0 && c.out.find("detached") != std::string::npos) {
      EXPECT_EQ(e.os.window(e.host)->parent, e.os.desktop_window());
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
  EXPECT_EQ(e.run(u"move --hwnd " + std::u16string(u"1")), 1);
  EXPECT_EQ(e.os.stdout_text(), "{\"event\":\"refreshed\"}\n");
}

}  // namespace
}  // namespace orvel
