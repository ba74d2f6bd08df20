// The two options that follow the display: what covers the host window's monitor, and changes of
// the display itself, as a main process sees them.
#include <cstdio>

#include "e2e/session.h"

namespace orvel::e2e {
namespace {

// A host window of another process, the shell's, on the first of the two monitors; windows of this
// process cover it, or not. Wine raises no WinEvent when a window of ours is shown, moved or
// minimized; Windows would, so the test does.
TEST(Visibility, SaysWhetherAnyOfTheHostsMonitorCanBeSeen) {
  Shell shell(Layout::classic);
  const HWND host = shell.make_host();
  Session helper(shell, host, L" --report-visibility");
  EXPECT_EQ(helper.next(), visible(host, true));

  const Window cover = create_window(WS_POPUP | WS_VISIBLE, {0, 0, 1920, 1080});
  const ULONGLONG shown = GetTickCount64();
  raise_win_event(EVENT_OBJECT_SHOW, cover.get());
  EXPECT_EQ(helper.next(), visible(host, false));
  std::printf("visibility: a covering window's line came %llu ms after its event\n",
              GetTickCount64() - shown);

  SetWindowPos(cover.get(), nullptr, 960, 0, 1920, 1080, SWP_NOZORDER | SWP_NOACTIVATE);
  raise_win_event(EVENT_OBJECT_LOCATIONCHANGE, cover.get());
  EXPECT_EQ(helper.next(), visible(host, true));
  const Window left = create_window(WS_POPUP | WS_VISIBLE, {0, 0, 960, 1080});
  raise_win_event(EVENT_OBJECT_SHOW, left.get());
  EXPECT_EQ(helper.next(), visible(host, false));
  // A window of the shell's class names, but none of the shell's own windows, is no end to the
  // windows that cover the host's monitor.
  const WNDCLASSEXW look_alike{
      .cbSize = sizeof look_alike, .lpfnWndProc = DefWindowProcW, .lpszClassName = L"WorkerW"};
  RegisterClassExW(&look_alike);
  const Window stray(CreateWindowExW(WS_EX_TOPMOST, L"WorkerW", L"", WS_POPUP | WS_VISIBLE, 2000,
                                     10, 10, 10, nullptr, nullptr, nullptr, nullptr),
                     &DestroyWindow);
  raise_win_event(EVENT_OBJECT_SHOW, stray.get());
  EXPECT_EQ(helper.next(false, 1'000), std::nullopt);
  ShowWindow(left.get(), SW_MINIMIZE);
  raise_win_event(EVENT_SYSTEM_MINIMIZESTART, left.get());
  EXPECT_EQ(helper.next(), visible(host, true));
  // The other monitor is not the host's.
  const Window other = create_window(WS_POPUP | WS_VISIBLE, {1920, 0, 3840, 1080});
  raise_win_event(EVENT_OBJECT_SHOW, other.get());
  EXPECT_EQ(helper.next(false, 1'000), std::nullopt);

  EXPECT_EQ(helper.close(), 0u);
  EXPECT_EQ(helper.lines.back(), event("detached", host));
}

// A display change broadcast to every top-level window, twice in a burst: one refit of a host that
// no longer fits, over its monitor again, and still hidden as its application left it.
TEST(FollowDisplay, ADisplayChangeRefitsTheHostOnce) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  Session helper(shell, host.get(), L" --follow-display");
  ShowWindow(host.get(), SW_HIDE);
  SetWindowPos(host.get(), nullptr, 10, 10, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
  display_changed();
  SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, SPI_SETWORKAREA, 0, SMTO_ABORTIFHUNG, 2'000,
                      nullptr);
  EXPECT_EQ(helper.next(), event("moved", host.get()));
  EXPECT_EQ(helper.next(false, 1'000), std::nullopt);
  EXPECT_EQ(window_box(host.get()), monitor_box(host.get()));
  EXPECT_FALSE(IsWindowVisible(host.get()));
  EXPECT_EQ(helper.close(), 0u);
}

}  // namespace
}  // namespace orvel::e2e
