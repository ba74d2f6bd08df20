// Right answers on desktops that are not what they seem: a WorkerW of another program, a layer the
// shell hides, a host window whose thread is busy while the displays change, a mirrored layer, and
// a trace file that several helpers share.
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "e2e/session.h"

namespace orvel::e2e {
namespace {

constexpr Box first{0, 0, 1920, 1080}, second{1920, 0, 3840, 1080}, both{0, 0, 3840, 1080};

// A window of class WorkerW that this process, not the shell, made: over the whole first monitor
// and on top of the shell's windows, it covers more of it than the shell's own layer.
TEST(Answers, AWorkerWOfAnotherProgramIsNoLayer) {
  Shell shell(Layout::classic);
  static const WNDCLASSEXW workerw{
      .cbSize = sizeof workerw, .lpfnWndProc = DefWindowProcW, .lpszClassName = L"WorkerW"};
  RegisterClassExW(&workerw);
  const Window stranger(CreateWindowExW(0, L"WorkerW", L"", WS_POPUP | WS_VISIBLE, 0, 0, 1920, 1080,
                                        nullptr, nullptr, nullptr, nullptr),
                        &DestroyWindow);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  Session session(shell, host.get(), L"");
  EXPECT_EQ(session.lines, std::vector{attached(host.get(), shell.layer(), Layout::classic)});
  EXPECT_EQ(session.close(), 0u);
}

// The shell hides its layer, shows it again; the application hides its window: each is told.
TEST(Answers, AHiddenLayerOrWindowIsNotVisible) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  Session session(shell, host.get(), L" --report-visibility");
  EXPECT_EQ(session.next(), visible(host.get(), true));
  shell.hide_layer();
  EXPECT_EQ(session.next(false, 1'000), visible(host.get(), false));
  shell.show_layer();
  EXPECT_EQ(session.next(false, 1'000), visible(host.get(), true));
  ShowWindow(host.get(), SW_HIDE);
  raise_win_event(EVENT_OBJECT_HIDE, host.get());
  EXPECT_EQ(session.next(false, 1'000), visible(host.get(), false));
  EXPECT_EQ(session.close(), 0u);
}

// A host window on a thread of its own, which can be kept from taking messages for a while, as an
// application's busy thread is.
class BusyHost {
 public:
  explicit BusyHost(RECT rect) {
    thread_ = std::jthread([this, rect] {
      const Window window = create_window(WS_POPUP, rect);
      window_ = window.get();
      thread_id_ = GetCurrentThreadId();
      made_.test_and_set();
      made_.notify_all();
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_APP) Sleep(static_cast<DWORD>(message.wParam));
        DispatchMessageW(&message);
      }
    });
    made_.wait(false);
  }
  ~BusyHost() { PostThreadMessageW(thread_id_, WM_QUIT, 0, 0); }
  HWND get() const { return window_; }
  // Its box once its thread has taken what was sent before: the helper's fits come as sent
  // messages, which its thread takes in order, so a message sent after a "moved" comes after it.
  Box box() const {
    SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 5'000, nullptr);
    return window_box(window_);
  }
  void busy_for(DWORD ms) const { PostThreadMessageW(thread_id_, WM_APP, ms, 0); }

 private:
  std::atomic_flag made_;
  HWND window_ = nullptr;
  DWORD thread_id_ = 0;
  std::jthread thread_;
};

// The helper's fits arrive only when the host window's thread takes messages: while it is busy
// across two display changes (the monitors coming back, then another change a moment later), the
// place it still has is not taken for someone else's: the window stays where it belongs, spanning
// both monitors or on its own one, then and at the next change.
TEST(Answers, AFitThatHasNotArrivedIsNoMoveByAnother) {
  const struct {
    const wchar_t* options;
    RECT rect;
    Box away, home;
  } cases[] = {{L" --span --follow-display", {100, 80, 740, 560}, first, both},
               {L" --follow-display", {2020, 80, 2660, 560}, first, second}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.home[2]);
    Shell shell(Layout::classic);
    const BusyHost host(c.rect);
    Session session(shell, host.get(), c.options);
    EXPECT_EQ(host.box(), c.home);
    ASSERT_TRUE(set_monitor_count(1));
    EXPECT_EQ(session.next(), event("moved", host.get()));
    EXPECT_EQ(host.box(), c.away);
    host.busy_for(2'500);
    const auto free_again = std::chrono::steady_clock::now() + std::chrono::milliseconds(3'000);
    const std::jthread second_change([&] {
      Sleep(2'000);
      SendMessageTimeoutW(helper_window(session.process), WM_DISPLAYCHANGE, 32, 0, SMTO_NORMAL,
                          1'000, nullptr);
    });
    ASSERT_TRUE(set_monitor_count(2));
    EXPECT_TRUE(session.until("moved", 5'000));
    std::this_thread::sleep_until(free_again);
    EXPECT_EQ(session.next(false, 500), std::nullopt);
    EXPECT_EQ(host.box(), c.home);
    // The home is still where the window belongs: the next change leaves it there.
    SendMessageTimeoutW(helper_window(session.process), WM_DISPLAYCHANGE, 32, 0, SMTO_NORMAL, 1'000,
                        nullptr);
    EXPECT_EQ(session.next(false, 1'000), std::nullopt);
    EXPECT_EQ(host.box(), c.home);
    EXPECT_EQ(session.close(), 0u);
  }
}

// A layer laid out right to left measures its children from its right edge: the window covers its
// monitor exactly all the same, attached, refitted after a display change, and moved.
TEST(Answers, AMirroredLayerHoldsTheWindowOverItsMonitor) {
  Shell shell(Layout::classic, {.mirrored = true});
  const Window host = create_window(WS_POPUP, {2020, 80, 2660, 560});
  Session session(shell, host.get(), L" --follow-display");
  EXPECT_EQ(window_box(host.get()), second);
  SetWindowPos(host.get(), nullptr, 10, 10, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
  Sleep(1'100);
  display_changed();
  EXPECT_EQ(session.next(), event("moved", host.get()));
  EXPECT_EQ(window_box(host.get()), second);
  SetWindowPos(host.get(), nullptr, 10, 10, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
  expect_done(L"move", host.get(), "moved");
  EXPECT_EQ(window_box(host.get()), monitor_box(host.get()));
  EXPECT_EQ(session.close(), 0u);
}

// Two helpers trace into one file while the layer's windows change order thousands of times, and
// the file is cut to its newer half several times: every line is whole, and each helper's last
// lines, written at its close, are there.
TEST(Answers, HelpersThatShareATraceFileNeitherGarbleNorLoseEachOthersLines) {
  Shell shell(Layout::classic);
  const std::string path = temp_file("orvel_shared_trace.log");
  {
    // Just short of the bound, so that the first cut comes soon.
    std::ofstream before(path);
    const std::string filler = R"({"ms":0,"pid":0,"what":"filler"})";
    for (std::size_t size = 0; size + 60'000 < 1 << 20; size += filler.size() + 1) {
      before << filler << '\n';
    }
  }
  const Window left = create_window(WS_POPUP, {100, 80, 740, 560}),
               right = create_window(WS_POPUP, {2020, 80, 2660, 560});
  const std::wstring options = L" --zguard --trace " + widen(path);
  Session one(shell, left.get(), options), two(shell, right.get(), options);
  for (const ULONGLONG end = GetTickCount64() + 8'000; GetTickCount64() < end;) {
    for (int burst = 0; burst < 50; ++burst) raise_win_event(EVENT_OBJECT_REORDER, shell.layer());
    shell.update();
  }
  EXPECT_EQ(one.close(), 0u);
  EXPECT_EQ(two.close(), 0u);
  std::ifstream file(path, std::ios::binary);
  std::map<std::pair<long long, std::string>, int> notes;  // by process and what they tell
  std::size_t size = 0;
  for (std::string line; std::getline(file, line); size += line.size() + 1) {
    const nlohmann::json note = nlohmann::json::parse(line, nullptr, false);
    ASSERT_TRUE(note.is_object()) << line;
    ++notes[{note.value("pid", -1LL), note.value("what", "")}];
  }
  EXPECT_LE(size, std::size_t{1} << 20);
  EXPECT_EQ(notes.count(std::pair(0LL, "filler")), 0u) << "the file was never cut";
  for (const Session* session : {&one, &two}) {
    const long long pid = session->process.id();
    EXPECT_GT(notes[std::pair(pid, "guard")], 0) << pid;
    EXPECT_EQ(notes[std::pair(pid, "detached")], 1) << pid;
  }
}

}  // namespace
}  // namespace orvel::e2e
