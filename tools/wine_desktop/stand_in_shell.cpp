// A stand-in for the Windows shell, in a process of its own as the real one is, so that a restart
// changes the shell's process id:
//
//   orvel_stand_in_shell.exe desktop classic|raised present|on-request [mirrored] [over-icons]
//                            [paint]
//   orvel_stand_in_shell.exe taskbar [paint]
//   orvel_stand_in_shell.exe
//   orvel_stand_in_shell.exe reset-display
//   orvel_stand_in_shell.exe ctrl-c <process id>
//
// "classic" puts the desktop layer in a top-level WorkerW right after the one that holds the icons,
// "raised" in a WorkerW inside Progman. With "on-request" the layer appears only when Progman is
// sent 0x052C with wParam 13 and lParam 1. "mirrored" lays the layer out right to left
// (WS_EX_LAYOUTRTL), as a shell in Arabic or Hebrew does. The desktop covers every monitor, the
// taskbar the bottom of the primary one; both broadcast "TaskbarCreated" once ready, as a shell
// does. "taskbar" builds only a taskbar, as a restarted shell does. "paint" draws the demo's look,
// and the layer then covers the desktop. "reset-display" only resets the display settings, and
// exits with 0 if that succeeded: under Wine, a new process must do so for every process to see
// monitors that have come or gone. "ctrl-c" presses Ctrl+C in the console of that process, as a
// user at it would, and exits with 0 if that succeeded: Wine lets Ctrl+C, not Ctrl+Break, through
// to another process's console, and only from a process that reads that console.
//
// "over-icons" keeps the layer in front of the window that holds the icons, as a broken shell
// would, so that the wallpaper covers them. With no arguments it builds a taskbar and broadcasts
// "TaskbarCreated" as "taskbar" does, for a program that restarts the shell as one restarts
// explorer.exe, by ending the taskbar's process and starting its program again: it reads no
// commands, writes nothing, and ends once the Progman that was there when it started has gone.
// Where there is no Progman, since that program ended the desktop's process, it first builds the
// desktop as "desktop classic present paint" does, and runs until it is ended.
//
// Once ready, and after each command, it writes its layer's handle in signed decimal (0 for none)
// on a line. Commands, one a line on standard input; anything else, and the end of the input, end
// it:
//   windows          the line alone
//   remove-taskbar   destroys the taskbar, as a shell about to start a new one elsewhere does
//   destroy-layer    destroys the desktop layer, and with it whatever was attached to it
//   cover-layer      puts a window of its own, a strip along the layer's top, above its children
//   host             makes a hidden top-level window, a host of another process than the test's or
//                    one for a main process that cannot make one itself, and writes its handle
//                    instead of the layer's
//   click <x> <y>    brings Progman to the front and clicks the primary button at that point
//   move-layer <dx> <dy>
//                    moves the layer by that many pixels, and whatever it holds with it, as a shell
//                    does when a monitor is added left of or above the primary one
//   hang <ms>        takes no message for that long, as a shell that stops answering, then answers
//   hide-layer, show-layer
//                    hides or shows the layer, and with it whatever it holds, as the shell does on
//                    some layouts when the desktop's icons are hidden
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "demo/shell_look.h"
#include "wine_desktop/desktop.h"

namespace {

constexpr UINT keep_place_timer = 1;

struct Desktop {
  bool raised = false, painted = false, mirrored = false, over_icons = false;
  HWND progman = nullptr, icons = nullptr, layer = nullptr, taskbar = nullptr;
  RECT screen{};  // the virtual screen: every monitor
} desktop;        // touched only by the thread that owns the windows

HWND create(const wchar_t* class_name, DWORD style, RECT rect, HWND parent = nullptr,
            DWORD ex_style = 0) {
  // A painted window leaves its children's pixels to them.
  style |= WS_VISIBLE | (desktop.painted ? WS_CLIPCHILDREN : 0);
  return CreateWindowExW(ex_style, class_name, L"", style, rect.left, rect.top,
                         rect.right - rect.left, rect.bottom - rect.top, parent, nullptr, nullptr,
                         nullptr);
}

void serve_windows() {
  MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

constexpr UINT in_place_flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;

// Right behind the icons' window, or, "over-icons", right in front of it.
bool layer_in_place() {
  return desktop.over_icons ? GetWindow(desktop.layer, GW_HWNDNEXT) == desktop.icons
                            : GetWindow(desktop.icons, GW_HWNDNEXT) == desktop.layer;
}

void keep_layer_in_place() {
  if (desktop.over_icons) {
    // Raised for X above the icons, and the taskbar again above it.
    if (desktop.painted) orvel::desktop::restack_for_x(desktop.layer);
    SetWindowPos(desktop.icons, desktop.layer, 0, 0, 0, 0, in_place_flags);
    return;
  }
  if (desktop.painted) orvel::desktop::restack_for_x(desktop.icons);
  SetWindowPos(desktop.layer, desktop.icons, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// The virtual screen's size at `left`, `top`.
RECT screen_sized(LONG left, LONG top) {
  return {left, top, left + desktop.screen.right - desktop.screen.left,
          top + desktop.screen.bottom - desktop.screen.top};
}
// Progman covers the screen; the raised one is away from its origin unless painted.
RECT progman_rect() {
  const bool away = desktop.raised && !desktop.painted;
  return screen_sized(desktop.screen.left + (away ? 60 : 0), desktop.screen.top + (away ? 40 : 0));
}
// Unpainted, the layer's client origin is away from the screen's; the classic one also covers too
// little of the primary monitor to pass as a layer by its size, so only its place tells it. The
// raised one's place is in Progman's client coordinates.
RECT layer_rect() {
  const POINT origin = desktop.raised ? POINT{} : POINT{desktop.screen.left, desktop.screen.top};
  if (desktop.painted) return screen_sized(origin.x, origin.y);
  return desktop.raised ? screen_sized(origin.x + 100, origin.y + 50)
                        : screen_sized(origin.x + 200, origin.y + 150);
}

void create_layer() {
  desktop.layer =
      create(L"WorkerW", desktop.raised ? WS_CHILD : WS_POPUP, layer_rect(),
             desktop.raised ? desktop.progman : nullptr, desktop.mirrored ? WS_EX_LAYOUTRTL : 0);
  if (desktop.raised) {
    // A new child goes below its siblings, the icon view among them.
    if (desktop.over_icons) SetWindowPos(desktop.layer, HWND_TOP, 0, 0, 0, 0, in_place_flags);
    return;
  }
  // Under X, a window just shown goes back on top once the X server has mapped it, and showing a
  // window inside it does too: a timer keeps it behind the icons, as the shell does.
  keep_layer_in_place();
  for (const ULONGLONG end = GetTickCount64() + 300; layer_in_place() && GetTickCount64() < end;)
    serve_windows();
  keep_layer_in_place();
  SetTimer(desktop.layer, keep_place_timer, 50, nullptr);
}

LRESULT CALLBACK shell_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (desktop.painted && message == WM_PAINT) {
    orvel::desktop::paint_shell_window(window);
    return 0;
  }
  if (desktop.painted && message == WM_ERASEBKGND) return 1;  // WM_PAINT paints every pixel
  // Windows raises this for every window that goes; Wine does not.
  if (message == WM_DESTROY) orvel::desktop::raise_win_event(EVENT_OBJECT_DESTROY, window);
  if (message == WM_TIMER && wparam == keep_place_timer) {
    if (!layer_in_place()) keep_layer_in_place();
    return 0;
  }
  if (message == 0x052C && window == desktop.progman && wparam == 13 && lparam == 1) {
    if (!desktop.layer) create_layer();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Places `window` at `rect`, in its parent's client coordinates, and says so, as Windows does.
void place(HWND window, RECT rect) {
  SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  orvel::desktop::raise_win_event(EVENT_OBJECT_LOCATIONCHANGE, window);
}

// Where the layer is, in its parent's client coordinates.
RECT layer_place() {
  RECT rect{};
  GetWindowRect(desktop.layer, &rect);
  MapWindowPoints(nullptr, GetAncestor(desktop.layer, GA_PARENT), reinterpret_cast<POINT*>(&rect),
                  2);
  return rect;
}

bool write_handle(HWND window) {
  return std::puts(orvel::desktop::handle_text(window).c_str()) >= 0 && std::fflush(stdout) == 0;
}

// Carries out one command line; false for one that ends it.
bool obey(std::string_view command) {
  POINT at{}, by{};
  DWORD hang_ms = 0;
  if (command == "remove-taskbar") {
    DestroyWindow(std::exchange(desktop.taskbar, nullptr));
  } else if (command == "destroy-layer") {
    DestroyWindow(std::exchange(desktop.layer, nullptr));
  } else if (command == "cover-layer") {
    // A new child goes below its siblings. A thin strip along the layer's top: it covers some of
    // every host window, and little of the wallpaper once they are gone.
    RECT strip{};
    GetClientRect(desktop.layer, &strip);
    strip.bottom = 2;
    SetWindowPos(create(L"Static", WS_CHILD, strip, desktop.layer), HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    orvel::desktop::raise_win_event(EVENT_OBJECT_REORDER, desktop.layer);
  } else if (command == "host") {
    return write_handle(create(L"Static", WS_POPUP, {100, 80, 740, 560}));
  } else if (std::sscanf(std::string(command).c_str(), "click %ld %ld", &at.x, &at.y) == 2) {
    // The windows under the cursor take the move before the press, which is then seen there.
    SetForegroundWindow(desktop.progman);
    for (const int button : {0, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}) {
      INPUT input = orvel::desktop::mouse_input(
          static_cast<DWORD>(button | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE), at);
      SendInput(1, &input, sizeof(INPUT));
      for (int round = 0; round < (button ? 0 : 10); ++round) serve_windows();
    }
  } else if (std::sscanf(std::string(command).c_str(), "move-layer %ld %ld", &by.x, &by.y) == 2) {
    if (desktop.layer) {
      RECT rect = layer_place();
      OffsetRect(&rect, by.x, by.y);
      place(desktop.layer, rect);
    }
  } else if (std::sscanf(std::string(command).c_str(), "hang %lu", &hang_ms) == 1) {
    Sleep(hang_ms);
  } else if (command == "hide-layer" || command == "show-layer") {
    const bool show = command == "show-layer";
    ShowWindow(desktop.layer, show ? SW_SHOWNA : SW_HIDE);
    orvel::desktop::raise_win_event(show ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE, desktop.layer);
  } else if (command != "windows") {
    return false;
  }
  return write_handle(desktop.layer);
}

// Standard input as a pipe that can be peeked at. A Linux program's pipe under Wine (a Node test
// runner's) cannot be: a thread copies it into one of Windows' own.
HANDLE peekable_input() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD available = 0;
  HANDLE read_end = nullptr, write_end = nullptr;
  if (PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr) ||
      !CreatePipe(&read_end, &write_end, nullptr, 0))
    return input;
  std::thread([input, write_end] {
    char buffer[256];
    DWORD read = 0, written = 0;
    while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0 &&
           WriteFile(write_end, buffer, read, &written, nullptr)) {
    }
    CloseHandle(write_end);
  }).detach();
  return read_end;
}

// A pipe wakes no wait, so it is looked at every few milliseconds; what was asked of the windows
// before a command came is done first.
void serve() {
  const HANDLE input = peekable_input();
  std::string line;
  for (DWORD available = 0;; available = 0) {
    serve_windows();
    if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) return;
    if (available) serve_windows();
    for (char c = 0; available > 0; --available) {
      DWORD read = 0;
      if (!ReadFile(input, &c, 1, &read, nullptr) || read != 1) return;
      if (c == '\n' && !obey(std::exchange(line, {}))) return;
      if (c != '\n') line += c;
    }
  }
}

}  // namespace

void orvel::desktop::report_failure(const std::string& what) {
  std::fprintf(stderr, "stand-in shell: %s\n", what.c_str());
}

int main(int argc, char** argv) {
  const std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode == "ctrl-c" && argc > 2) {
    FreeConsole();
    const bool attached = AttachConsole(std::strtoul(argv[2], nullptr, 10));
    const HANDLE input =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    SetStdHandle(STD_INPUT_HANDLE, input);
    SetConsoleCtrlHandler(nullptr, TRUE);
    return attached && GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) ? 0 : 1;
  }
  if (mode == "reset-display")
    return ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr) == DISP_CHANGE_SUCCESSFUL
               ? 0
               : 1;
  for (int i = 2; i < argc; ++i) {
    desktop.painted |= std::string_view(argv[i]) == "paint";
    desktop.mirrored |= std::string_view(argv[i]) == "mirrored";
    desktop.over_icons |= std::string_view(argv[i]) == "over-icons";
  }
  for (const wchar_t* name : {L"Progman", L"SHELLDLL_DefView", L"WorkerW", L"Shell_TrayWnd"}) {
    const WNDCLASSEXW window_class{
        .cbSize = sizeof(WNDCLASSEXW), .lpfnWndProc = shell_procedure, .lpszClassName = name};
    RegisterClassExW(&window_class);
  }
  desktop.screen = {0, 0, GetSystemMetrics(SM_CXVIRTUALSCREEN),
                    GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  // Started with no arguments where the whole shell was ended: the desktop comes back too.
  const bool whole_shell = mode.empty() && !FindWindowW(L"Progman", nullptr);
  desktop.painted |= whole_shell;
  if ((mode == "desktop" && argc > 3) || whole_shell) {
    desktop.raised = !whole_shell && std::string_view(argv[2]) == "raised";
    desktop.progman = create(L"Progman", WS_POPUP, progman_rect());
    desktop.icons = desktop.raised ? desktop.progman : create(L"WorkerW", WS_POPUP, desktop.screen);
    const HWND icon_view = create(L"SHELLDLL_DefView", WS_CHILD, screen_sized(0, 0), desktop.icons);
    if (desktop.painted) orvel::desktop::cut_to_tiles(desktop.raised ? icon_view : desktop.icons);
    if (whole_shell || std::string_view(argv[3]) == "present") create_layer();
  }
  const LONG height = GetSystemMetrics(SM_CYSCREEN);
  desktop.taskbar =
      create(L"Shell_TrayWnd", WS_POPUP, {0, height - 40, GetSystemMetrics(SM_CXSCREEN), height});
  // A shell that has made its taskbar says so to every top-level window, at its start as at a
  // restart.
  PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  if (mode.empty()) {
    for (const HWND progman = FindWindowW(L"Progman", nullptr); IsWindow(progman);) serve_windows();
    return 0;
  }
  if (obey("windows")) serve();
}
