#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orvel::e2e {

// What the main process sees of one run of the helper.
struct HelperRun {
  std::optional<DWORD> exit_code;  // empty when the helper had to be stopped
  std::string out;
  std::string err;
};

enum class StdoutReader { reading, gone };

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// A program beside this test program, started with exactly `command_line` (program path included)
// and pipes for its three standard streams. Whatever it asks of this thread's windows is carried
// out by this thread, so every wait here keeps serving them. With `gone`, the read end of its
// standard output is closed before it starts.
class Process {
 public:
  Process(const std::wstring& program, const std::wstring& command_line,
          StdoutReader reader = StdoutReader::reading);
  Process(Process&&) = default;
  Process& operator=(Process&&) = delete;
  // Closes its standard input and waits for it to end, stopping it if it does not.
  ~Process();

  DWORD id() const { return id_; }
  // For looking at it from outside while it runs.
  HANDLE handle() const { return process_.get(); }
  void write(std::string_view text);
  void close_input() { in_.reset(); }
  // The next line of its standard output, without the line feed; empty if none came in time.
  std::optional<std::string> read_line(DWORD timeout_ms = 15'000);
  // Its exit code once it has ended, empty if it had to be stopped. Afterwards, whatever it asked
  // of this thread's windows, asynchronous requests included, has been done.
  std::optional<DWORD> wait();
  // What it wrote that read_line has not taken, and its standard error; complete once it has ended.
  std::string unread_output();
  std::string errors();

 private:
  std::wstring command_line_;
  Handle process_;
  DWORD id_ = 0;
  Handle in_;
  Handle out_;
  Handle err_;
  std::string pending_;
  bool waited_ = false;
};

// A file in the directory of this test program.
std::wstring beside_tests(std::wstring_view file);

// Starts the helper with the arguments after its path.
Process start_helper(std::wstring_view arguments);
// Runs the helper to its end, with its standard input open throughout; `command_line` includes the
// program path.
HelperRun run_helper(const std::wstring& command_line, StdoutReader reader = StdoutReader::reading);
// The helper beside this test program, quoted as the head of a command line.
std::wstring quoted_helper_path();

// A window handle as the command line takes it and the events write it: signed decimal.
std::string handle_text(HWND window);
std::wstring widen(std::string_view ascii);
void pump_messages();

}  // namespace orvel::e2e
