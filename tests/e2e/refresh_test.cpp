#include <gtest/gtest.h>

#include <string>

#include "e2e/helper_process.h"

namespace orvel::e2e {
namespace {

struct Accepted {
  std::wstring command_line;
};

void PrintTo(const Accepted& accepted, std::ostream* out) {
  *out << testing::PrintToString(accepted.command_line);
}

class RefreshCommandLine : public testing::TestWithParam<Accepted> {};

TEST_P(RefreshCommandLine, WritesRefreshedAndExitsWithZero) {
  const HelperRun run = run_helper(GetParam().command_line);

  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.out, "{\"event\":\"refreshed\"}\n");
  EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Splitting, RefreshCommandLine,
    testing::Values(Accepted{quoted_helper_path() + L" refresh"},
                    // Blanks at the end make no argument.
                    Accepted{quoted_helper_path() + L" \trefresh \t "},
                    // The program path knows no escapes: the quote after a backslash ends it.
                    Accepted{L"\"Z:\\orvel e2e\\\" refresh"},
                    Accepted{L"Z:\\orvel\" e2e\"\\helper.exe refresh"}));

TEST(Refresh, StillSucceedsWhenNobodyReadsItsOutput) {
  const HelperRun run = run_helper(quoted_helper_path() + L" refresh", StdoutReader::gone);

  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace orvel::e2e
