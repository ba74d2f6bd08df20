// The desktop under Wine that the helper is played against, by the end-to-end tests, the soak, the
// start-up benchmark and the demo: the main process (its windows, and the programs it starts with
// pipes for their standard streams) and the shell.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace orvel::desktop {

// What went wrong on the desktop's side: a program that could not start or did not end, a pipe or a
// window that could not be made, a shell that did not answer. Each program that uses the desktop
// defines it: the tests make each a test failure, the others print and count them.
void report_failure(const std::string& what);

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

enum class StdoutReader { reading, gone };

// A program beside this one, started with `arguments` after its path and pipes for its
// three standard streams. Whatever it asks of this thread's windows is carried out by this thread,
// so every wait here keeps serving them. With `gone`, the read end of its standard output is closed
// before it starts.
class Process {
 public:
  Process(std::wstring_view program, std::wstring_view arguments,
          StdoutReader reader = StdoutReader::reading);
  Process(Process&&) = default;
  // Closes its standard input and waits for it to end, stopping it if it does not.
  ~Process();

  DWORD id() const { return id_; }
  // For looking at it from outside while it runs.
  HANDLE handle() const { return process_.get(); }
  void write(std::string_view text);
  void close_input() { in_.reset(); }
  // The next line of its standard output, without the line feed; empty if none came in time.
  std::optional<std::string> read_line(DWORD timeout_ms = 15'000);
  // Its exit code once it has ended, its standard input open until then; empty if it had to be
  // stopped. Afterwards, whatever it asked of this thread's windows, asynchronous requests
  // included, has been done.
  std::optional<DWORD> wait();
  // What it wrote that read_line has not taken, and its standard error; complete once it has ended.
  std::string unread_output();
  std::string errors();

 private:
  std::wstring command_line_;
  Handle process_, in_, out_, err_;
  DWORD id_ = 0;
  std::string pending_;
  bool waited_ = false;
};

// A file in the directory of this program.
std::wstring beside_this_program(std::wstring_view file);
// The helper, started with `arguments`.
inline Process start_helper(std::wstring_view arguments,
                            StdoutReader reader = StdoutReader::reading) {
  return Process(L"orvel-wallpaper-helper.exe", arguments, reader);
}

// A window handle as the command line takes it and the events write it: signed decimal.
std::string handle_text(HWND window);
std::wstring widen(std::string_view ascii);
void pump_messages();

RECT window_rect(HWND window);
RECT monitor_nearest(HWND window);

// A window of ours, destroyed with its owner.
using Window = std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&DestroyWindow)>;

// `rect` in the parent's client coordinates.
Window create_window(DWORD style, RECT rect, HWND parent = nullptr);

// Mouse input for SendInput: `flags` (a move, buttons, wheels) with `data`; with
// MOUSEEVENTF_ABSOLUTE, `at` is where the cursor goes.
INPUT mouse_input(DWORD flags, POINT at = {}, int data = 0);

// The two shapes in which the shell keeps its desktop layer: "classic", a top-level WorkerW after
// the one that holds the icons, and "raised", a WorkerW inside Progman, beside the icons.
enum class Layout { classic, raised };

struct ShellOptions {
  bool layer_on_request = false;  // the layer comes once Progman is asked for it
  bool painted = false;           // the windows draw what a person would see
};

// The shell, played by a program of its own in its own process, its desktop over every monitor
// and its taskbar on the primary one. The layer's client area starts away from the screen origin,
// so that screen and client coordinates differ.
class Shell {
 public:
  explicit Shell(Layout layout, ShellOptions options = {});

  HWND layer() const { return layer_; }
  // Looks again, since the helper may have had the layer made.
  void update() { obey("windows"); }
  // The taskbar goes away and a new one comes up in a new process, while the layer lives on.
  void restart_taskbar();
  // Destroys the layer, and the host window in it with it.
  void destroy_layer() { obey("destroy-layer"); }
  // Puts a window of the shell's own above the layer's other children.
  void cover_layer() { obey("cover-layer"); }

 private:
  void obey(std::string_view command);

  std::wstring look_;  // what the stand-in is told after its mode
  Process desktop_;
  std::optional<Process> taskbar_;
  HWND layer_ = nullptr;
};

}  // namespace orvel::desktop
