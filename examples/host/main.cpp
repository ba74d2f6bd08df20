// An application that shows one of its windows as the live desktop wallpaper, through
// orvel-wallpaper-helper.exe:
//
//   orvel-host-example [--helper <path>] [--seconds <n>] [--print-lines] [--draw-through-parent]
//                      [--span] [--wait-shell <ms>]
//
// --helper               the helper's path; by default the one beside this program
// --seconds              give the window back and end after n seconds; otherwise run until Ctrl+C
// --print-lines          write each line the helper writes to standard output as it arrives
// --draw-through-parent  draw each frame on the desktop layer, in the window's place, instead of
//                        on the window: Wine 8 draws nothing of a window inside another program's
//                        window. On Windows the window draws as any window does: leave it off.
// --span                 one wallpaper over every monitor, instead of one over the monitor it is on
// --wait-shell           when started at log-on, before the shell: wait that many milliseconds for
//                        it
//
// It draws only while the helper says that its window can be seen and that the system is not
// saving energy (a battery or energy saver on). What it does is reported on standard error, last
// its CPU time per second while it drew and while it did not. The exit code is 0 when the helper
// gave the window back and ended with 0, 1 when it did not, and 2 for a wrong command line.
#include <windows.h>

#include <cwchar>
#include <exception>
#include <iostream>
#include <string_view>

#include "app.h"

namespace {

using host_example::Options;

constexpr UINT close_message = WM_APP + 3;
DWORD main_thread = 0;

BOOL WINAPI on_console_control(DWORD control) {
  if (control != CTRL_C_EVENT && control != CTRL_BREAK_EVENT) return FALSE;
  PostThreadMessageW(main_thread, close_message, 0, 0);
  return TRUE;
}

std::wstring helper_beside_us() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path.erase(path.find_last_of(L'\\') + 1) + L"orvel-wallpaper-helper.exe";
}

int usage() {
  std::cerr << "usage: orvel-host-example [--helper <path>] [--seconds <n>] [--print-lines]\n"
               "                          [--draw-through-parent] [--span] [--wait-shell <ms>]\n";
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options{.helper = helper_beside_us()};
  unsigned long seconds = 0;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view option = argv[i];
    const bool has_value = i + 1 < argc;
    if (option == L"--print-lines") {
      options.print_lines = true;
    } else if (option == L"--draw-through-parent") {
      options.draw_through_parent = true;
    } else if (option == L"--span") {
      options.span = true;
    } else if (option == L"--helper" && has_value) {
      options.helper = argv[++i];
    } else if (option == L"--wait-shell" && has_value) {
      wchar_t* end = nullptr;
      options.wait_shell_ms = std::wcstoul(argv[++i], &end, 10);
      if (*end) return usage();
    } else if (option == L"--seconds" && has_value) {
      wchar_t* end = nullptr;
      seconds = std::wcstoul(argv[++i], &end, 10);
      if (*end || seconds == 0) return usage();
    } else {
      return usage();
    }
  }

  // The helper's mouse events are in physical pixels; so must our window's coordinates be.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  main_thread = GetCurrentThreadId();
  SetConsoleCtrlHandler(on_console_control, TRUE);
  try {
    host_example::App app(options);
    if (seconds) SetTimer(nullptr, 0, static_cast<UINT>(seconds * 1000), nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      // Messages to the thread rather than to a window are ours to take, not to dispatch.
      if (!message.hwnd) {
        if (message.message == close_message || message.message == WM_TIMER) {
          app.close();
        } else {
          app.take(message);
        }
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
  } catch (const std::exception& error) {
    std::cerr << "orvel-host-example: " << error.what() << '\n';
    return 1;
  }
}
