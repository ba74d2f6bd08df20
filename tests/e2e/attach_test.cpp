#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "e2e/desktop.h"

namespace orvel::e2e {
namespace {

// A hidden top-level host window.
Window make_host(Box where = {.left = 100, .top = 80, .right = 740, .bottom = 560}) {
  return create_window({.style = WS_POPUP | WS_CLIPCHILDREN, .rect = where});
}

Process start_attach(HWND host, std::wstring_view options = L"") {
  return start_helper(L"attach --hwnd " + widen(handle_text(host)) + std::wstring(options));
}

// Attached by the helper's first line: a child of the layer on top of its siblings, covering
// `monitor`.
void expect_attached(Process& helper, Shell& shell, HWND host, Layout layout, Box monitor) {
  const std::optional<std::string> line = helper.read_line();
  shell.update();
  EXPECT_EQ(line, attached_line(host, shell.layer(), layout));
  EXPECT_EQ(GetWindow(shell.layer(), GW_CHILD), host);
  EXPECT_EQ(window_style(host) & WS_CHILD, DWORD{WS_CHILD});
  EXPECT_EQ(window_rect(host), monitor);
}

// The next line that is not a heartbeat, skipping "mousemove" lines unless asked for them. The
// heartbeat goes on, so the wait has a deadline of its own.
std::optional<std::string> next_event(Process& helper, bool moves = false) {
  for (const ULONGLONG deadline = GetTickCount64() + 15'000; GetTickCount64() < deadline;) {
    std::optional<std::string> line = helper.read_line(1'000);
    if (line && *line != heartbeat && (moves || !line->starts_with(R"({"event":"mousemove)"))) {
      return line;
    }
  }
  return std::nullopt;
}

// After the main process has ended the session: no mouse event made of the input sent before,
// then "detached", an orderly end and the window given back.
void expect_detached_without_mouse(Process& helper, HWND host) {
  std::optional<std::string> line;
  while ((line = next_event(helper, true)) && line->starts_with("{\"event\":\"mouse")) {
    ADD_FAILURE() << "forwarded " << *line;
  }
  EXPECT_EQ(line, host_event("detached", host));
  EXPECT_EQ(helper.wait(), 0u);
  EXPECT_EQ(helper.unread_output(), "");
  EXPECT_EQ(helper.errors(), "");
  EXPECT_EQ(GetAncestor(host, GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(window_style(host) & (WS_CHILD | WS_POPUP), DWORD{WS_POPUP});
}

// Places on the bare desktop, clear of the taskbar at the bottom, and one for a window of ours.
constexpr POINT press_at{.x = 300, .y = 200};
constexpr POINT release_at{.x = 420, .y = 260};
constexpr POINT on_app{.x = 700, .y = 480};

// Puts the cursor at `at`, in the same input as `flags` (buttons, wheels) and `data`.
void send_mouse(POINT at, DWORD flags = 0, int data = 0) {
  const LONG width = GetSystemMetrics(SM_CXSCREEN);
  const LONG height = GetSystemMetrics(SM_CYSCREEN);
  INPUT input{.type = INPUT_MOUSE,
              .mi = {.dx = (at.x * 65536 + width - 1) / width,
                     .dy = (at.y * 65536 + height - 1) / height,
                     .mouseData = static_cast<DWORD>(data),
                     .dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | flags}};
  if (SendInput(1, &input, sizeof(INPUT)) != 1) ADD_FAILURE() << "SendInput failed";
}

// Under X, the process whose window is under the cursor feeds each move back as one more move to
// the same place; when it comes late, it takes the cursor back to a place already left. A round
// trip to the stand-in lets it do that first, so a press or release that moves nothing sees `at`.
void place_cursor(Shell& shell, POINT at) {
  send_mouse(at);
  shell.update();
}

// Another process's window comes to the front once its thread has taken the request.
void bring_to_front(HWND window) {
  SetForegroundWindow(window);
  const ULONGLONG deadline = GetTickCount64() + 5'000;
  while (GetForegroundWindow() != window && GetTickCount64() < deadline) {
    MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    pump_messages();
  }
  ASSERT_EQ(GetForegroundWindow(), window);
}

// The stand-in's top-level window that holds the desktop icons.
HWND icons_holder() {
  HWND holder = nullptr;
  while ((holder = FindWindowExW(nullptr, holder, nullptr, nullptr)) &&
         !FindWindowExW(holder, nullptr, L"SHELLDLL_DefView", nullptr)) {
  }
  return holder;
}

std::string mouse_event(const char* name, POINT at, std::string_view deltas = "") {
  return "{\"event\":\"" + std::string(name) + "\",\"x\":" + std::to_string(at.x) +
         ",\"y\":" + std::to_string(at.y) + std::string(deltas) + "}";
}

// The classic layout with its layer made on request, --zguard and no --forward-mouse: a shell
// window above the host window is put below it again, a taskbar in a new process is a shell
// restart that brings a re-attach to the layer that lives on, the mouse is never forwarded, and
// the line "detach" gives the window back.
TEST(Attach, ClassicSessionGuardsReattachesAfterATaskbarRestartAndEndsByDetach) {
  Shell shell(Layout::classic, {.layer_on_request = true});
  const Window host = make_host();
  Process helper = start_attach(host.get(), L" --zguard");
  expect_attached(helper, shell, host.get(), Layout::classic, monitor_nearest(host.get()));

  shell.cover_layer();
  EXPECT_EQ(next_event(helper), host_event("reasserted", host.get()));
  EXPECT_EQ(GetWindow(shell.layer(), GW_CHILD), host.get());

  shell.restart_taskbar();
  EXPECT_EQ(next_event(helper), explorer_restarted);
  EXPECT_EQ(next_event(helper), attached_line(host.get(), shell.layer(), Layout::classic));
  EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), shell.layer());

  bring_to_front(icons_holder());
  send_mouse(press_at, MOUSEEVENTF_LEFTDOWN);
  send_mouse(release_at, MOUSEEVENTF_LEFTUP);
  send_mouse(release_at, MOUSEEVENTF_WHEEL, WHEEL_DELTA);
  send_mouse(release_at, MOUSEEVENTF_HWHEEL, WHEEL_DELTA);
  helper.write("detach\n");
  expect_detached_without_mouse(helper, host.get());
}

// The raised layout with --forward-mouse: each event carries the cursor position of its own
// moment while the desktop is in front, and closing standard input gives the window back.
TEST(Attach, RaisedSessionForwardsTheMouseOnlyWhileTheDesktopIsInFrontAndEndsWithItsInput) {
  Shell shell(Layout::raised);
  const Window app(create_window({.style = WS_POPUP | WS_VISIBLE,
                                  .rect = {.left = 650, .top = 430, .right = 750, .bottom = 530}}));
  const Window host = make_host();
  Process helper = start_attach(host.get(), L" --forward-mouse");
  expect_attached(helper, shell, host.get(), Layout::raised, monitor_nearest(host.get()));
  bring_to_front(icons_holder());

  place_cursor(shell, press_at);
  send_mouse(press_at, MOUSEEVENTF_LEFTDOWN);
  EXPECT_EQ(next_event(helper), mouse_event("mousedown", press_at));
  place_cursor(shell, release_at);
  send_mouse(release_at, MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(next_event(helper), mouse_event("mouseup", release_at));
  send_mouse(release_at, MOUSEEVENTF_WHEEL, WHEEL_DELTA);
  EXPECT_EQ(next_event(helper),
            mouse_event("mousewheel", release_at, R"(,"deltaX":0,"deltaY":120)"));
  send_mouse(release_at, MOUSEEVENTF_HWHEEL, -WHEEL_DELTA);
  EXPECT_EQ(next_event(helper),
            mouse_event("mousewheel", release_at, R"(,"deltaX":-120,"deltaY":0)"));

  // A quick run of moves from here, each place twice: lines only for places of the run, never the
  // same twice in a row, up to one for the place where the run ends.
  std::vector<std::string> moves{mouse_event("mousemove", release_at)};
  for (LONG step = 1; step <= 12; ++step) {
    const POINT at{.x = release_at.x + 7 * step, .y = release_at.y + 3 * step};
    send_mouse(at);
    send_mouse(at);
    moves.push_back(mouse_event("mousemove", at));
  }
  for (std::string last; last != moves.back();) {
    const std::optional<std::string> line = next_event(helper, true);
    ASSERT_TRUE(line);
    EXPECT_NE(std::find(moves.begin(), moves.end(), *line), moves.end()) << *line;
    EXPECT_NE(*line, last);
    last = *line;
  }

  // With our window in front, nothing: neither a press on it, nor a release or a wheel over the
  // desktop.
  bring_to_front(app.get());
  send_mouse(on_app, MOUSEEVENTF_LEFTDOWN);
  send_mouse(release_at, MOUSEEVENTF_LEFTUP);
  send_mouse(release_at, MOUSEEVENTF_WHEEL, WHEEL_DELTA);
  helper.close_input();
  expect_detached_without_mouse(helper, host.get());
}

// The host window goes with its layer; the helper says so, beats on and still ends in order.
TEST(Attach, ReportsTheWindowGoneWithItsLayerAndBeatsOn) {
  Shell shell(Layout::raised);
  const Window host = make_host();
  Process helper = start_attach(host.get());
  expect_attached(helper, shell, host.get(), Layout::raised, monitor_nearest(host.get()));

  shell.destroy_layer();

  ASSERT_FALSE(IsWindow(host.get()));
  EXPECT_EQ(helper.read_line(), host_event("workerw-destroyed", host.get()));
  EXPECT_EQ(helper.read_line(), window_destroyed_error);
  EXPECT_EQ(helper.read_line(), heartbeat);
  helper.close_input();
  EXPECT_EQ(helper.read_line(), window_gone_error);
  EXPECT_EQ(helper.wait(), 0u);
  EXPECT_EQ(helper.unread_output(), "");
}

TEST(Attach, WithoutAShellFailsWithOneErrorLeavingTheWindowAlone) {
  const Window host = make_host();
  const DWORD style = window_style(host.get());
  const HelperRun run = run_helper(L"attach --hwnd " + widen(handle_text(host.get())));

  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(run.out, "{\"event\":\"error\",\"message\":\"Progman not found\"}\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(window_style(host.get()), style);
}

// With two monitors the shell's layer spans both: a host window on the second one is fitted to
// that monitor within it, and `move` fits it again once it has strayed partly over the first.
class OnSecondMonitor : public testing::TestWithParam<Layout> {};

TEST_P(OnSecondMonitor, AttachAndMoveFitTheWindowToThatMonitor) {
  Shell shell(GetParam());
  const Window host = make_host({.left = 2020, .top = 80, .right = 2660, .bottom = 560});
  ASSERT_EQ(monitor_nearest(host.get()), second_monitor);
  Process helper = start_attach(host.get());
  expect_attached(helper, shell, host.get(), GetParam(), second_monitor);

  POINT origin{};
  ClientToScreen(shell.layer(), &origin);
  SetWindowPos(host.get(), nullptr, 1800 - origin.x, 20 - origin.y, 320, 240,
               SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_EQ(monitor_nearest(host.get()), second_monitor);
  const HelperRun run = run_helper(L"move --hwnd " + widen(handle_text(host.get())));
  EXPECT_EQ(run.out, host_event("moved", host.get()) + "\n");
  EXPECT_EQ(window_rect(host.get()), second_monitor);
}

INSTANTIATE_TEST_SUITE_P(TwoMonitors, OnSecondMonitor,
                         testing::Values(Layout::classic, Layout::raised),
                         [](const testing::TestParamInfo<Layout>& layout) {
                           return layout.param == Layout::classic ? "Classic" : "Raised";
                         });

}  // namespace
}  // namespace orvel::e2e
