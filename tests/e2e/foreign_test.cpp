// What other processes post or send to the helper's hidden window, and what the shell does while
// the helper closes: nothing of it crashes the helper, makes it write a line it was not asked for,
// or ends it without giving the host window back.
#include <fstream>
#include <iterator>

#include "e2e/session.h"
#include "monitor/window_ids.h"

namespace orvel::e2e {
namespace {

// A power setting whose pointer points nowhere, posted and sent, the message with which the
// helper's own worker says it found a new layer, timers of options that are off, and a timer
// message whose procedure would be called. Each is answered by nothing at all. A crash would show
// for the posted setting only: Wine swallows one inside a window procedure for a sent message.
void play_forgeries(Session& session) {
  const HWND window = helper_window(session.process);
  constexpr LPARAM nowhere = 0x1234;
  PostMessageW(window, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, nowhere);
  SendMessageTimeoutW(window, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, nowhere, SMTO_NORMAL,
                      1'000, nullptr);
  PostMessageW(window, window_ids::layer_changed_message, 0, 0);
  for (const WPARAM timer : window_ids::timers) {
    if (timer != window_ids::heartbeat_timer) PostMessageW(window, WM_TIMER, timer, 0);
  }
  PostMessageW(window, WM_TIMER, window_ids::heartbeat_timer, nowhere);
  EXPECT_EQ(session.next(false, 800), std::nullopt);
}

// Without the options that the forgeries play at, and with them; then a WM_CLOSE, or a WM_QUIT
// that the helper did not post itself, closes it in order. Without the options, the trace shows
// that the forged display timer refitted nothing.
TEST(Foreign, MessagesFromOtherProcessesNeitherCrashNorSpeakNorLoseTheWindow) {
  Shell shell(Layout::classic);
  const std::string trace = temp_file("orvel_forgeries.log");
  const struct {
    std::wstring options;
    bool reports_visibility;
    UINT ending;
  } cases[] = {{L" --trace " + widen(trace), false, WM_CLOSE},
               {L" --report-visibility --forward-mouse", true, WM_QUIT}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ending);
    const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
    Session session(shell, host.get(), c.options);
    if (c.reports_visibility) {
      EXPECT_TRUE(session.until("visibility"));
    }
    play_forgeries(session);
    PostMessageW(helper_window(session.process), c.ending, 0, 0);
    EXPECT_TRUE(session.until("detached"));
    EXPECT_EQ(session.close(), 0u);
    EXPECT_EQ(session.lines.back(), event("detached", host.get()));
    expect_kept(host.get());
  }
  std::ifstream notes(trace);
  const std::string written{std::istreambuf_iterator<char>(notes), {}};
  EXPECT_NE(written.find(R"("what":"attached")"), std::string::npos) << written;
  EXPECT_EQ(written.find(R"("what":"refit")"), std::string::npos) << written;
}

// The layer goes while the close repaints the wallpaper, as some shells rebuild it then: nothing
// follows "detached". Forced: the repaint takes a second.
TEST(Foreign, TheShellChangingDuringTheCloseWritesNothingAfterDetached) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  Session session(shell, host.get(), L" --zguard", "SystemParametersInfoW(0x14)+1000");
  const HWND layer = shell.layer();
  session.process.close_input();
  EXPECT_TRUE(session.until("detached"));
  shell.destroy_layer();
  EXPECT_EQ(session.close(), 0u);
  EXPECT_EQ(session.lines, (std::vector{attached(host.get(), layer, Layout::classic),
                                        event("detached", host.get())}));
}

// Standard input as a pipe of messages, one longer than a read: it comes in parts, none of which
// is an end.
TEST(Foreign, AMessageLongerThanAReadOfAMessagePipeIsNoEnd) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  Process helper(L"orvel-wallpaper-helper.exe", L"attach --hwnd " + widen(handle_text(host.get())),
                 {.message_input = true});
  EXPECT_EQ(helper.read_line(), attached(host.get(), shell.layer(), Layout::classic));
  helper.write(std::string(10'000, ' ') + "\n");
  EXPECT_EQ(helper.read_line(800), std::nullopt);
  helper.write("detach\n");
  EXPECT_EQ(helper.read_line(), event("detached", host.get()));
  EXPECT_EQ(helper.wait(), 0u);
}

}  // namespace
}  // namespace orvel::e2e
