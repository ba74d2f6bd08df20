// The example application that embeds the helper, driven as a script would drive it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "e2e/desktop.h"

namespace orvel::e2e {
namespace {

// The host window that an "attached" line names; null for any other line.
HWND attached_host(const std::optional<std::string>& line) {
  long long host = 0;
  if (!line || std::sscanf(line->c_str(), "{\"event\":\"attached\",\"hwnd\":%lld,", &host) != 1) {
    return nullptr;
  }
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(host));
}

int count(const std::string& text, const std::string& part) {
  int found = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
  return found;
}

// Its time outlasts a heartbeat and the rebuild, and ends before the second helper's first beat.
TEST(HostExample, ShowsItsWindowAsTheWallpaperRebuildsItAfterTheLayerAndGivesItBack) {
  Shell shell(Layout::raised);
  Process example(beside_tests(L"orvel-host-example.exe"),
                  L"orvel-host-example.exe --print-lines --seconds 9");
  const std::optional<std::string> attached = example.read_line();
  const HWND first = attached_host(attached);
  shell.update();
  EXPECT_EQ(attached, attached_line(first, shell.layer(), Layout::raised));
  EXPECT_EQ(GetAncestor(first, GA_PARENT), shell.layer());
  EXPECT_EQ(example.read_line(), heartbeat);
  EXPECT_TRUE(IsWindowVisible(first));
  EXPECT_EQ(window_rect(first), monitor_nearest(first));

  shell.destroy_layer();

  EXPECT_EQ(example.read_line(), host_event("workerw-destroyed", first));
  EXPECT_EQ(example.read_line(), window_destroyed_error);
  // Gone by now, though not at once: it belongs to another process's thread.
  EXPECT_FALSE(IsWindow(first));
  // The first helper, told to end, has no window to give back.
  EXPECT_EQ(example.read_line(), window_gone_error);
  const std::optional<std::string> reattached = example.read_line();
  const HWND second = attached_host(reattached);
  shell.update();
  EXPECT_NE(second, first);
  EXPECT_EQ(reattached, attached_line(second, shell.layer(), Layout::raised));
  EXPECT_EQ(GetAncestor(second, GA_PARENT), shell.layer());

  EXPECT_EQ(example.read_line(), host_event("detached", second));
  EXPECT_EQ(example.wait(), 0u);
  EXPECT_EQ(example.unread_output(), "");
  const std::string report = example.errors();
  EXPECT_EQ(count(report, "ended with exit code 0"), 2) << report;
  EXPECT_EQ(count(report, "detached, helper exit code 0"), 1) << report;
}

}  // namespace
}  // namespace orvel::e2e
