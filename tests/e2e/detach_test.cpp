#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/desktop.h"
#include "e2e/helper_process.h"

namespace orvel::e2e {
namespace {

HelperRun detach(HWND host, StdoutReader reader = StdoutReader::reading) {
  return run_helper(quoted_helper_path() + L" detach --hwnd " + widen(handle_text(host)), reader);
}

// One "detached" line, and a top-level host whose styles were changed only once it was
// top-level, each to exactly what detaching makes of it.
void expect_detached(const HostWindow& host, const HelperRun& run, DWORD style, DWORD ex_style) {
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.out, "{\"event\":\"detached\",\"hwnd\":" + handle_text(host.get()) + "}\n");
  EXPECT_EQ(run.err, "");
  const HWND desktop = GetDesktopWindow();
  EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), desktop);
  EXPECT_EQ(host.style_requests(),
            (std::vector<StyleRequest>{{GWL_STYLE, detached_style(style), desktop},
                                       {GWL_EXSTYLE, detached_ex_style(ex_style), desktop}}));
  EXPECT_EQ(window_style(host.get()), detached_style(style));
}

// A host window inside the desktop layer, without WS_POPUP and without a frame, so that every bit
// that detaching sets is missing before. It has WS_CLIPSIBLINGS already, which the system gives
// every top-level window anyway.
class DetachChild : public testing::Test {
 protected:
  Shell shell{Layout::classic};
  HostWindow host{{.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP,
                   .ex_style = WS_EX_ACCEPTFILES | WS_EX_NOPARENTNOTIFY | WS_EX_CONTROLPARENT,
                   .rect = {.left = 30, .top = 40, .right = 670, .bottom = 520},
                   .parent = shell.layer()}};
  DWORD style = window_style(host.get());
  DWORD ex_style = window_ex_style(host.get());
  Box placement = rect_in_parent(host.get());
};

TEST_F(DetachChild, BecomesATopLevelPopupInPlace) {
  expect_detached(host, detach(host.get()), style, ex_style);
  // The system itself decides WS_EX_WINDOWEDGE from the frame, which this window has none of.
  EXPECT_EQ(window_ex_style(host.get()), detached_ex_style(ex_style) & ~DWORD{WS_EX_WINDOWEDGE});
  EXPECT_EQ(rect_in_parent(host.get()), placement);
}

TEST_F(DetachChild, DetachesWhenNobodyReadsItsOutput) {
  const HelperRun run = detach(host.get(), StdoutReader::gone);

  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(window_style(host.get()), detached_style(style));
}

TEST(DetachTopLevel, IsNotRefusedAndSetsTheSameBits) {
  const HostWindow host{
      {.style = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
       .ex_style = WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT,
       .rect = {.left = 50, .top = 60, .right = 850, .bottom = 660}}};
  const DWORD style = window_style(host.get());
  const DWORD ex_style = window_ex_style(host.get());
  const Box placement = window_rect(host.get());

  expect_detached(host, detach(host.get()), style, ex_style);
  EXPECT_EQ(window_ex_style(host.get()), detached_ex_style(ex_style));
  EXPECT_EQ(window_rect(host.get()), placement);
}

}  // namespace
}  // namespace orvel::e2e
