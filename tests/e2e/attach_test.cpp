#include <gtest/gtest.h>

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

  HostWindow host{{.style = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                   .ex_style = WS_EX_APPWINDOW | WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT,
                   .rect = {.left = 100, .top = 80, .right = 740, .bottom = 560}}};
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

TEST_F(Attach, AttachesAgainWhenTheTaskbarRestartsInANewProcess) {
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
}

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

}  // namespace
}  // namespace orvel::e2e
