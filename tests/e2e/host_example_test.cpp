// The example application that embeds the helper, driven as a script would drive it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "e2e/desktop.h"
#include "e2e/helper_process.h"

namespace orvel::e2e {
namespace {

Process start_example(std::wstring_view seconds) {
  return Process(beside_tests(L"orvel-host-example.exe"),
                 L"orvel-host-example.exe --print-lines --seconds " + std::wstring(seconds));
}

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

TEST(HostExample, ShowsItsWindowAsTheWallpaperAndGivesItBackAtTheEnd) {
  Shell shell(Layout::classic);
  Process example = start_example(L"6");

  const std::optional<std::string> attached = example.read_line();
  const HWND host = attached_host(attached);
  shell.update();
  EXPECT_EQ(attached, attached_line(host, shell.layer(), Layout::classic));
  EXPECT_EQ(GetAncestor(host, GA_PARENT), shell.layer());
  EXPECT_EQ(example.read_line(), heartbeat);
  EXPECT_TRUE(IsWindowVisible(host));
  EXPECT_EQ(window_rect(host), monitor_nearest(host));

  EXPECT_EQ(example.read_line(), host_event("detached", host));
  EXPECT_EQ(example.wait(), 0u);
  EXPECT_EQ(example.unread_output(), "");
  const std::string report = example.errors();
  EXPECT_EQ(count(report, "ended with exit code 0"), 1) << report;
  EXPECT_EQ(count(report, "detached, helper exit code 0"), 1) << report;
}

TEST(HostExample, BuildsANewWindowAndHelperWhenTheWindowGoesWithTheLayer) {
  Shell shell(Layout::raised);
  Process example = start_example(L"4");
  const HWND first = attached_host(example.read_line());
  ASSERT_TRUE(IsWindow(first));

  shell.destroy_layer();

  EXPECT_EQ(example.read_line(), host_event("workerw-destroyed", first));
  EXPECT_EQ(example.read_line(), window_destroyed_error);
  // Gone by now, though not at once: it belongs to another process's thread.
  EXPECT_FALSE(IsWindow(first));
  // The first helper, told to end, has no window to give back.
  EXPECT_EQ(example.read_line(), window_gone_error);
  const std::optional<std::string> attached = example.read_line();
  const HWND second = attached_host(attached);
  shell.update();
  EXPECT_NE(second, first);
  EXPECT_EQ(attached, attached_line(second, shell.layer(), Layout::raised));
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
