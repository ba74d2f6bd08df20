#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "e2e/desktop.h"
#include "e2e/helper_process.h"

namespace orvel::e2e {
namespace {

// A hidden top-level host window with every bit that attaching clears, WS_POPUP that it keeps,
// and no frame, so that the system adds no WS_EX_WINDOWEDGE of its own.
class Attach : public testing::Test {
 protected:
  explicit Attach(Box where = {.left = 100, .top = 80, .right = 740, .bottom = 560})
      : host{{.style = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
              .ex_style = WS_EX_APPWINDOW | WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT,
              .rect = where}} {}

  Process start(std::wstring_view options = L"") {
    return start_helper(L"attach --hwnd " + widen(handle_text(host.get())) + std::wstring(options));
  }

  // Attached by the helper's first line: a child of the layer on top of its siblings, covering
  // its monitor, its styles changed while it was still top-level, each exactly once. The system
  // keeps WS_CLIPSIBLINGS on a window that is top-level when its style changes, so only the
  // extended style is compared as kept.
  void expect_attached(Process& helper, Shell& shell, Layout layout) {
    const std::optional<std::string> line = helper.read_line();
    shell.update();
    EXPECT_EQ(line, attached_line(host.get(), shell.layer(), layout));
    EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), shell.layer());
    EXPECT_EQ(GetWindow(shell.layer(), GW_CHILD), host.get());
    EXPECT_EQ(window_rect(host.get()), monitor);
    const HWND desktop = GetDesktopWindow();
    EXPECT_EQ(host.style_requests(),
              (std::vector<StyleRequest>{{GWL_STYLE, attached_style(style), desktop},
                                         {GWL_EXSTYLE, attached_ex_style(ex_style), desktop}}));
    EXPECT_EQ(window_ex_style(host.get()), attached_ex_style(ex_style));
  }

  HostWindow host;
  const DWORD style = window_style(host.get());
  const DWORD ex_style = window_ex_style(host.get());
  const Box monitor = monitor_nearest(host.get());
};

struct Session {
  Layout layout;
  Layer layer;
  const char* end;  // what the main process writes last, before it closes standard input
};

void PrintTo(const Session& session, std::ostream* out) {
  *out << session.layout << (session.layer == Layer::present ? "" : "OnRequest")
       << (*session.end ? "EndedByDetachLine" : "EndedByClosedInput");
}

class AttachSession : public Attach, public testing::WithParamInterface<Session> {};

TEST_P(AttachSession, AttachesToTheLayerAndGivesTheWindowBackAtTheEnd) {
  Shell shell(GetParam().layout, GetParam().layer);
  Process helper = start();
  expect_attached(helper, shell, GetParam().layout);
  const DWORD attached = window_style(host.get());
  const DWORD attached_ex = window_ex_style(host.get());

  helper.write(GetParam().end);
  if (!*GetParam().end) helper.close_input();

  EXPECT_EQ(helper.read_line(), host_event("detached", host.get()));
  EXPECT_EQ(helper.wait(), 0u);
  EXPECT_EQ(helper.unread_output(), "");
  EXPECT_EQ(helper.errors(), "");
  const HWND desktop = GetDesktopWindow();
  EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), desktop);
  EXPECT_EQ(host.style_requests(),
            (std::vector<StyleRequest>{{GWL_STYLE, attached_style(style), desktop},
                                       {GWL_EXSTYLE, attached_ex_style(ex_style), desktop},
                                       {GWL_STYLE, detached_style(attached), desktop},
                                       {GWL_EXSTYLE, detached_ex_style(attached_ex), desktop}}));
}

INSTANTIATE_TEST_SUITE_P(Layouts, AttachSession,
                         testing::Values(Session{Layout::classic, Layer::on_request, "detach\n"},
                                         Session{Layout::raised, Layer::present, ""}),
                         [](const testing::TestParamInfo<Session>& session) {
                           return testing::PrintToString(session.param);
                         });

// With two monitors the shell's layer spans both, and the host window on the second one is fitted
// to that monitor within it.
class AttachOnSecondMonitor : public Attach, public testing::WithParamInterface<Layout> {
 protected:
  AttachOnSecondMonitor() : Attach({.left = 2020, .top = 80, .right = 2660, .bottom = 560}) {}
};

TEST_P(AttachOnSecondMonitor, CoversThatMonitor) {
  ASSERT_EQ(monitor, second_monitor);
  Shell shell(GetParam(), Layer::present, Area::virtual_screen);
  Process helper = start();
  expect_attached(helper, shell, GetParam());
}

INSTANTIATE_TEST_SUITE_P(TwoMonitors, AttachOnSecondMonitor,
                         testing::Values(Layout::classic, Layout::raised),
                         [](const testing::TestParamInfo<Layout>& layout) {
                           return testing::PrintToString(layout.param);
                         });

// The host window goes with its layer; the helper says so, beats on and still ends in order.
TEST_F(Attach, ReportsTheWindowGoneWithItsLayerAndBeatsOn) {
  Shell shell(Layout::raised);
  Process helper = start();
  expect_attached(helper, shell, Layout::raised);
  const ULONGLONG attached_at = GetTickCount64();

  shell.destroy_layer();

  ASSERT_FALSE(IsWindow(host.get()));
  EXPECT_EQ(helper.read_line(), host_event("workerw-destroyed", host.get()));
  EXPECT_EQ(helper.read_line(), window_destroyed_error);
  EXPECT_EQ(helper.read_line(), heartbeat);
  EXPECT_NEAR(static_cast<double>(GetTickCount64() - attached_at), 5000, 600);

  helper.close_input();

  EXPECT_EQ(helper.read_line(), window_gone_error);
  EXPECT_EQ(helper.wait(), 0u);
  EXPECT_EQ(helper.unread_output(), "");
}

TEST_F(Attach, WithZguardPutsTheWindowBackOnTopWhenCovered) {
  Shell shell(Layout::classic);
  Process helper = start(L" --zguard");
  expect_attached(helper, shell, Layout::classic);

  shell.cover_layer();

  EXPECT_EQ(helper.read_line(), host_event("reasserted", host.get()));
  EXPECT_EQ(GetWindow(shell.layer(), GW_CHILD), host.get());
}

TEST_F(Attach, WithoutAShellFailsWithOneErrorLeavingTheWindowAlone) {
  const HelperRun run =
      run_helper(quoted_helper_path() + L" attach --hwnd " + widen(handle_text(host.get())));

  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(run.out, "{\"event\":\"error\",\"message\":\"Progman not found\"}\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(host.style_requests(), std::vector<StyleRequest>{});
}

// Places on the bare desktop, clear of the taskbar at the bottom, and one for a window of ours.
constexpr POINT press_at{.x = 300, .y = 200};
constexpr POINT release_at{.x = 420, .y = 260};
constexpr POINT elsewhere{.x = 360, .y = 330};
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
HWND icons_holder(Layout layout) {
  HWND holder = nullptr;
  do {
    holder = FindWindowExW(nullptr, holder, layout == Layout::classic ? L"WorkerW" : L"Progman",
                           nullptr);
  } while (holder && !FindWindowExW(holder, nullptr, L"SHELLDLL_DefView", nullptr));
  return holder;
}

std::string mouse_event(const char* name, POINT at, std::string_view deltas = "") {
  return "{\"event\":\"" + std::string(name) + "\",\"x\":" + std::to_string(at.x) +
         ",\"y\":" + std::to_string(at.y) + std::string(deltas) + "}";
}

// The next line that is not a heartbeat, skipping "mousemove" lines unless asked for them. The
// heartbeat goes on, so the wait has a deadline of its own.
std::optional<std::string> next_event(Process& helper, bool moves = false) {
  const ULONGLONG deadline = GetTickCount64() + 15'000;
  std::optional<std::string> line;
  do {
    const ULONGLONG now = GetTickCount64();
    line = now < deadline ? helper.read_line(static_cast<DWORD>(deadline - now)) : std::nullopt;
  } while (line && (*line == heartbeat || (!moves && line->starts_with("{\"event\":\"mousemove"))));
  return line;
}

// Ends the session: a mouse event made of the input sent before would come before "detached".
void expect_no_mouse_until_detached(Process& helper, HWND host) {
  helper.write("detach\n");
  std::optional<std::string> line;
  while ((line = next_event(helper, true)) && line->starts_with("{\"event\":\"mouse")) {
    ADD_FAILURE() << "forwarded " << *line;
  }
  EXPECT_EQ(line, host_event("detached", host));
}

// A second parameterised suite here would make mingw's compiler emit a copy of type_info's
// comparison that clashes with the C++ library's at link time, so the layouts are two cases.
class ForwardMouse : public Attach {
 protected:
  void expect_forwarded_only_with_the_desktop_in_front(Layout layout);
};

void ForwardMouse::expect_forwarded_only_with_the_desktop_in_front(Layout layout) {
  Shell shell(layout);
  const Window app(create_window({.style = WS_POPUP | WS_VISIBLE,
                                  .rect = {.left = 650, .top = 430, .right = 750, .bottom = 530}}));
  Process helper = start(L" --forward-mouse");
  expect_attached(helper, shell, layout);
  bring_to_front(icons_holder(layout));

  // Each event carries the cursor position of its own moment.
  place_cursor(shell, press_at);
  send_mouse(press_at, MOUSEEVENTF_LEFTDOWN);
  EXPECT_EQ(next_event(helper), mouse_event("mousedown", press_at));
  place_cursor(shell, release_at);
  send_mouse(release_at, MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(next_event(helper), mouse_event("mouseup", release_at));
  send_mouse(release_at, MOUSEEVENTF_WHEEL, WHEEL_DELTA);
  EXPECT_EQ(next_event(helper),
            mouse_event("mousewheel", release_at, R"(,"deltaX":0,"deltaY":120)"));
  send_mouse(release_at, MOUSEEVENTF_WHEEL, -WHEEL_DELTA);
  EXPECT_EQ(next_event(helper),
            mouse_event("mousewheel", release_at, R"(,"deltaX":0,"deltaY":-120)"));
  send_mouse(release_at, MOUSEEVENTF_HWHEEL, WHEEL_DELTA);
  EXPECT_EQ(next_event(helper),
            mouse_event("mousewheel", release_at, R"(,"deltaX":120,"deltaY":0)"));

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

  // With our window in front, the release still ends the press forwarded before, while the wheel
  // and the moves before it give nothing, and so does a press on our window.
  place_cursor(shell, press_at);
  send_mouse(press_at, MOUSEEVENTF_LEFTDOWN);
  EXPECT_EQ(next_event(helper), mouse_event("mousedown", press_at));
  bring_to_front(app.get());
  send_mouse(press_at, MOUSEEVENTF_WHEEL, WHEEL_DELTA);
  place_cursor(shell, elsewhere);
  place_cursor(shell, release_at);
  send_mouse(release_at, MOUSEEVENTF_LEFTUP);
  std::optional<std::string> line;
  while ((line = next_event(helper, true)) && line->starts_with("{\"event\":\"mousemove")) {
    EXPECT_NE(line, mouse_event("mousemove", elsewhere));
  }
  EXPECT_EQ(line, mouse_event("mouseup", release_at));
  send_mouse(on_app, MOUSEEVENTF_LEFTDOWN);
  send_mouse(release_at, MOUSEEVENTF_LEFTUP);
  send_mouse(release_at, MOUSEEVENTF_WHEEL, WHEEL_DELTA);
  expect_no_mouse_until_detached(helper, host.get());
}

TEST_F(ForwardMouse, ReportsTheMouseOverTheClassicDesktopOnlyWhileItIsInFront) {
  expect_forwarded_only_with_the_desktop_in_front(Layout::classic);
}

TEST_F(ForwardMouse, ReportsTheMouseOverTheRaisedDesktopOnlyWhileItIsInFront) {
  expect_forwarded_only_with_the_desktop_in_front(Layout::raised);
}

// A taskbar in a new process is a shell restart: the host window goes back into the layer that
// lives on. A helper started without --forward-mouse forwards nothing, not even after that.
TEST_F(Attach, AttachesAgainWhenTheTaskbarRestartsAndNeverForwardsTheMouseUnasked) {
  Shell shell(Layout::classic);
  Process helper = start();
  expect_attached(helper, shell, Layout::classic);
  const DWORD first_shell = shell.taskbar_process();

  shell.restart_taskbar();

  ASSERT_NE(shell.taskbar_process(), first_shell);
  EXPECT_EQ(helper.read_line(), explorer_restarted);
  EXPECT_EQ(helper.read_line(), attached_line(host.get(), shell.layer(), Layout::classic));
  EXPECT_TRUE(IsWindow(shell.layer()));
  EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), shell.layer());

  bring_to_front(icons_holder(Layout::classic));
  send_mouse(press_at, MOUSEEVENTF_LEFTDOWN);
  send_mouse(elsewhere);
  send_mouse(release_at, MOUSEEVENTF_LEFTUP);
  send_mouse(release_at, MOUSEEVENTF_WHEEL, WHEEL_DELTA);
  send_mouse(release_at, MOUSEEVENTF_HWHEEL, WHEEL_DELTA);
  expect_no_mouse_until_detached(helper, host.get());
}

}  // namespace
}  // namespace orvel::e2e
