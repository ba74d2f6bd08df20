// The helper through the real process under Wine: its Win32 calls, pipes, processes and windows.
// What it decides is proven by the unit tests against the simulated desktop.
#include <gtest/gtest.h>
#include <windows.h>
#include <winver.h>

#include <array>
#include <cwchar>
#include <optional>
#include <string>

#include "e2e/lines.h"

namespace orvel::desktop {

void report_failure(const std::string& what) {
  ADD_FAILURE() << what;
}

}  // namespace orvel::desktop

namespace orvel::e2e {
namespace {

using namespace desktop;

// A hidden top-level host window.
Window make_host(RECT where = {.left = 100, .top = 80, .right = 740, .bottom = 560}) {
  return create_window(WS_POPUP | WS_CLIPCHILDREN, where);
}

void expect_done(const wchar_t* command, HWND host, const char* event) {
  Process helper = start_helper(std::wstring(command) + L" --hwnd " + widen(handle_text(host)));
  EXPECT_EQ(helper.wait(), 0u);
  EXPECT_EQ(helper.unread_output(), host_event(event, host) + "\n");
  EXPECT_EQ(helper.errors(), "");
}

// A top-level popup again, as a window given back is.
void expect_given_back(HWND host) {
  EXPECT_EQ(GetAncestor(host, GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(GetWindowLongPtrW(host, GWL_STYLE) & (WS_CHILD | WS_POPUP), LONG_PTR{WS_POPUP});
}

// A helper attaching `host`, which its first line says is in the layer: a child on top of its
// siblings, covering its monitor.
Process attach(Shell& shell, Layout layout, HWND host, std::wstring_view options = L"") {
  const RECT monitor = monitor_nearest(host);
  Process helper =
      start_helper(L"attach --hwnd " + widen(handle_text(host)) + std::wstring(options));
  const std::optional<std::string> line = helper.read_line();
  shell.update();
  EXPECT_EQ(line, attached_line(host, shell.layer(), layout));
  EXPECT_EQ(GetWindow(shell.layer(), GW_CHILD), host);
  EXPECT_EQ(window_rect(host), monitor);
  return helper;
}

// The next line that is not a heartbeat, skipping "mousemove" lines unless asked for them. The
// heartbeat goes on, so the wait has a deadline of its own.
std::optional<std::string> next_event(Process& helper, bool moves = false) {
  for (const ULONGLONG deadline = GetTickCount64() + 15'000; GetTickCount64() < deadline;) {
    std::optional<std::string> line = helper.read_line(1'000);
    if (line && *line != heartbeat && (moves || !line->starts_with(R"({"event":"mousemove)"))) {
      return line;
    }
  }
  return std::nullopt;
}

// Places on the bare desktop, clear of the taskbar at the bottom.
constexpr POINT press_at{.x = 300, .y = 200};
constexpr POINT release_at{.x = 420, .y = 260};

// Puts the cursor at `at`, in the same input as `flags` (buttons, wheels) and `data`.
void send_mouse(POINT at, DWORD flags = 0, int data = 0) {
  INPUT input = mouse_input(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | flags, at, data);
  if (SendInput(1, &input, sizeof(INPUT)) != 1) ADD_FAILURE() << "SendInput failed";
}

// Another process's window comes to the front once its thread has taken the request, and the
// stand-in may take the front back with input that it had not taken yet: the request is made again
// until the window is in front after a round trip to the stand-in. Progman is part of the desktop
// in either layout.
void bring_to_front(Shell& shell, HWND window) {
  for (int round = 0; round < 100; ++round) {
    SetForegroundWindow(window);
    shell.update();
    if (GetForegroundWindow() == window) return;
  }
  ADD_FAILURE() << "cannot bring " << window << " to the front";
}

std::string mouse_event(const char* name, POINT at, std::string_view deltas = "") {
  return event_text(name, ",\"x\":" + std::to_string(at.x) + ",\"y\":" + std::to_string(at.y) +
                              std::string(deltas));
}

// The suite runs on two monitors side by side, as the fake Xinerama says; the shell's layer spans
// both, and a host window starts on the second one.
constexpr RECT second_monitor{.left = 1920, .top = 0, .right = 3840, .bottom = 1080};
constexpr RECT on_second_monitor{.left = 2020, .top = 80, .right = 2660, .bottom = 560};

// `move` fits a host window in the layer that has strayed partly over the first monitor to the
// second one again.
void move_back(const Shell& shell, HWND host) {
  POINT origin{};
  ClientToScreen(shell.layer(), &origin);
  SetWindowPos(host, nullptr, 1800 - origin.x, 20 - origin.y, 320, 240,
               SWP_NOZORDER | SWP_NOACTIVATE);
  expect_done(L"move", host, "moved");
  EXPECT_EQ(window_rect(host), second_monitor);
}

// The classic layout with its layer made on request and --zguard: a shell window above the host
// window is put below it again, `move` fits the window to its monitor again once it has strayed
// partly over the first, a taskbar in a new process is a shell restart that brings a re-attach to
// the layer that lives on, and closing standard input gives the window back.
TEST(Attach, ClassicSessionGuardsMovesReattachesAfterATaskbarRestartAndEndsWithItsInput) {
  Shell shell(Layout::classic, {.layer_on_request = true});
  const Window host = make_host(on_second_monitor);
  Process helper = attach(shell, Layout::classic, host.get(), L" --zguard");

  shell.cover_layer();
  EXPECT_EQ(next_event(helper), host_event("reasserted", host.get()));
  EXPECT_EQ(GetWindow(shell.layer(), GW_CHILD), host.get());

  move_back(shell, host.get());

  shell.restart_taskbar();
  EXPECT_EQ(next_event(helper), explorer_restarted);
  EXPECT_EQ(next_event(helper), attached_line(host.get(), shell.layer(), Layout::classic));

  helper.close_input();
  EXPECT_EQ(next_event(helper), host_event("detached", host.get()));
  EXPECT_EQ(helper.wait(), 0u);
  EXPECT_EQ(helper.errors(), "");
  expect_given_back(host.get());
}

// The raised layout with --forward-mouse, `move` fitting the window again as in the classic one:
// each event carries the cursor position of its own moment while the desktop is in front. Then the
// host window goes with its layer; the helper says so, beats on, and ends in order once its
// standard input is closed.
TEST(Attach, RaisedSessionForwardsTheMouseWhileTheDesktopIsInFrontAndOutlivesTheLayer) {
  Shell shell(Layout::raised);
  const Window app = create_window(WS_POPUP | WS_VISIBLE, {650, 430, 750, 530});
  const Window host = make_host(on_second_monitor);
  Process helper = attach(shell, Layout::raised, host.get(), L" --forward-mouse");
  move_back(shell, host.get());
  bring_to_front(shell, FindWindowW(L"Progman", nullptr));

  // Under X, the process whose window is under the cursor feeds each move back as one more move to
  // the same place; when it comes late, it takes the cursor back to a place already left. A round
  // trip to the stand-in lets it do that first, so a press or release that moves nothing sees its
  // place.
  send_mouse(press_at);
  shell.update();
  send_mouse(press_at, MOUSEEVENTF_LEFTDOWN);
  EXPECT_EQ(next_event(helper), mouse_event("mousedown", press_at));
  send_mouse(release_at);
  shell.update();
  send_mouse(release_at, MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(next_event(helper), mouse_event("mouseup", release_at));
  send_mouse(release_at, MOUSEEVENTF_WHEEL, WHEEL_DELTA);
  EXPECT_EQ(next_event(helper),
            mouse_event("mousewheel", release_at, R"(,"deltaX":0,"deltaY":120)"));

  // A move has a line for its place, after any lines for places that X fed back late.
  constexpr POINT move_to{.x = 500, .y = 300};
  send_mouse(move_to);
  for (std::optional<std::string> line; line != mouse_event("mousemove", move_to);) {
    line = next_event(helper, true);
    ASSERT_TRUE(line && line->starts_with(R"({"event":"mousemove")")) << line.value_or("no line");
  }

  // With our window in front, not even a wheel over the desktop.
  bring_to_front(shell, app.get());
  send_mouse(release_at, MOUSEEVENTF_WHEEL, WHEEL_DELTA);
  bring_to_front(shell, FindWindowW(L"Progman", nullptr));
  send_mouse(release_at, MOUSEEVENTF_HWHEEL, -WHEEL_DELTA);
  EXPECT_EQ(next_event(helper),
            mouse_event("mousewheel", release_at, R"(,"deltaX":-120,"deltaY":0)"));

  shell.destroy_layer();

  EXPECT_EQ(next_event(helper), host_event("workerw-destroyed", host.get()));
  EXPECT_EQ(helper.read_line(), window_destroyed_error);
  EXPECT_EQ(helper.read_line(), heartbeat);
  helper.close_input();
  EXPECT_EQ(helper.read_line(), window_gone_error);
  EXPECT_EQ(helper.wait(), 0u);
}

// The example application that embeds the helper, driven as a script would drive it: its window
// shown as the wallpaper, rebuilt with a new helper once it has gone with the layer, and given back
// when its time is up.
TEST(HostExample, ShowsItsWindowAsTheWallpaperRebuildsItAfterTheLayerAndGivesItBack) {
  Shell shell(Layout::raised);
  Process example(L"orvel-host-example.exe", L"--print-lines --seconds 4");
  // The window in the layer, which the next line must say was attached.
  const auto next_attached = [&] {
    const std::optional<std::string> line = example.read_line();
    shell.update();
    const HWND window = GetWindow(shell.layer(), GW_CHILD);
    EXPECT_EQ(line, attached_line(window, shell.layer(), Layout::raised));
    return window;
  };
  const HWND first = next_attached();
  EXPECT_TRUE(IsWindowVisible(first));
  EXPECT_EQ(window_rect(first), monitor_nearest(first));

  shell.destroy_layer();

  EXPECT_EQ(example.read_line(), host_event("workerw-destroyed", first));
  EXPECT_EQ(example.read_line(), window_destroyed_error);
  // The first helper, told to end, has no window to give back.
  EXPECT_EQ(example.read_line(), window_gone_error);
  const HWND second = next_attached();

  EXPECT_EQ(example.read_line(), host_event("detached", second));
  // It ends with 0 only once its last helper has given the window back and ended with 0.
  EXPECT_EQ(example.wait(), 0u) << example.errors();
}

// A hidden host window between two windows of ours, on the desktop with the upper one active, and
// inside the layer, whose client origin is not the screen's. `move` fits it to its monitor in its
// parent's coordinates and shows it, leaving the order and the active window alone; `detach` then
// gives it back as a top-level popup at the same coordinates, now the screen's.
TEST(MoveAndDetach, FitTheWindowInItsParentsCoordinatesAndGiveItBackInPlace) {
  const Shell shell(Layout::classic);
  POINT origin{};
  ClientToScreen(shell.layer(), &origin);
  ASSERT_TRUE(origin.x != 0 && origin.y != 0);
  for (const HWND parent : {HWND{}, shell.layer()}) {
    const auto make = [parent](DWORD shown, LONG left) {
      return create_window((parent ? WS_CHILD : WS_POPUP) | shown, {left, 20, left + 320, 260},
                           parent);
    };
    // A new top-level window goes above the others, a new child below its siblings.
    const Window first = make(WS_VISIBLE, 0), host = make(0, 10), last = make(WS_VISIBLE, 20);
    const HWND upper = (parent ? first : last).get();
    const HWND lower = (parent ? last : first).get();
    if (!parent) SetForegroundWindow(upper);
    const HWND active = GetActiveWindow();
    const RECT monitor = monitor_nearest(host.get());
    expect_done(L"move", host.get(), "moved");

    EXPECT_EQ(window_rect(host.get()), monitor);
    EXPECT_TRUE(IsWindowVisible(host.get()));
    EXPECT_EQ(GetWindow(upper, GW_HWNDNEXT), host.get());
    EXPECT_EQ(GetWindow(host.get(), GW_HWNDNEXT), lower);
    EXPECT_EQ(GetActiveWindow(), active);

    expect_done(L"detach", host.get(), "detached");

    expect_given_back(host.get());
    const POINT at = parent ? origin : POINT{};
    EXPECT_EQ(window_rect(host.get()), (RECT{monitor.left - at.x, monitor.top - at.y,
                                             monitor.right - at.x, monitor.bottom - at.y}));
  }
}

// A few representatives of the command-line rules, which the unit tests prove, and an attach
// without a shell, which leaves the window alone: the line as Windows hands it over, the streams
// and the exit code.
TEST(CommandLine, AnswersThroughTheStreamsAndTheExitCode) {
  const Window host = make_host();
  const LONG_PTR style = GetWindowLongPtrW(host.get(), GWL_STYLE);
  const struct {
    std::wstring arguments;
    DWORD exit_code;
    std::string out;
    std::string err = "";
    StdoutReader reader = StdoutReader::reading;
  } cases[] = {
      {L"--hwnd 5 attach", 2, "", std::string(usage_text) + "error: unexpected argument: 5\n"},
      {L"refresh", 0, event_text("refreshed") + "\n"},
      {L"refresh", 0, "", "", StdoutReader::gone},
      {L"attach --hwnd " + widen(handle_text(host.get())), 1,
       error_line("Progman not found") + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    Process helper = start_helper(c.arguments, c.reader);
    EXPECT_EQ(helper.wait(), c.exit_code);
    EXPECT_EQ(helper.unread_output(), c.out);
    EXPECT_EQ(helper.errors(), c.err);
  }
  EXPECT_EQ(GetAncestor(host.get(), GA_PARENT), GetDesktopWindow());
  EXPECT_EQ(GetWindowLongPtrW(host.get(), GWL_STYLE), style);
}

TEST(VersionInfo, TheHelperNamesItselfItsVersionAndWhatItDoes) {
  const std::wstring helper = beside_this_program(L"orvel-wallpaper-helper.exe");
  std::string info(GetFileVersionInfoSizeW(helper.c_str(), nullptr), '\0');
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
