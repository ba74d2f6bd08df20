// The host window is never lost, whatever another process does: words about the helper window's
// life that it did not say itself, a close that races a re-attach, a shell that stops answering,
// a console's control event.
#include <fstream>
#include <iterator>

#include "e2e/session.h"

namespace orvel::e2e {
namespace {

// Reads lines, heartbeats too, until one is `line`; whether one came within `wait_ms`.
bool raw_until(Session& session, const std::string& line, DWORD wait_ms) {
  for (const ULONGLONG end = GetTickCount64() + wait_ms; GetTickCount64() < end;) {
    const std::optional<std::string> read = session.process.read_line(100);
    if (read && *read != heartbeat) session.lines.push_back(*read);
    if (read == line) return true;
  }
  return false;
}

std::string hang_line(const char* name, HWND window, const char* which) {
  return event(name, window, std::string(",\"window\":\"") + which + '"');
}

// Creation and destruction messages, posted and sent with parameters that point anywhere, and a
// write to the window's user data: the helper neither crashes nor goes deaf nor ends. Its heartbeat
// goes on, and a log-off (WM_ENDSESSION) is then a close in order.
TEST(Lifetime, ForgedWindowLifetimeMessagesNeitherCutNorEndTheHelper) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  Session session(shell, host.get(), L"");
  const HWND window = helper_window(session.process);
  constexpr LPARAM nowhere = 0x1234;
  for (const UINT message :
       {UINT{WM_NCCREATE}, UINT{WM_CREATE}, UINT{WM_DESTROY}, UINT{WM_NCDESTROY}}) {
    PostMessageW(window, message, 0, nowhere);
    SendMessageTimeoutW(window, message, 0, nowhere, SMTO_NORMAL, 1'000, nullptr);
  }
  SetWindowLongPtrW(window, GWLP_USERDATA, nowhere);
  SendMessageTimeoutW(window, WM_ENDSESSION, FALSE, 0, SMTO_NORMAL, 1'000, nullptr);
  EXPECT_EQ(session.next(false, 800), std::nullopt);
  EXPECT_TRUE(raw_until(session, heartbeat, 6'000));
  SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 5'000, nullptr);
  EXPECT_EQ(session.next(false, 1'000), event("detached", host.get()));
  EXPECT_EQ(session.close(), 0u);
  EXPECT_EQ(session.lines.back(), event("detached", host.get()));
  expect_kept(host.get());
}

// A taskbar restart just before "detach", the worker's attach slow on a slow host window thread,
// and the close slow over its wallpaper refresh and its own window: the close waits for the attach
// under way, and the window ends top-level. Forced: the worker's SetParent comes 3.5 s late, so
// that it lands after the close would have given up waiting for it, or, had the close not waited,
// after its last look at the window; and its fit 4 s late after that.
TEST(Lifetime, ACloseThatRacesAReattachEndsWithTheWindowGivenBack) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  Session session(
      shell, host.get(), L"",
      "SetParent(host,WorkerW,worker)+3500,SetWindowPos(host,0x4054,worker)+4000,"
      "SystemParametersInfoW(0x14)+1900,DestroyWindow(OrvelWallpaperHelperWindow)+3000");
  shell.restart_taskbar();
  EXPECT_TRUE(session.until("explorer-restarted"));
  // The worker finds the layer and begins its attach meanwhile.
  EXPECT_EQ(session.next(false, 300), std::nullopt);
  EXPECT_EQ(session.close(), 0u);
  EXPECT_EQ(session.lines.back(), event("detached", host.get()));
  expect_kept(host.get());
}

// With the shell's windows taking no messages: the helper beats on, says the shell does not answer
// within 3 s and that it does again within 2 s of its answer. A "detach" while it hangs ends the
// helper within 2 s of the shell's answer, the window given back, and the trace tells what waited.
TEST(Lifetime, AShellThatStopsAnsweringIsReportedAndHoldsTheCloseOnlyUntilItAnswers) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  const std::string trace = temp_file("orvel_hangs.log");
  Session session(shell, host.get(), L" --report-hangs --trace " + widen(trace));
  const HWND progman = FindWindowW(L"Progman", nullptr);
  shell.hang(6'000);
  EXPECT_EQ(session.next(false, 3'000), hang_line("unresponsive", progman, "shell"));
  EXPECT_TRUE(raw_until(session, heartbeat, 5'500));
  shell.answered();
  Clock::time_point answered = Clock::now();
  EXPECT_EQ(session.next(false, 2'000), hang_line("responsive", progman, "shell"));
  EXPECT_LT(seconds_since(answered), 2.0);

  shell.hang(5'000);
  EXPECT_EQ(session.next(false, 3'000), hang_line("unresponsive", progman, "shell"));
  session.process.close_input();
  shell.answered();
  answered = Clock::now();
  EXPECT_EQ(session.close(), 0u);
  EXPECT_LT(seconds_since(answered), 2.0);
  EXPECT_EQ(session.lines.back(), event("detached", host.get()));
  expect_kept(host.get());
  std::ifstream notes(trace);
  const std::string written{std::istreambuf_iterator<char>(notes), {}};
  for (const char* call : {"SetParent", "SendMessageTimeoutW"}) {
    EXPECT_NE(written.find(std::string(R"("what":"waited","call":")") + call), std::string::npos)
        << call << "\n"
        << written;
  }
}

// The window is back, but the layer's repaint and the wallpaper's refresh wait on a shell that does
// not answer: the helper ends all the same, within 5 s, and says that the refresh did not happen.
// Forced: both calls take a minute.
TEST(Lifetime, ACloseWhoseRepaintAndRefreshWaitOnTheShellStillEnds) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  Session session(shell, host.get(), L"",
                  "UpdateWindow(WorkerW)+60000,SystemParametersInfoW(0x14)+60000");
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(session.close(), 0u);
  EXPECT_LT(seconds_since(start), 5.0);
  ASSERT_EQ(session.lines.size(), 3u);
  EXPECT_EQ(session.lines[1], event("detached", host.get()));
  EXPECT_EQ(
      without_system_text(session.lines[2]),
      error("wallpaper-refresh-failed", "SPI_SETDESKWALLPAPER refresh failed: * (0x800705B4)"));
  expect_kept(host.get());
}

// Ctrl+C in the console of a helper that has one of its own: the window is given back, "detached"
// written, and the exit code is 0.
TEST(Lifetime, AConsoleControlEventIsACloseInOrder) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  Process helper =
      start_helper(L"attach --hwnd " + widen(handle_text(host.get())), {.own_console = true});
  EXPECT_EQ(helper.read_line(), attached(host.get(), shell.layer(), Layout::classic));
  EXPECT_EQ(Process(L"orvel_stand_in_shell.exe", L"ctrl-c " + std::to_wstring(helper.id())).wait(),
            0u);
  EXPECT_EQ(helper.read_line(), event("detached", host.get()));
  EXPECT_EQ(helper.wait(), 0u);
  expect_kept(host.get());
}

}  // namespace
}  // namespace orvel::e2e
