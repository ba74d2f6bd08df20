#include "monitor/hangs.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvel {
namespace {

// One line when a window stops answering and one when it answers again; a window that is gone
// meanwhile says nothing and changes nothing.
TEST(Hangs, OneLineWhenAWindowStopsAnsweringAndOneWhenItAnswersAgain) {
  using enum Probe;
  const struct {
    Probe probe;
    std::optional<bool> line;  // true: responsive
  } steps[] = {{answered, std::nullopt},
               {unanswered, false},
               {unanswered, std::nullopt},
               {gone, std::nullopt},
               {unanswered, std::nullopt},
               {answered, true},
               {answered, std::nullopt},
               {gone, std::nullopt},
               {unanswered, false},
               {gone, std::nullopt},
               {answered, true}};
  HangReport report;
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    EXPECT_EQ(report.after(steps[i].probe), steps[i].line) << i;
  }
}

}  // namespace
}  // namespace orvel
