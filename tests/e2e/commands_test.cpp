// The one-shot commands through the real process.
#include <gtest/gtest.h>
#include <windows.h>
#include <winver.h>

#include <array>
#include <cstddef>
#include <cwchar>
#include <string>
#include <vector>

#include "e2e/desktop.h"

namespace orvel::e2e {
namespace {

void expect_done(const wchar_t* command, HWND host, const char* event) {
  const HelperRun run = run_helper(std::wstring(command) + L" --hwnd " + widen(handle_text(host)));
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.out, host_event(event, host) + "\n");
  EXPECT_EQ(run.err, "");
}

// A hidden top-level host window between two windows of ours, the upper one active.
TEST(Move, FitsATopLevelWindowToItsMonitorShownWithoutReorderingOrActivating) {
  const Window below(create_window(
      {.style = WS_POPUP | WS_VISIBLE, .rect = {.left = 0, .top = 0, .right = 50, .bottom = 50}}));
  const Window host(create_window(
      {.style = WS_POPUP, .rect = {.left = 100, .top = 80, .right = 740, .bottom = 560}}));
  const Window above(create_window({.style = WS_POPUP | WS_VISIBLE,
                                    .rect = {.left = 60, .top = 0, .right = 110, .bottom = 50}}));
  const Box monitor = monitor_nearest(host.get());
  SetForegroundWindow(above.get());
  ASSERT_EQ(GetWindow(above.get(), GW_HWNDNEXT), host.get());
  ASSERT_EQ(GetWindow(host.get(), GW_HWNDNEXT), below.get());
  ASSERT_EQ(GetActiveWindow(), above.get());

  expect_done(L"move", host.get(), "moved");

  EXPECT_EQ(window_rect(host.get()), monitor);
  EXPECT_TRUE(IsWindowVisible(host.get()));
  EXPECT_EQ(GetWindow(above.get(), GW_HWNDNEXT), host.get());
  EXPECT_EQ(GetWindow(host.get(), GW_HWNDNEXT), below.get());
  EXPECT_EQ(GetActiveWindow(), above.get());
}

// A hidden host window inside the layer, between two siblings (a new child goes below its
// siblings), in a parent whose client origin is not the screen's: `move` fits it to its monitor in
// the parent's coordinates, shown and in place, and `detach` then gives it back as a top-level
// popup at the same coordinates, now the screen's.
TEST(Move, FitsAChildInItsParentsCoordinatesAndDetachGivesItBackInPlace) {
  const Shell shell(Layout::classic);
  const Window upper(create_window({.style = WS_CHILD | WS_VISIBLE,
                                    .rect = {.left = 20, .top = 0, .right = 30, .bottom = 10},
                                    .parent = shell.layer()}));
  const Window host(create_window({.style = WS_CHILD,
                                   .rect = {.left = 10, .top = 20, .right = 330, .bottom = 260},
                                   .parent = shell.layer()}));
  const Window lower(create_window({.style = WS_CHILD | WS_VISIBLE,
                                    .rect = {.left = 0, .top = 0, .right = 10, .bottom = 10},
                                    .parent = shell.layer()}));
  const Box monitor = monitor_nearest(host.get());
  POINT origin{};
  ClientToScreen(shell.layer(), &origin);
  ASSERT_TRUE(origin.x != monitor.left && origin.y != monitor.top);
  ASSERT_EQ(GetWindow(upper.get(), GW_HWNDNEXT), host.get());
  ASSERT_EQ(GetWindow(host.get(), GW_HWNDNEXT), lower.get());

  expect_done(L"move", host.get(), "moved");

  EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), shell.layer());
  EXPECT_EQ(window_rect(host.get()), monitor);
  EXPECT_TRUE(IsWindowVisible(host.get()));
  EXPECT_EQ(GetWindow(upper.get(), GW_HWNDNEXT), host.get());
  EXPECT_EQ(GetWindow(host.get(), GW_HWNDNEXT), lower.get());

  expect_done(L"detach", host.get(), "detached");

  EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(window_style(host.get()) & (WS_CHILD | WS_POPUP), DWORD{WS_POPUP});
  EXPECT_EQ(window_rect(host.get()), (Box{monitor.left - origin.x, monitor.top - origin.y,
                                          monitor.right - origin.x, monitor.bottom - origin.y}));
}

// A few representatives of the command-line rules, which the unit tests prove: the line as Windows
// hands it over, the streams and the exit code.
TEST(CommandLine, AnswersThroughTheStreamsAndTheExitCode) {
  const std::string gone = "{\"event\":\"error\",\"message\":\"orvel window no longer exists\"}\n";
  const struct {
    std::wstring arguments;
    DWORD exit_code;
    std::string out;
    std::string err = "";
    StdoutReader reader = StdoutReader::reading;
  } cases[] = {
      {L"--hwnd 5 attach", 2, "",
       "usage: orvel-wallpaper-helper attach --hwnd <n> [--forward-mouse] [--zguard]\n"
       "       orvel-wallpaper-helper move --hwnd <n>\n"
       "       orvel-wallpaper-helper detach --hwnd <n>\n"
       "       orvel-wallpaper-helper refresh\n"
       "error: unexpected argument: 5\n"},
      {L"refresh", 0, "{\"event\":\"refreshed\"}\n"},
      {L"refresh", 0, "", "", StdoutReader::gone},
      {L"move --hwnd 0", 1, gone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    const HelperRun run = run_helper(c.arguments, c.reader);
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(VersionInfo, TheHelperNamesItselfItsVersionAndWhatItDoes) {
  const std::wstring helper = beside_tests(L"orvel-wallpaper-helper.exe");
  std::vector<std::byte> info(GetFileVersionInfoSizeW(helper.c_str(), nullptr));
  ASSERT_FALSE(info.empty()) << "no version resource";
  ASSERT_TRUE(GetFileVersionInfoW(helper.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  // What `path` names in the resource; null when it names nothing.
  const auto query = [&](const std::wstring& path) -> const void* {
    void* value = nullptr;
    UINT length = 0;
    return VerQueryValueW(info.data(), path.c_str(), &value, &length) && length ? value : nullptr;
  };
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\"));
  ASSERT_NE(fixed, nullptr);
  constexpr DWORD high = ORVEL_VERSION_MAJOR << 16 | ORVEL_VERSION_MINOR;
  constexpr DWORD low = ORVEL_VERSION_PATCH << 16;
  EXPECT_EQ((std::array{fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                        fixed->dwProductVersionLS}),
            (std::array{high, low, high, low}));
  // Readers take the strings from the block of the first language and code page listed.
  const auto* language = static_cast<const WORD*>(query(L"\\VarFileInfo\\Translation"));
  ASSERT_NE(language, nullptr);
  std::array<wchar_t, 32> block{};
  std::swprintf(block.data(), block.size(), L"\\StringFileInfo\\%04x%04x\\", language[0],
                language[1]);
  for (const auto& [name, value] : {std::pair{L"ProductName", L"orvel-wallpaper-helper"},
                                    {L"OriginalFilename", L"orvel-wallpaper-helper.exe"},
                                    {L"FileVersion", L"" ORVEL_VERSION},
                                    {L"ProductVersion", L"" ORVEL_VERSION},
                                    {L"FileDescription", L"" ORVEL_DESCRIPTION}}) {
    EXPECT_STREQ(static_cast<const wchar_t*>(query(block.data() + std::wstring(name))), value)
        << name;
  }
}

}  // namespace
}  // namespace orvel::e2e
