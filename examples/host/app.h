#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "cpu_meter.h"
#include "events.h"
#include "helper.h"
#include "host_window.h"

namespace host_example {

struct Options {
  std::wstring helper;  // path of orvel-wallpaper-helper.exe
  bool print_lines = false;
  bool draw_through_parent = false;  // see HostWindow
  bool span = false;                 // the window covers every monitor
  unsigned long wait_shell_ms = 0;   // how long a helper waits for a shell not there yet
};

// The application's side of the wallpaper: one host window and the helper that attaches it. When
// the host window goes with the desktop layer, both are built again.
class App {
 public:
  // Throws when the first host window or helper cannot be made.
  explicit App(Options options);

  // Takes a message that a helper's reader sent to this thread.
  void take(const MSG& message);
  // Asks the helper to give the window back; once it has ended, the message loop gets WM_QUIT with
  // exit code 0 if the window came back and the helper ended with 0, and 1 otherwise.
  void close();

 private:
  enum class State {
    running,
    replacing,  // the host window is gone; a new one comes once the old helper has ended
    closing,
  };

  void start();
  void on_event(const Event& event);
  void on_helper_ended();
  // Draws while its window can be seen and the system is not asked to save energy.
  void draw_if_worth_it();

  Options options_;
  State state_ = State::running;
  bool detached_ = false;
  bool visible_ = true;
  bool saving_ = false;
  CpuMeter cpu_;
  // Destroyed after the host window: a helper still holding the window waits for this thread to
  // answer it, so the window must be gone before we wait for the helper.
  std::unique_ptr<Helper> helper_;
  std::unique_ptr<HostWindow> host_;
};

}  // namespace host_example
