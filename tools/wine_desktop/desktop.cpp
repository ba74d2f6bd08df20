#include "wine_desktop/desktop.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>

namespace orvel::desktop {
namespace {

// A one-shot command takes well under a second; a cold Wine can take a few.
constexpr ULONGLONG run_deadline_ms = 30'000;

// A command line in failure messages, with anything beyond ASCII as "?".
std::string narrow(std::wstring_view text) {
  std::string ascii;
  for (const wchar_t c : text) ascii += c < 0x80 ? static_cast<char>(c) : '?';
  return ascii;
}

// A pipe whose end for us goes to `ours` and whose other end, the child's, is returned. Only the
// child's end is inheritable: no program started later may hold this one's pipes.
Handle make_pipe(Handle& ours, bool child_reads) {
  SECURITY_ATTRIBUTES inheritable{.nLength = sizeof(SECURITY_ATTRIBUTES), .bInheritHandle = TRUE};
  HANDLE read = nullptr, write = nullptr;
  // Larger than anything the programs write, so they never wait for us to read.
  if (!CreatePipe(&read, &write, &inheritable, 1 << 16))
    report_failure("CreatePipe failed: " + std::to_string(GetLastError()));
  ours.reset(child_reads ? write : read);
  SetHandleInformation(ours.get(), HANDLE_FLAG_INHERIT, 0);
  return Handle(child_reads ? read : write);
}

// What the pipe holds now, without waiting for more.
void take_available(HANDLE pipe, std::string& text) {
  DWORD available = 0, read = 0;
  if (!pipe || !PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return;
  const std::size_t before = text.size();
  text.resize(before + available);
  if (available && !ReadFile(pipe, text.data() + before, available, &read, nullptr)) read = 0;
  text.resize(before + read);
}

// Serves this thread's windows until `done` holds, sampled before each round and whenever `process`
// ends, or `deadline` passes; whether it held.
bool serve_until(HANDLE process, ULONGLONG deadline, const std::function<bool()>& done) {
  for (;;) {
    const bool finished = done();
    // After the end too: requests made of our windows without waiting (SWP_ASYNCWINDOWPOS).
    pump_messages();
    if (finished) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    // Nothing wakes this wait when output arrives, so waits for a line look again this often.
    MsgWaitForMultipleObjectsEx(1, &process,
                                static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10)),
                                QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

// The stand-in's line: its layer's handle.
HWND reported_layer(Process& shell) {
  const std::optional<std::string> line = shell.read_line();
  if (!line) report_failure("the stand-in shell did not report its layer");
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(line ? std::stoll(*line) : 0));
}

}  // namespace

Process::Process(std::wstring_view program, std::wstring_view arguments, StdoutReader reader)
    : command_line_(L"\"" + beside_this_program(program) + L"\" " + std::wstring(arguments)) {
  const Handle in = make_pipe(in_, true);
  const Handle out = make_pipe(out_, false);
  const Handle err = make_pipe(err_, false);
  if (reader == StdoutReader::gone) out_.reset();
  STARTUPINFOW startup{.cb = sizeof(STARTUPINFOW),
                       .dwFlags = STARTF_USESTDHANDLES,
                       .hStdInput = in.get(),
                       .hStdOutput = out.get(),
                       .hStdError = err.get()};
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, command_line_.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &started)) {
    const DWORD error = GetLastError();
    report_failure("CreateProcessW failed: " + std::to_string(error) + " for " +
                   narrow(command_line_));
    return;
  }
  CloseHandle(started.hThread);
  process_.reset(started.hProcess);
  id_ = started.dwProcessId;
}

Process::~Process() {
  if (!process_ || waited_) return;
  close_input();
  wait();
}

void Process::write(std::string_view text) {
  DWORD written = 0;
  if (!WriteFile(in_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
    const DWORD error = GetLastError();
    report_failure("cannot write to " + narrow(command_line_) + ": " + std::to_string(error));
  }
}

std::optional<std::string> Process::read_line(DWORD timeout_ms) {
  std::size_t end = std::string::npos;
  serve_until(process_.get(), GetTickCount64() + timeout_ms, [&] {
    // Sampled first, so that everything written before the end is taken below.
    const bool ended = WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
    take_available(out_.get(), pending_);
    end = pending_.find('\n');
    return ended || end != std::string::npos;
  });
  if (end == std::string::npos) return std::nullopt;
  std::string line = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  return line;
}

std::optional<DWORD> Process::wait() {
  if (!process_) return std::nullopt;
  waited_ = true;
  const HANDLE process = process_.get();
  DWORD code = 0;
  if (serve_until(process, GetTickCount64() + run_deadline_ms,
                  [&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }) &&
      GetExitCodeProcess(process, &code)) {
    return code;
  }
  report_failure("did not end within " + std::to_string(run_deadline_ms / 1000) +
                 " s: " + narrow(command_line_));
  TerminateProcess(process, 1);
  WaitForSingleObject(process, static_cast<DWORD>(run_deadline_ms));
  return std::nullopt;
}

std::string Process::unread_output() {
  take_available(out_.get(), pending_);
  return std::exchange(pending_, {});
}

std::string Process::errors() {
  std::string text;
  take_available(err_.get(), text);
  return text;
}

std::wstring beside_this_program(std::wstring_view file) {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  path.erase(path.find_last_of(L'\\') + 1);
  return path.append(file);
}

std::string handle_text(HWND window) {
  return std::to_string(reinterpret_cast<std::intptr_t>(window));
}

std::wstring widen(std::string_view ascii) {
  return {ascii.begin(), ascii.end()};
}

void pump_messages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

RECT window_rect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

RECT monitor_nearest(HWND window) {
  MONITORINFO info{.cbSize = sizeof(MONITORINFO)};
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
  return info.rcMonitor;
}

INPUT mouse_input(DWORD flags, POINT at, int data) {
  // Absolute coordinates are in 65536ths of the primary screen; rounded up, they come back as the
  // same pixel whether the system rounds them down or to the nearest.
  const auto normalized = [](LONG pixel, int extent) {
    return static_cast<LONG>((pixel * 65536LL + extent - 1) / extent);
  };
  return {.type = INPUT_MOUSE,
          .mi = {.dx = normalized(at.x, GetSystemMetrics(SM_CXSCREEN)),
                 .dy = normalized(at.y, GetSystemMetrics(SM_CYSCREEN)),
                 .mouseData = static_cast<DWORD>(data),
                 .dwFlags = flags}};
}

Window create_window(DWORD style, RECT rect, HWND parent) {
  static const WNDCLASSEXW plain{.cbSize = sizeof(WNDCLASSEXW),
                                 .lpfnWndProc = DefWindowProcW,
                                 .hInstance = GetModuleHandleW(nullptr),
                                 .lpszClassName = L"OrvelE2ePlain"};
  static const ATOM registered = RegisterClassExW(&plain);
  const HWND window = CreateWindowExW(0, MAKEINTATOM(registered), L"", style, rect.left, rect.top,
                                      rect.right - rect.left, rect.bottom - rect.top, parent,
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window) report_failure("CreateWindowExW failed: " + std::to_string(GetLastError()));
  return Window(window, &DestroyWindow);
}

Shell::Shell(Layout layout, ShellOptions options)
    : look_(options.painted ? L" paint" : L""),
      desktop_(L"orvel_stand_in_shell.exe",
               std::wstring(layout == Layout::classic ? L"desktop classic" : L"desktop raised") +
                   (options.layer_on_request ? L" on-request" : L" present") + look_),
      layer_(reported_layer(desktop_)) {}

void Shell::restart_taskbar() {
  obey("remove-taskbar");
  taskbar_.emplace(L"orvel_stand_in_shell.exe", L"taskbar" + look_);
  reported_layer(*taskbar_);
}

void Shell::obey(std::string_view command) {
  desktop_.write(std::string(command) + "\n");
  layer_ = reported_layer(desktop_);
}

}  // namespace orvel::desktop
