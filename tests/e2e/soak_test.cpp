// A long run, by hand only (scripts/soak): 100 taskbar restarts against one helper, 100 layers
// destroyed with their host windows and rebuilt with a new helper each, and 100,000 mouse records
// through one helper, while the helper's memory, handles and threads are sampled from outside.
#include <gtest/gtest.h>
#include <windows.h>
// The system headers below need windows.h first.
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "e2e/lines.h"

namespace orvel::e2e {
namespace {

using namespace desktop;

struct Sample {
  SIZE_T memory = 0;
  DWORD handles = 0, threads = 0;
};

// Wine leaves PrivateUsage 0 and fills PagefileUsage, the same count; its GetProcessHandleCount
// gives 0, while its system handle table lists the handles.
Sample sample(const Process& helper) {
  Sleep(100);  // a finished worker thread goes first
  Sample taken;
  PROCESS_MEMORY_COUNTERS_EX memory{.cb = sizeof(memory)};
  GetProcessMemoryInfo(helper.handle(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                       sizeof memory);
  taken.memory = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
  std::vector<char> table(1 << 20);
  if (NtQuerySystemInformation(SystemHandleInformation, table.data(),
                               static_cast<ULONG>(table.size()), nullptr) >= 0) {
    SYSTEM_HANDLE_INFORMATION info;
    std::memcpy(&info, table.data(), sizeof info);
    const char* entries = table.data() + offsetof(SYSTEM_HANDLE_INFORMATION, Handle);
    for (ULONG i = 0; i < info.Count; ++i) {
      SYSTEM_HANDLE_ENTRY entry;
      std::memcpy(&entry, entries + i * sizeof entry, sizeof entry);
      taken.handles += entry.OwnerPid == helper.id();
    }
  }
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 thread{.dwSize = sizeof(THREADENTRY32)};
  for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread)) {
    taken.threads += thread.th32OwnerProcessID == helper.id();
  }
  CloseHandle(snapshot);
  return taken;
}

// At most a tenth more than early on.
void expect_steady(const char* phase, const Sample& early, const Sample& late) {
  std::printf("%s: private bytes %zu -> %zu, handles %lu -> %lu, threads %lu -> %lu\n", phase,
              early.memory, late.memory, early.handles, late.handles, early.threads, late.threads);
  EXPECT_GT(early.handles, 0u);
  EXPECT_LE(late.memory * 10, early.memory * 11) << phase;
  EXPECT_LE(late.handles * 10, early.handles * 11) << phase;
  EXPECT_LE(late.threads * 10, early.threads * 11) << phase;
}

std::optional<std::string> next_event(Process& helper) {
  std::optional<std::string> line;
  while ((line = helper.read_line()) == heartbeat) {
  }
  return line;
}

Window make_host() {
  return create_window(WS_POPUP, {0, 0, 640, 480});
}

Process attach(Shell& shell, HWND host, std::wstring_view options = L"") {
  Process helper = start_helper(L"attach --hwnd " + widen(handle_text(host)) + options.data());
  const std::optional<std::string> line = next_event(helper);
  shell.update();
  EXPECT_EQ(line, attached_line(host, shell.layer(), Layout::classic));
  return helper;
}

constexpr int rounds = 100;

TEST(Soak, DISABLED_TaskbarRestartsLayersRebuiltAndMouseInput) {
  Shell shell(Layout::classic, {.layer_on_request = true});
  Sample early;
  {
    const Window host = make_host();
    Process helper = attach(shell, host.get());
    for (int round = 1; round <= rounds; ++round) {
      shell.restart_taskbar();
      ASSERT_EQ(next_event(helper), explorer_restarted) << round;
      ASSERT_EQ(next_event(helper), attached_line(host.get(), shell.layer(), Layout::classic));
      if (round == 10) early = sample(helper);
    }
    expect_steady("taskbar restarts", early, sample(helper));
  }
  for (int round = 1; round <= rounds; ++round) {
    const Window host = make_host();
    Process helper = attach(shell, host.get());
    if (round == 10) early = sample(helper);
    if (round == rounds) expect_steady("layers destroyed", early, sample(helper));
    shell.destroy_layer();
    ASSERT_EQ(next_event(helper), host_event("workerw-destroyed", host.get())) << round;
    ASSERT_EQ(next_event(helper), window_destroyed_error);
    helper.close_input();
    ASSERT_EQ(next_event(helper), window_gone_error);
    ASSERT_EQ(helper.wait(), 0u);
  }
  const Window host = make_host();
  Process helper = attach(shell, host.get(), L" --forward-mouse");
  const HWND progman = FindWindowW(L"Progman", nullptr);
  ASSERT_TRUE(SetForegroundWindow(progman) && GetForegroundWindow() == progman);
  // Each batch: moves, a click and a wheel step; the last move's line ends it, as moves between
  // two timer ticks come as one line.
  constexpr int batch = 100;
  for (int sent = 0; sent < 100'000; sent += batch) {
    std::vector<INPUT> records;
    for (int i = 0; i < batch - 4; ++i) {
      records.push_back(mouse_input(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, {100 + i, 100}));
    }
    records.push_back(mouse_input(MOUSEEVENTF_LEFTDOWN));
    records.push_back(mouse_input(MOUSEEVENTF_LEFTUP));
    records.push_back(mouse_input(MOUSEEVENTF_WHEEL, {}, WHEEL_DELTA));
    const POINT end{.x = 200 + sent / batch % 500, .y = 300};
    records.push_back(mouse_input(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, end));
    ASSERT_EQ(SendInput(batch, records.data(), sizeof(INPUT)), UINT{batch});
    int others = 0;
    const std::string last = event_text(
        "mousemove", ",\"x\":" + std::to_string(end.x) + ",\"y\":" + std::to_string(end.y));
    for (std::optional<std::string> line; line != last;) {
      line = next_event(helper);
      ASSERT_TRUE(line && line->starts_with(R"({"event":"mouse)")) << line.value_or("none");
      others += !line->starts_with(R"({"event":"mousemove")");
    }
    ASSERT_EQ(others, 3) << sent;  // down, up and the wheel
    if (sent == 10'000) early = sample(helper);
  }
  expect_steady("mouse input", early, sample(helper));
}

}  // namespace
}  // namespace orvel::e2e
