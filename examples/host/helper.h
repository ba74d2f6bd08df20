#pragma once

#include <windows.h>

#include <string>
#include <thread>

namespace host_example {

// Thread messages that a helper's reader sends to the thread that started it.
// lParam: an Event allocated with new; the receiver deletes it.
inline constexpr UINT helper_event_message = WM_APP + 1;
// The helper's output has ended: it is exiting.
inline constexpr UINT helper_ended_message = WM_APP + 2;

// One running orvel-wallpaper-helper.exe that attaches a host window to the desktop. Its event
// lines are read on a thread of its own and handed, typed, to the starting thread as messages;
// with `print_lines` each is also written to standard output as it arrives.
class Helper {
 public:
  // Throws std::system_error when the program cannot be started. With `span` the window covers
  // every monitor, otherwise the one it is on; a shell that is not there yet is waited for
  // `wait_shell_ms`.
  Helper(const std::wstring& program, HWND host, bool print_lines, bool span,
         unsigned long wait_shell_ms);
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;
  // Closes its standard input, which ends it, and waits for its output to end. The host window
  // must be gone by then: giving it back needs the host window's thread to answer.
  ~Helper();

  DWORD process_id() const { return process_id_; }
  // Asks it to give the host window back and end; helper_ended_message follows.
  void request_detach();
  // Its exit code, once helper_ended_message has come.
  DWORD exit_code();

 private:
  void read_events(DWORD receiver, bool print_lines);

  HANDLE process_ = nullptr;
  DWORD process_id_ = 0;
  // Kept open for as long as it should run: it ends when its standard input does.
  HANDLE input_ = nullptr;
  HANDLE output_ = nullptr;
  std::thread reader_;
};

}  // namespace host_example
