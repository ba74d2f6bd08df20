#include "e2e/helper_process.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace orvel::e2e {
namespace {

// A one-shot command takes well under a second; a cold Wine can take a few.
constexpr ULONGLONG run_deadline_ms = 30'000;
// Larger than anything the helper writes, so it never waits for us to read.
constexpr DWORD pipe_buffer_bytes = 1 << 16;

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&&) = delete;
  ~Handle() { close(); }

  HANDLE get() const { return handle_; }
  void close() {
    if (handle_) CloseHandle(std::exchange(handle_, nullptr));
  }

 private:
  HANDLE handle_ = nullptr;
};

struct Pipe {
  Handle read;
  Handle write;
};

// Only the helper's end is inheritable: no helper started later may hold this one's pipes.
Pipe make_pipe(bool helper_reads) {
  SECURITY_ATTRIBUTES inheritable{.nLength = sizeof(SECURITY_ATTRIBUTES), .bInheritHandle = TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inheritable, pipe_buffer_bytes)) {
    ADD_FAILURE() << "CreatePipe failed: " << GetLastError();
  }
  Pipe pipe{.read = Handle(read), .write = Handle(write)};
  SetHandleInformation(helper_reads ? write : read, HANDLE_FLAG_INHERIT, 0);
  return pipe;
}

void pump_messages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// The helper's calls on our windows (re-parenting, styles, positions) are carried out by the
// thread that owns them, so this thread keeps serving them while it waits.
bool wait_serving_windows(HANDLE process) {
  const ULONGLONG deadline = GetTickCount64() + run_deadline_ms;
  for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    const DWORD woke = MsgWaitForMultipleObjectsEx(1, &process, static_cast<DWORD>(deadline - now),
                                                   QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke != WAIT_OBJECT_0 + 1) return false;
    pump_messages();
  }
  return false;
}

// Everything the pipe holds; the writer has ended, so nothing more will come.
std::string read_all_written(HANDLE pipe) {
  std::string text;
  DWORD available = 0;
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    const std::size_t before = text.size();
    text.resize(before + available);
    DWORD read = 0;
    if (!ReadFile(pipe, text.data() + before, available, &read, nullptr)) read = 0;
    text.resize(before + read);
    if (read == 0) break;
  }
  return text;
}

std::wstring helper_path() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  path.erase(path.find_last_of(L'\\') + 1);
  return path + L"orvel-wallpaper-helper.exe";
}

}  // namespace

std::wstring quoted_helper_path() {
  return L"\"" + helper_path() + L"\"";
}

HelperRun run_helper(const std::wstring& command_line, StdoutReader reader) {
  Pipe in = make_pipe(true);
  Pipe out = make_pipe(false);
  Pipe err = make_pipe(false);
  if (reader == StdoutReader::gone) out.read.close();

  STARTUPINFOW startup{.cb = sizeof(STARTUPINFOW),
                       .dwFlags = STARTF_USESTDHANDLES,
                       .hStdInput = in.read.get(),
                       .hStdOutput = out.write.get(),
                       .hStdError = err.write.get()};
  PROCESS_INFORMATION started{};
  std::wstring writable_line = command_line;
  const std::wstring program = helper_path();
  if (!CreateProcessW(program.c_str(), writable_line.data(), nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
    ADD_FAILURE() << "CreateProcessW failed: " << GetLastError() << " for " << command_line;
    return {};
  }
  CloseHandle(started.hThread);
  const Handle process(started.hProcess);
  in.read.close();
  out.write.close();
  err.write.close();

  HelperRun run;
  if (wait_serving_windows(process.get())) {
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    run.exit_code = code;
  } else {
    ADD_FAILURE() << "the helper did not end within " << run_deadline_ms / 1000
                  << " s: " << command_line;
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), static_cast<DWORD>(run_deadline_ms));
  }
  // Requests the helper posted to our windows without waiting for them (SWP_ASYNCWINDOWPOS).
  pump_messages();
  if (out.read.get()) run.out = read_all_written(out.read.get());
  run.err = read_all_written(err.read.get());
  return run;
}

std::string handle_text(HWND window) {
  return std::to_string(reinterpret_cast<std::intptr_t>(window));
}

std::wstring widen(std::string_view ascii) {
  return {ascii.begin(), ascii.end()};
}

}  // namespace orvel::e2e
