#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/desktop.h"
#include "e2e/helper_process.h"

namespace orvel::e2e {
namespace {

// A host window inside the desktop layer, without WS_POPUP and without a frame, so that every bit
// that detaching sets is missing before, and a framed top-level one. Each becomes a top-level
// popup in place, its styles changed only once it is top-level, each to exactly what detaching
// makes of it.
TEST(Detach, GivesBackATopLevelPopupInPlace) {
  const Shell shell{Layout::classic};
  const std::vector<WindowSpec> hosts = {
      {.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP,
       .ex_style = WS_EX_ACCEPTFILES | WS_EX_NOPARENTNOTIFY | WS_EX_CONTROLPARENT,
       .rect = {.left = 30, .top = 40, .right = 670, .bottom = 520},
       .parent = shell.layer()},
      {.style = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
       .ex_style = WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT,
       .rect = {.left = 50, .top = 60, .right = 850, .bottom = 660}}};
  for (const WindowSpec& spec : hosts) {
    const HostWindow host{spec};
    const DWORD style = window_style(host.get());
    const DWORD ex_style = window_ex_style(host.get());
    const Box placement = rect_in_parent(host.get());

    const HelperRun run =
        run_helper(quoted_helper_path() + L" detach --hwnd " + widen(handle_text(host.get())));

    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.out, "{\"event\":\"detached\",\"hwnd\":" + handle_text(host.get()) + "}\n");
    EXPECT_EQ(run.err, "");
    const HWND desktop = GetDesktopWindow();
    EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), desktop);
    EXPECT_EQ(host.style_requests(),
              (std::vector<StyleRequest>{{GWL_STYLE, detached_style(style), desktop},
                                         {GWL_EXSTYLE, detached_ex_style(ex_style), desktop}}));
    EXPECT_EQ(window_style(host.get()), detached_style(style));
    // The system itself decides WS_EX_WINDOWEDGE from the frame, which the child has none of.
    const DWORD edge = spec.parent != nullptr ? WS_EX_WINDOWEDGE : 0;
    EXPECT_EQ(window_ex_style(host.get()), detached_ex_style(ex_style) & ~edge);
    EXPECT_EQ(rect_in_parent(host.get()), placement);
  }
}

}  // namespace
}  // namespace orvel::e2e
