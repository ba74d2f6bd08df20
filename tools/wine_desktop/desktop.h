// The desktop under Wine that the helper is played against, by the end-to-end tests, the start-up
// benchmark and the demo: the main process (its windows, and the programs it starts with pipes for
// their standard streams) and the shell.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace orvel::desktop {

// What went wrong on the desktop's side. Each program that uses the desktop defines it: the tests
// make each a test failure, the others print them.
void report_failure(const std::string& what);

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// A file in the directory of this program.
inline std::wstring beside_this_program(std::wstring_view file) {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path.erase(path.find_last_of(L'\\') + 1).append(file);
}

// How a program is started: without a reader of its standard output (the read end closed before
// it starts), with its standard input a pipe of messages (each read whole or in parts), or in a
// console of its own, which Ctrl+C sent to that console reaches.
struct Started {
  bool stdout_reader = true;
  bool message_input = false;
  bool own_console = false;
};

// A program beside this one, with pipes for its three standard streams. Every wait here serves
// this thread's windows, since the program may ask things of them.
class Process {
 public:
  Process(std::wstring_view program, std::wstring_view arguments, Started how = {})
      : command_line_(L"\"" + beside_this_program(program) + L"\" " + std::wstring(arguments)) {
    const Handle in = how.message_input ? message_pipe(in_) : pipe(in_, true);
    const Handle out = pipe(out_, false), err = pipe(err_, false);
    if (!how.stdout_reader) out_.reset();
    STARTUPINFOW startup{.cb = sizeof(STARTUPINFOW),
                         .dwFlags = STARTF_USESTDHANDLES,
                         .hStdInput = in.get(),
                         .hStdOutput = out.get(),
                         .hStdError = err.get()};
    PROCESS_INFORMATION started{};
    const DWORD flags = how.own_console ? CREATE_NEW_CONSOLE : CREATE_NO_WINDOW;
    if (!CreateProcessW(nullptr, command_line_.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        nullptr, &startup, &started))
      failed("cannot start");
    CloseHandle(started.hThread);
    process_.reset(started.hProcess);
  }
  Process(Process&&) = default;
  // Closes its standard input and waits for it to end, stopping it if it does not.
  ~Process() {
    close_input();
    if (!waited_) wait();
  }

  DWORD id() const { return GetProcessId(process_.get()); }
  HANDLE handle() const { return process_.get(); }
  void write(std::string_view text) {
    DWORD written = 0;
    if (!WriteFile(in_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
      failed("cannot write to");
  }
  void close_input() { in_.reset(); }
  // The next line of its standard output, without the line feed; empty if none came in time.
  std::optional<std::string> read_line(DWORD timeout_ms = 15'000) {
    std::size_t end = std::string::npos;
    serve_until(timeout_ms, [&] {
      // Sampled first, so that everything written before the end is taken below.
      const bool ended = WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
      end = take(out_, pending_).find('\n');
      return ended || end != std::string::npos;
    });
    if (end == std::string::npos) return std::nullopt;
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    return line;
  }
  // Its exit code; empty if it had to be stopped. A one-shot command takes well under a second; a
  // cold Wine can take a few.
  std::optional<DWORD> wait() {
    waited_ = true;
    if (!process_) return std::nullopt;
    const HANDLE process = process_.get();
    DWORD code = 0;
    if (serve_until(30'000, [&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }) &&
        GetExitCodeProcess(process, &code))
      return code;
    failed("stopped, as it did not end:");
    TerminateProcess(process, 1);
    return std::nullopt;
  }
  // The read end of its standard output, for a reader of the caller's own: read_line and
  // unread_output then read nothing.
  Handle take_output() { return std::move(out_); }
  // What read_line has not taken, and its standard error; complete once it has ended.
  std::string unread_output() { return std::exchange(take(out_, pending_), {}); }
  std::string errors() { return std::exchange(take(err_, errors_), {}); }

 private:
  // Our end goes to `ours`, the child's is returned. Only the child's is inheritable, so that no
  // program started later holds this one's pipes. Larger than anything the programs write.
  Handle pipe(Handle& ours, bool child_reads) {
    SECURITY_ATTRIBUTES inheritable{.nLength = sizeof inheritable, .bInheritHandle = TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inheritable, 1 << 16)) failed("no pipe for");
    ours.reset(child_reads ? write : read);
    SetHandleInformation(ours.get(), HANDLE_FLAG_INHERIT, 0);
    return Handle(child_reads ? read : write);
  }
  // A pipe of messages that the child reads: ours writes.
  Handle message_pipe(Handle& ours) {
    static int serial = 0;
    const std::wstring name = L"\\\\.\\pipe\\orvel-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(++serial);
    ours.reset(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND,
                                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 1 << 16, 1 << 16, 0,
                                nullptr));
    SECURITY_ATTRIBUTES inheritable{.nLength = sizeof inheritable, .bInheritHandle = TRUE};
    Handle theirs(CreateFileW(name.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, 0, &inheritable,
                              OPEN_EXISTING, 0, nullptr));
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (ours.get() == INVALID_HANDLE_VALUE || theirs.get() == INVALID_HANDLE_VALUE ||
        !SetNamedPipeHandleState(theirs.get(), &mode, nullptr, nullptr))
      failed("no message pipe for");
    return theirs;
  }
  // Appends what the pipe holds now, without waiting for more.
  static std::string& take(const Handle& pipe, std::string& text) {
    DWORD available = 0, read = 0;
    if (!pipe || !PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &available, nullptr)) return text;
    const std::size_t before = text.size();
    text.resize(before + available);
    if (available && !ReadFile(pipe.get(), &text[before], available, &read, nullptr)) read = 0;
    text.resize(before + read);
    return text;
  }
  // Serves this thread's windows until `done` holds or the time is up; whether it held. Messages
  // are served once more after it holds: requests made without waiting (SWP_ASYNCWINDOWPOS).
  template <class Done>
  bool serve_until(DWORD timeout_ms, const Done& done) {
    for (const ULONGLONG end = GetTickCount64() + timeout_ms;;) {
      const bool finished = done();
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      if (finished || GetTickCount64() >= end) return finished;
      // Output wakes no wait, so a wait for a line looks again this often.
      const HANDLE process = process_.get();
      MsgWaitForMultipleObjectsEx(1, &process, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
  }
  void failed(const char* what) {
    const DWORD error = GetLastError();
    const std::string ascii(command_line_.begin(), command_line_.end());  // its paths are ASCII
    report_failure(std::string(what) + " " + ascii + " (" + std::to_string(error) + ")");
  }

  std::wstring command_line_;
  Handle process_, in_, out_, err_;
  std::string pending_, errors_;
  bool waited_ = false;
};

inline Process start_helper(std::wstring_view arguments, Started how = {}) {
  return Process(L"orvel-wallpaper-helper.exe", arguments, how);
}

// A window handle as the command line takes it and the events write it: signed decimal.
inline std::string handle_text(HWND window) {
  return std::to_string(reinterpret_cast<std::intptr_t>(window));
}
inline std::wstring widen(std::string_view ascii) {
  return {ascii.begin(), ascii.end()};
}

using Window = std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&DestroyWindow)>;
// `rect` in the parent's client coordinates.
inline Window create_window(DWORD style, RECT rect, HWND parent = nullptr) {
  static const WNDCLASSEXW plain{
      .cbSize = sizeof plain, .lpfnWndProc = DefWindowProcW, .lpszClassName = L"OrvelPlain"};
  static const ATOM registered = RegisterClassExW(&plain);
  const HWND window = CreateWindowExW(0, MAKEINTATOM(registered), L"", style, rect.left, rect.top,
                                      rect.right - rect.left, rect.bottom - rect.top, parent,
                                      nullptr, nullptr, nullptr);
  if (!window) report_failure("CreateWindowExW failed: " + std::to_string(GetLastError()));
  return Window(window, &DestroyWindow);
}

// Raises a WinEvent that Windows would and Wine does not. Wine drops one raised by a thread that
// has not taken a message since the watcher hooked it, so the thread takes one first.
inline void raise_win_event(DWORD event, HWND window) {
  PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
  MSG message;
  PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE);
  NotifyWinEvent(event, window, OBJID_WINDOW, CHILDID_SELF);
}

// Absolute coordinates are in 65536ths of the primary screen; rounded up, they come back as the
// same pixel whether the system rounds them down or to the nearest.
inline INPUT mouse_input(DWORD flags, POINT at = {}, int data = 0) {
  const auto normalized = [](LONG pixel, int extent) {
    return static_cast<LONG>((pixel * 65536LL + extent - 1) / extent);
  };
  return {.type = INPUT_MOUSE,
          .mi = {.dx = normalized(at.x, GetSystemMetrics(SM_CXSCREEN)),
                 .dy = normalized(at.y, GetSystemMetrics(SM_CYSCREEN)),
                 .mouseData = static_cast<DWORD>(data),
                 .dwFlags = flags}};
}

// Makes Wine see `count` monitors of 1920x1080, 1 or 2 side by side from the origin, under
// `scripts/wine-run --two-monitors`: its fake Xinerama reports as many heads as its file says.
// Wine asks Xinerama once in each process, when it first uses the display, and every process
// sees what the last reset of the display settings found: so a new process resets them. The reset
// broadcasts WM_DISPLAYCHANGE and waits for every top-level window to take it; once it is done,
// every process sees the new monitors. A reset by a process started before the change would bring
// the old ones back. Whether this process sees them now.
inline bool set_monitor_count(int count) {
  wchar_t unix_path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"ORVEL_MONITOR_COUNT_FILE", unix_path, MAX_PATH);
  if (count < 1 || count > 2 || length == 0 || length >= MAX_PATH) {
    report_failure("cannot make " + std::to_string(count) +
                   " monitors: 1 or 2, under scripts/wine-run --two-monitors");
    return false;
  }
  // Wine shows the Unix root as drive Z:.
  const HANDLE file = CreateFileW((L"Z:" + std::wstring(unix_path, length)).c_str(), GENERIC_WRITE,
                                  0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const char digit = static_cast<char>('0' + count);
  DWORD written = 0;
  const bool saved = file != INVALID_HANDLE_VALUE && WriteFile(file, &digit, 1, &written, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!saved) {
    report_failure("cannot write the monitor count: " + std::to_string(GetLastError()));
    return false;
  }
  if (Process(L"orvel_stand_in_shell.exe", L"reset-display").wait() != 0u)
    report_failure("the display settings were not reset");
  const bool seen = GetSystemMetrics(SM_CMONITORS) == count &&
                    GetSystemMetrics(SM_CXVIRTUALSCREEN) == 1920 * count;
  if (!seen) report_failure(std::to_string(count) + " monitors were not seen");
  return seen;
}

// "classic": a top-level WorkerW after the one that holds the icons; "raised": inside Progman.
enum class Layout { classic, raised };

struct ShellOptions {
  bool layer_on_request = false;  // the layer comes once Progman is asked for it
  bool mirrored = false;          // the layer is laid out right to left
  bool layer_over_icons = false;  // the layer lies in front of the icons, as it must not
  bool painted = false;           // the windows draw what a person would see
};

// The stand-in shell in a process of its own, its desktop over every monitor. The layer's client
// area starts away from the screen origin, so that screen and client coordinates differ.
class Shell {
 public:
  explicit Shell(Layout layout, ShellOptions options = {})
      : look_(options.painted ? L" paint" : L""),
        desktop_(L"orvel_stand_in_shell.exe",
                 std::wstring(layout == Layout::classic ? L"desktop classic" : L"desktop raised") +
                     (options.layer_on_request ? L" on-request" : L" present") +
                     (options.mirrored ? L" mirrored" : L"") +
                     (options.layer_over_icons ? L" over-icons" : L"") + look_),
        layer_(answer(desktop_)) {}

  HWND layer() const { return layer_; }
  // Looks again, since the helper may have had the layer made.
  void update() { obey("windows"); }
  // A new taskbar in a new process, while the layer lives on.
  void restart_taskbar() {
    obey("remove-taskbar");
    taskbar_.emplace(L"orvel_stand_in_shell.exe", L"taskbar" + look_);
    answer(*taskbar_);
  }
  // The host window goes with it.
  void destroy_layer() { obey("destroy-layer"); }
  // A window of the shell's own above the layer's other children.
  void cover_layer() { obey("cover-layer"); }
  // Moves the layer, and the windows in it with it, by `dx`, `dy` pixels.
  void move_layer(int dx, int dy) {
    obey("move-layer " + std::to_string(dx) + ' ' + std::to_string(dy));
  }
  // Hides or shows the layer, and what it holds.
  void hide_layer() { obey("hide-layer"); }
  void show_layer() { obey("show-layer"); }
  // The shell's windows take no message for `ms`, from the moment it reads this; `answered` waits
  // for them to take messages again.
  void hang(int ms) { desktop_.write("hang " + std::to_string(ms) + "\n"); }
  void answered() { layer_ = answer(desktop_); }
  // A hidden top-level window of the shell's process: a host window of another process than ours.
  HWND make_host() {
    desktop_.write("host\n");
    return answer(desktop_);
  }

 private:
  // The stand-in answers its start and each command with its layer's handle.
  static HWND answer(Process& shell) {
    const std::optional<std::string> line = shell.read_line();
    if (!line) report_failure("the stand-in shell did not answer");
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(line ? std::stoll(*line) : 0));
  }
  void obey(std::string_view command) {
    desktop_.write(std::string(command) + "\n");
    layer_ = answer(desktop_);
  }

  std::wstring look_;
  Process desktop_;
  std::optional<Process> taskbar_;
  HWND layer_ = nullptr;
};

}  // namespace orvel::desktop
