#include "main/entry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/sim_desktop.h"
#include "unit/printers.h"

namespace orvel {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;

constexpr std::string_view usage =
    "usage: orvel-wallpaper-helper attach --hwnd <n> [--forward-mouse] [--zguard]\n"
    "       orvel-wallpaper-helper move --hwnd <n>\n"
    "       orvel-wallpaper-helper detach --hwnd <n>\n"
    "       orvel-wallpaper-helper refresh\n";

class Entry : public testing::Test {
 protected:
  int run(std::u16string arguments) {
    os.set_command_line(u"\"C:\\orvel\\orvel-wallpaper-helper.exe\" " + arguments);
    return run_program(os);
  }
  std::u16string wide(Hwnd window) {
    const std::string text = std::to_string(window);
    return {text.begin(), text.end()};
  }

  SimDesktop os;
  Hmonitor monitor = os.add_monitor({0, 0, 1920, 1080});
  Hwnd host = os.create_window({.class_name = u"OrvelHost",
                                .process_id = 42,
                                .rect = {5, 5, 100, 100},
                                .style = 0x96000000});
};

TEST_F(Entry, RejectedCommandLinesPrintUsageAndExitWithTwo) {
  EXPECT_EQ(run(u""), 2);
  EXPECT_EQ(os.stderr_text(),
            std::string(usage) + "error: missing command (attach | move | detach)\n");
  EXPECT_EQ(run(u"--help"), 2);
  EXPECT_THAT(os.stderr_text(), testing::EndsWith("error: unknown command: --help\n"));
  EXPECT_EQ(run(u"attach --hwnd \"\""), 2);
  EXPECT_THAT(os.stderr_text(), testing::EndsWith("error: invalid integer value: \n"));
  // Nothing else happens: no output, no DPI change, no window call.
  EXPECT_EQ(os.stdout_text(), "");
  EXPECT_THAT(os.calls(), testing::IsEmpty());
}

TEST_F(Entry, AnArgumentThatIsNotTextIsAUsageError) {
  EXPECT_EQ(run(u"move --hwnd=1\xD800"), 2);
  EXPECT_EQ(
      os.stderr_text(),
      std::string(usage) + "error: argument is not valid Unicode text: --hwnd=1\xEF\xBF\xBD\n");
  EXPECT_EQ(run(u"refresh \xDC00x"), 2);
  EXPECT_EQ(os.stdout_text(), "");
  EXPECT_THAT(os.calls(), testing::IsEmpty());
  // The program's own path is dropped before anything looks at it.
  os.set_command_line(u"C:\\\xD800.exe refresh");
  EXPECT_EQ(run_program(os), 0);
}

TEST_F(Entry, RefreshWritesOneLineOrOneError) {
  EXPECT_EQ(run(u"refresh"), 0);
  EXPECT_EQ(os.stdout_text(), "{\"event\":\"refreshed\"}\n");
  EXPECT_THAT(os.calls(), ElementsAre("SetProcessDpiAwarenessContext(-4)",
                                      "SystemParametersInfoW(0x14, 0, null, 0x1)"));

  os.fail_call(Call::SystemParametersInfoW, 5);
  EXPECT_EQ(run(u"refresh"), 1);
  EXPECT_THAT(os.stdout_text(),
              testing::EndsWith("{\"event\":\"error\",\"message\":\"SPI_SETDESKWALLPAPER refresh "
                                "failed: Access is denied. (0x80070005)\"}\n"));
  EXPECT_EQ(os.stderr_text(), "");
}

TEST_F(Entry, MoveFitsTheWindowToItsNearestMonitor) {
  // A failed DPI switch changes nothing about the command.
  os.fail_call(Call::SetProcessDpiAwarenessContext, 5);
  EXPECT_EQ(run(u"move --hwnd " + wide(host) + u" --zguard=maybe"), 0);
  EXPECT_EQ(os.stdout_text(), "{\"event\":\"moved\",\"hwnd\":" + std::to_string(host) + "}\n");
  const auto calls = os.calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "SetProcessDpiAwarenessContext(-4)");
  EXPECT_EQ(calls[1], "IsWindow(" + std::to_string(host) + ")");
  EXPECT_EQ(calls[2], "MonitorFromWindow(" + std::to_string(host) + ", 2)");
  EXPECT_EQ(os.window(host)->screen_rect, (Rect{0, 0, 1920, 1080}));
}

TEST_F(Entry, MoveOfAHandleThatIsNoWindowFailsAndTouchesNothing) {
  EXPECT_EQ(run(u"move --hwnd=-77"), 1);
  EXPECT_EQ(os.stdout_text(),
            "{\"event\":\"error\",\"message\":\"orvel window no longer exists\"}\n");
  EXPECT_THAT(os.calls(), ElementsAre("SetProcessDpiAwarenessContext(-4)", "IsWindow(-77)"));
}

TEST_F(Entry, AClosedStandardOutputChangesNoExitCode) {
  os.close_stdout();
  EXPECT_EQ(run(u"refresh"), 0);
  EXPECT_EQ(run(u"move --hwnd " + wide(host)), 0);
  EXPECT_EQ(run(u"move --hwnd 3"), 1);
  EXPECT_EQ(os.stdout_text(), "");
  EXPECT_EQ(os.window(host)->screen_rect, (Rect{0, 0, 1920, 1080}));
}

TEST_F(Entry, DetachGivesTheWindowBackAndRepaintsTheWallpaper) {
  const Hwnd layer = os.create_window({.class_name = u"WorkerW", .rect = {0, 0, 1920, 1080}});
  os.set_parent(host, layer);
  const std::string detached = "{\"event\":\"detached\",\"hwnd\":" + std::to_string(host) + "}\n";

  EXPECT_EQ(run(u"detach --hwnd " + wide(host)), 0);
  EXPECT_EQ(os.stdout_text(), detached);
  EXPECT_EQ(os.window(host)->parent, os.desktop_window());
  EXPECT_EQ(os.calls().back(), "SystemParametersInfoW(0x14, 0, null, 0x1)");

  // The window is back even when the repaint fails: reported, and still a success.
  os.fail_call(Call::SystemParametersInfoW, 5, 1);
  EXPECT_EQ(run(u"detach --hwnd " + wide(host)), 0);
  EXPECT_EQ(os.stdout_text(), detached + detached +
                                  "{\"event\":\"error\",\"message\":\"SPI_SETDESKWALLPAPER refresh "
                                  "failed: Access is denied. (0x80070005)\"}\n");
}

TEST_F(Entry, AFailedDetachWritesOneErrorAndNoRepaint) {
  EXPECT_EQ(run(u"detach --hwnd 999"), 1);
  EXPECT_EQ(os.stdout_text(),
            "{\"event\":\"error\",\"message\":\"orvel window no longer exists\"}\n");

  os.fail_call(Call::SetParent, 5, 1);
  EXPECT_EQ(run(u"detach --hwnd " + wide(host)), 1);
  EXPECT_THAT(os.stdout_text(),
              testing::EndsWith("{\"event\":\"error\",\"message\":\"SetParent(NULL) "
                                "failed: Access is denied. (0x80070005)\"}\n"));
  EXPECT_EQ(os.count_calls(Call::SystemParametersInfoW), 0u);
  EXPECT_EQ(os.stderr_text(), "");
}

}  // namespace
}  // namespace orvel
