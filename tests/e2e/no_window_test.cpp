#include <gtest/gtest.h>

#include <string>

#include "e2e/desktop.h"
#include "e2e/helper_process.h"

namespace orvel::e2e {
namespace {

HWND destroyed_window() {
  const Window gone(create_window({.style = WS_POPUP}));
  return gone.get();
}

TEST(NoWindow, MoveAndDetachReportTheWindowGoneAndExitWithOne) {
  for (const std::string& handle : {handle_text(destroyed_window()), std::string("0")}) {
    for (const wchar_t* command : {L"move", L"detach"}) {
      SCOPED_TRACE(testing::PrintToString(std::wstring(command)) + " " + handle);

      const HelperRun run =
          run_helper(quoted_helper_path() + L" " + command + L" --hwnd " + widen(handle));

      EXPECT_EQ(run.exit_code, 1u);
      EXPECT_EQ(run.out, std::string(window_gone_error) + "\n");
      EXPECT_EQ(run.err, "");
    }
  }
}

}  // namespace
}  // namespace orvel::e2e
