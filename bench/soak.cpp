// A long run of the helper under Wine against the stand-in shell, run by hand (scripts/soak):
//   1. taskbar restarts that keep the layer, against one helper;
//   2. layers destroyed with their host windows, each time a new host window and a new helper;
//   3. a stream of mouse input to one helper that forwards it.
// Between rounds it samples the helper's private bytes, handles and threads from outside. It
// prints a table and fails when a round fails or a sample grows by more than a tenth over a phase.
#include <windows.h>
// The system headers below need windows.h first.
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/lines.h"

namespace {

using namespace orvel;
using namespace orvel::desktop;
using namespace orvel::e2e;

int desktop_failures = 0;

constexpr int rounds = 100;
constexpr int sample_every_rounds = 10;
constexpr int mouse_records = 100'000;
constexpr int records_per_batch = 100;
constexpr int sample_every_records = 10'000;
// How long a round waits for each line it expects.
constexpr DWORD line_deadline_ms = 10'000;
// A sample may exceed the first one of its phase by this fraction.
constexpr double allowed_growth = 0.10;
// Time for a helper's finished worker thread to go before its threads are counted.
constexpr DWORD settle_ms = 100;

constexpr RECT host_rect{.right = 640, .bottom = 480};

struct Sample {
  SIZE_T private_bytes = 0;
  DWORD handles = 0;
  DWORD threads = 0;
};

struct Phase {
  const char* name;
  const char* unit;
  int planned;
  int passed = 0;
  long long lines = 0;
  std::vector<Sample> samples;  // the first once the helper has settled
  double seconds = 0;
  std::string failure;
};

// Waits without leaving this thread's windows unserved.
void settle(DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    pump_messages();
  }
}

// A live process always has handles. Only Wine gives 0: its GetProcessHandleCount succeeds with 0
// for every process, while its system handle table, in this header's layout, lists them.
DWORD handle_count(const Process& helper) {
  DWORD count = 0;
  if (!GetProcessHandleCount(helper.handle(), &count) || count != 0) return count;
  std::vector<char> table(1 << 16);
  ULONG needed = 0;
  NTSTATUS status = 0;
  while ((status = NtQuerySystemInformation(SystemHandleInformation, table.data(),
                                            static_cast<ULONG>(table.size()), &needed)) ==
         static_cast<NTSTATUS>(0xC0000004)) {  // the table grew: a larger buffer
    table.resize(table.size() * 2);
  }
  if (status < 0) return 0;
  SYSTEM_HANDLE_INFORMATION info;
  std::memcpy(&info, table.data(), sizeof info);
  const char* entries = table.data() + offsetof(SYSTEM_HANDLE_INFORMATION, Handle);
  for (ULONG i = 0; i < info.Count; ++i) {
    SYSTEM_HANDLE_ENTRY entry;
    std::memcpy(&entry, entries + i * sizeof entry, sizeof entry);
    if (entry.OwnerPid == helper.id()) ++count;
  }
  return count;
}

std::optional<Sample> sample(const Process& helper) {
  settle(settle_ms);
  PROCESS_MEMORY_COUNTERS_EX memory{.cb = sizeof(PROCESS_MEMORY_COUNTERS_EX)};
  Sample taken;
  if (!GetProcessMemoryInfo(helper.handle(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                            sizeof memory)) {
    return std::nullopt;
  }
  // Wine leaves PrivateUsage 0 and fills PagefileUsage, which Windows documents as the same
  // count: the private memory committed for the process.
  taken.private_bytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
  taken.handles = handle_count(helper);
  if (taken.handles == 0) return std::nullopt;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return std::nullopt;
  THREADENTRY32 thread{.dwSize = sizeof(THREADENTRY32)};
  for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread)) {
    if (thread.th32OwnerProcessID == helper.id()) ++taken.threads;
  }
  CloseHandle(snapshot);
  return taken;
}

bool take_sample(const Process& helper, Phase& phase) {
  const std::optional<Sample> taken = sample(helper);
  if (!taken) phase.failure = "cannot sample the helper: " + std::to_string(GetLastError());
  if (taken) phase.samples.push_back(*taken);
  return taken.has_value();
}

void judge_growth(Phase& phase) {
  if (!phase.failure.empty() || phase.samples.size() < 2) return;
  const Sample& first = phase.samples.front();
  const Sample& last = phase.samples.back();
  const auto grew = [](double from, double to) { return to > from * (1 + allowed_growth); };
  if (grew(static_cast<double>(first.private_bytes), static_cast<double>(last.private_bytes))) {
    phase.failure = "private bytes grew by more than a tenth";
  } else if (grew(first.handles, last.handles)) {
    phase.failure = "handles grew by more than a tenth";
  } else if (grew(first.threads, last.threads)) {
    phase.failure = "threads grew by more than a tenth";
  }
}

void progress(const Phase& phase, int done) {
  std::fprintf(stderr, "soak: %s: %d/%d %s, %lld lines\n", phase.name, done, phase.planned,
               phase.unit, phase.lines);
}

// The helper's next line that is not a heartbeat; every line taken counts as checked.
std::optional<std::string> next_line(Process& helper, Phase& phase,
                                     DWORD timeout_ms = line_deadline_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    std::optional<std::string> line = helper.read_line(static_cast<DWORD>(deadline - now));
    if (!line) return std::nullopt;
    ++phase.lines;
    if (*line != heartbeat) return line;
  }
  return std::nullopt;
}

bool expect_line(Process& helper, Phase& phase, const std::string& expected) {
  const std::optional<std::string> line = next_line(helper, phase);
  if (line == expected) return true;
  phase.failure = "expected " + expected + ", got " + line.value_or("nothing");
  return false;
}

// The helper's "attached" line for the shell's layer of the moment, with the host window in it.
bool expect_attached(Process& helper, Shell& shell, HWND host, Phase& phase) {
  const std::optional<std::string> line = next_line(helper, phase);
  shell.update();
  if (line != attached_line(host, shell.layer(), Layout::classic)) {
    phase.failure = "expected \"attached\" to layer " + handle_text(shell.layer()) + ", got " +
                    line.value_or("nothing");
    return false;
  }
  if (GetAncestor(host, GA_PARENT) != shell.layer()) {
    phase.failure = "the host window is not in the layer";
    return false;
  }
  return true;
}

// Ends the helper with "detach": its last line, then exit code 0 and nothing on standard error.
bool end_helper(Process& helper, Phase& phase, const std::string& last_line) {
  helper.write("detach\n");
  const std::optional<DWORD> exit_code = helper.wait();
  std::string rest = helper.unread_output();
  std::vector<std::string> lines;
  for (std::size_t end = rest.find('\n'); end != std::string::npos; end = rest.find('\n')) {
    ++phase.lines;
    if (rest.compare(0, end, heartbeat) != 0) lines.push_back(rest.substr(0, end));
    rest.erase(0, end + 1);
  }
  if (lines != std::vector{last_line} || !rest.empty()) {
    phase.failure = "expected " + last_line + " at the end, got " + std::to_string(lines.size()) +
                    " other lines" + (lines.empty() ? "" : ", first " + lines.front());
  } else if (exit_code != 0u) {
    phase.failure = "the helper ended with " +
                    (exit_code ? std::to_string(*exit_code) : std::string("no exit code"));
  } else if (const std::string errors = helper.errors(); !errors.empty()) {
    phase.failure = "the helper wrote to standard error: " + errors;
  }
  return phase.failure.empty();
}

std::wstring attach_arguments(HWND host, std::wstring_view options = L"") {
  return L"attach" + std::wstring(options) + L" --hwnd " + widen(handle_text(host));
}

// Runs the phase's rounds until one fails. A round gives the helper that is running after it, or
// none when it failed; that helper is sampled after the first round and every tenth.
template <class Round>
void run_rounds(Phase& phase, Round round) {
  for (int done = 1; done <= phase.planned; ++done) {
    const int failures = desktop_failures;
    const Process* helper = round();
    if (helper && desktop_failures != failures) phase.failure = "the desktop failed (see above)";
    if (!phase.failure.empty()) {
      phase.failure = "round " + std::to_string(done) + ": " + phase.failure;
      return;
    }
    ++phase.passed;
    if ((done == 1 || done % sample_every_rounds == 0) && !take_sample(*helper, phase)) return;
    if (done % sample_every_rounds == 0) progress(phase, done);
  }
}

void taskbar_restarts(Phase& phase) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, host_rect);
  Process helper = start_helper(attach_arguments(host.get()));
  if (!expect_attached(helper, shell, host.get(), phase)) return;
  run_rounds(phase, [&]() -> const Process* {
    shell.restart_taskbar();
    if (!expect_line(helper, phase, explorer_restarted) ||
        !expect_attached(helper, shell, host.get(), phase)) {
      return nullptr;
    }
    return &helper;
  });
  if (phase.failure.empty()) end_helper(helper, phase, host_event("detached", host.get()));
}

// The main process's part when the layer has gone with its host window: a new host window, the
// old helper ended, a new one started for the new window, which has the shell make a new layer.
void layer_rebuilds(Phase& phase) {
  Shell shell(Layout::classic, {.layer_on_request = true});
  Window host = create_window(WS_POPUP, host_rect);
  std::optional<Process> helper(start_helper(attach_arguments(host.get())));
  if (!expect_attached(*helper, shell, host.get(), phase)) return;
  run_rounds(phase, [&]() -> const Process* {
    const HWND destroyed = shell.layer();
    shell.destroy_layer();
    if (IsWindow(host.get())) {
      phase.failure = "the host window outlived its layer";
      return nullptr;
    }
    if (!expect_line(*helper, phase, host_event("workerw-destroyed", host.get())) ||
        !expect_line(*helper, phase, window_destroyed_error)) {
      phase.failure += " (the layer destroyed was " + handle_text(destroyed) + ")";
      return nullptr;
    }
    Window rebuilt = create_window(WS_POPUP, host_rect);
    if (!end_helper(*helper, phase, window_gone_error)) return nullptr;
    host = std::move(rebuilt);
    helper.emplace(start_helper(attach_arguments(host.get())));
    return expect_attached(*helper, shell, host.get(), phase) ? &*helper : nullptr;
  });
  if (phase.failure.empty()) end_helper(*helper, phase, host_event("detached", host.get()));
}

// Mouse lines by kind.
struct MouseCounts {
  int presses = 0;
  int releases = 0;
  int wheels = 0;
  int horizontal_wheels = 0;
  bool operator==(const MouseCounts&) const = default;
};

// Each batch of records: in every ten, a click, a step of each wheel and six moves, all within
// `moves_area`; the last move goes to a point of its own outside it, so that its line ends the
// batch.
constexpr RECT moves_area{.left = 50, .top = 50, .right = 450, .bottom = 450};
constexpr MouseCounts batch_counts{.presses = records_per_batch / 10,
                                   .releases = records_per_batch / 10,
                                   .wheels = records_per_batch / 10,
                                   .horizontal_wheels = records_per_batch / 10};
constexpr int batches = mouse_records / records_per_batch;
POINT batch_end(int batch) {
  return {.x = 500 + 2 * (batch % 100), .y = 50 + 2 * (batch / 100)};
}

std::array<INPUT, records_per_batch> batch_records(int batch, std::uint32_t& random) {
  struct Record {
    DWORD flags;
    int wheel;
  };
  static constexpr std::array<Record, 4> not_moves = {{{MOUSEEVENTF_LEFTDOWN, 0},
                                                       {MOUSEEVENTF_LEFTUP, 0},
                                                       {MOUSEEVENTF_WHEEL, WHEEL_DELTA},
                                                       {MOUSEEVENTF_HWHEEL, -WHEEL_DELTA}}};
  std::array<INPUT, records_per_batch> records;
  for (std::size_t i = 0; i < records.size(); ++i) {
    random = random * 1'664'525u + 1'013'904'223u;
    const POINT at{.x = moves_area.left +
                        static_cast<LONG>(random >> 8) % (moves_area.right - moves_area.left),
                   .y = moves_area.top +
                        static_cast<LONG>(random >> 20) % (moves_area.bottom - moves_area.top)};
    const std::size_t kind = i % 10;
    records[i] = kind < not_moves.size()
                     ? mouse_input(not_moves[kind].flags, {}, not_moves[kind].wheel)
                     : mouse_input(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at);
  }
  records.back() = mouse_input(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, batch_end(batch));
  return records;
}

// Counts a well-formed mouse line at a point where the cursor was during the batch, from where the
// last one left it to its end; false for any other line. A line tells where the cursor was when
// the helper took the record, which may be later than where the record left it.
bool count_mouse_line(const std::string& line, POINT start, POINT end, MouseCounts& counts,
                      bool& ended) {
  char name[16] = {};
  POINT at{};
  int taken = 0;
  if (std::sscanf(line.c_str(), "{\"event\":\"%15[a-z]\",\"x\":%ld,\"y\":%ld%n", name, &at.x, &at.y,
                  &taken) != 3) {
    return false;
  }
  const bool at_end = at.x == end.x && at.y == end.y;
  const bool at_start = at.x == start.x && at.y == start.y;
  if (!at_end && !at_start && !PtInRect(&moves_area, at)) return false;
  const std::string_view kind = name;
  const std::string_view rest = std::string_view(line).substr(static_cast<std::size_t>(taken));
  if (rest == "}" && kind == "mousemove") {
    ended = ended || at_end;
  } else if (rest == "}" && kind == "mousedown") {
    ++counts.presses;
  } else if (rest == "}" && kind == "mouseup") {
    ++counts.releases;
  } else if (rest == ",\"deltaX\":0,\"deltaY\":120}" && kind == "mousewheel") {
    ++counts.wheels;
  } else if (rest == ",\"deltaX\":-120,\"deltaY\":0}" && kind == "mousewheel") {
    ++counts.horizontal_wheels;
  } else {
    return false;
  }
  return true;
}

// Sends one batch and takes its lines as they come, until the line of its last move.
bool mouse_batch(Process& helper, int batch, std::uint32_t& random, Phase& phase) {
  std::array<INPUT, records_per_batch> records = batch_records(batch, random);
  if (SendInput(static_cast<UINT>(records.size()), records.data(), sizeof(INPUT)) !=
      records.size()) {
    phase.failure = "SendInput failed: " + std::to_string(GetLastError());
    return false;
  }
  const POINT end = batch_end(batch);
  POINT cursor{};
  if (!GetCursorPos(&cursor) || cursor.x != end.x || cursor.y != end.y) {
    phase.failure = "the cursor is at " + std::to_string(cursor.x) + "," +
                    std::to_string(cursor.y) + " after a move to " + std::to_string(end.x) + "," +
                    std::to_string(end.y);
    return false;
  }
  MouseCounts counts;
  for (bool ended = false; !ended || counts != batch_counts;) {
    const std::optional<std::string> line = next_line(helper, phase);
    if (!line || !count_mouse_line(*line, batch_end(batch - 1), end, counts, ended) ||
        counts.presses > batch_counts.presses || counts.releases > batch_counts.releases ||
        counts.wheels > batch_counts.wheels ||
        counts.horizontal_wheels > batch_counts.horizontal_wheels) {
      phase.failure = "unexpected " + line.value_or("silence") + " (" +
                      std::to_string(counts.presses) + " presses, " +
                      std::to_string(counts.releases) + " releases, " +
                      std::to_string(counts.wheels) + " wheel steps, " +
                      std::to_string(counts.horizontal_wheels) + " horizontal ones)";
      return false;
    }
  }
  phase.passed += records_per_batch;
  return true;
}

std::string move_line(POINT at) {
  return event_text("mousemove",
                    ",\"x\":" + std::to_string(at.x) + ",\"y\":" + std::to_string(at.y));
}

// Puts the cursor where the first batch starts. A move that the helper saw while the desktop was
// not in front is written on its first mouse tick after the desktop is, at the cursor of then.
bool move_to_start(Process& helper, Phase& phase) {
  POINT cursor{};
  GetCursorPos(&cursor);
  INPUT move = mouse_input(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, batch_end(0));
  if (SendInput(1, &move, sizeof move) != 1) {
    phase.failure = "SendInput failed: " + std::to_string(GetLastError());
    return false;
  }
  for (std::optional<std::string> line = next_line(helper, phase); line != move_line(batch_end(0));
       line = next_line(helper, phase)) {
    if (line != move_line(cursor)) {
      phase.failure = "unexpected " + line.value_or("silence") + " before the first batch";
      return false;
    }
  }
  return true;
}

void mouse_stream(Phase& phase) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, host_rect);
  Process helper = start_helper(attach_arguments(host.get(), L" --forward-mouse"));
  if (!expect_attached(helper, shell, host.get(), phase)) return;
  const HWND progman = FindWindowW(L"Progman", nullptr);
  if (!SetForegroundWindow(progman) || GetForegroundWindow() != progman) {
    phase.failure = "cannot bring the stand-in desktop to the foreground";
    return;
  }
  if (!move_to_start(helper, phase)) return;
  std::uint32_t random = 1;
  for (int batch = 1; batch <= batches; ++batch) {
    if (!mouse_batch(helper, batch, random, phase)) {
      phase.failure = "after " + std::to_string(phase.passed) + " records: " + phase.failure;
      return;
    }
    if (phase.passed % sample_every_records != 0) continue;
    if (!take_sample(helper, phase)) return;
    progress(phase, phase.passed);
  }
  end_helper(helper, phase, host_event("detached", host.get()));
}

void print_table(const std::array<Phase, 3>& phases) {
  std::printf("%-17s %-17s %8s %7s  %-21s %-11s %-9s %s\n", "phase", "passed", "lines", "seconds",
              "private KiB", "handles", "threads", "result");
  for (const Phase& phase : phases) {
    const std::string passed =
        std::to_string(phase.passed) + "/" + std::to_string(phase.planned) + " " + phase.unit;
    std::string memory = "-";
    std::string handles = "-";
    std::string threads = "-";
    if (!phase.samples.empty()) {
      const Sample& first = phase.samples.front();
      const Sample& last = phase.samples.back();
      memory = std::to_string(first.private_bytes / 1024) + " -> " +
               std::to_string(last.private_bytes / 1024);
      handles = std::to_string(first.handles) + " -> " + std::to_string(last.handles);
      threads = std::to_string(first.threads) + " -> " + std::to_string(last.threads);
    }
    std::printf("%-17s %-17s %8lld %7.1f  %-21s %-11s %-9s %s\n", phase.name, passed.c_str(),
                phase.lines, phase.seconds, memory.c_str(), handles.c_str(), threads.c_str(),
                phase.failure.empty() ? "passed" : "FAILED");
  }
  for (const Phase& phase : phases) {
    if (!phase.failure.empty()) std::printf("%s: %s\n", phase.name, phase.failure.c_str());
  }
}

}  // namespace

void orvel::desktop::report_failure(const std::string& what) {
  std::fprintf(stderr, "soak: %s\n", what.c_str());
  ++desktop_failures;
}

int main() {
  std::array phases{
      Phase{.name = "taskbar restarts", .unit = "restarts", .planned = rounds},
      Phase{.name = "layers destroyed", .unit = "rounds", .planned = rounds},
      Phase{.name = "mouse input", .unit = "records", .planned = mouse_records},
  };
  constexpr std::array runs = {taskbar_restarts, layer_rebuilds, mouse_stream};
  for (std::size_t i = 0; i < phases.size(); ++i) {
    const ULONGLONG start = GetTickCount64();
    runs[i](phases[i]);
    phases[i].seconds = static_cast<double>(GetTickCount64() - start) / 1000;
    judge_growth(phases[i]);
    std::fprintf(stderr, "soak: %s: %s\n", phases[i].name,
                 phases[i].failure.empty() ? "passed" : phases[i].failure.c_str());
  }
  print_table(phases);
  for (const Phase& phase : phases) {
    if (!phase.failure.empty()) return 1;
  }
  return 0;
}
