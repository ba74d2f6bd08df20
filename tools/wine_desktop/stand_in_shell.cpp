// A stand-in for the Windows shell, in a process of its own as the real one is, so that a restart
// changes the shell's process id. It builds the shell's windows:
//
//   orvel_stand_in_shell.exe desktop classic|raised present|on-request [paint]
//   orvel_stand_in_shell.exe taskbar [paint]
//
// "classic" puts the desktop layer in a top-level WorkerW right after the one that holds the icons,
// "raised" in a WorkerW inside Progman. With "on-request" the layer appears only when Progman is
// sent 0x052C with wParam 13 and lParam 1. The desktop covers every monitor, the taskbar the
// bottom of the primary one. "taskbar" builds nothing but a taskbar and announces it
// with the "TaskbarCreated" broadcast, as a restarted shell does. With "paint" the windows draw the
// demo's desktop, and the layer covers the desktop exactly.
//
// Once ready, and after each command, it writes its layer's handle in signed decimal (0 for none)
// on a line. Commands, one a line on standard input; anything else, and the end of the input, end
// it:
//   windows          the line alone
//   remove-taskbar   destroys the taskbar, as a shell about to start a new one elsewhere does
//   destroy-layer    destroys the desktop layer, and with it whatever was attached to it
//   cover-layer      puts a window of its own on top of the layer's children
//   host             makes a top-level window for a main process that cannot make one itself,
//                    and writes its handle instead of the layer's
//   click <x> <y>    brings Progman to the front and clicks the primary button at that point
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "wine_desktop/shell_look.h"

namespace {

// Puts the classic layer back behind the icons every 50 ms.
constexpr UINT keep_place_timer = 1;

struct Desktop {
  bool raised = false;
  bool painted = false;
  HWND progman = nullptr;
  HWND icons = nullptr;  // the window that holds SHELLDLL_DefView
  HWND layer = nullptr;
  HWND taskbar = nullptr;
  RECT screen{};  // every monitor: the primary one at the origin, any other right of it
};
Desktop desktop;  // touched only by the thread that owns the windows

RECT moved(RECT rect, LONG dx, LONG dy) {
  return {rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
}

HWND create(const wchar_t* class_name, DWORD style, RECT rect, HWND parent = nullptr) {
  // A painted window leaves its children's pixels to them.
  if (desktop.painted) style |= WS_CLIPCHILDREN;
  return CreateWindowExW(0, class_name, L"", style | WS_VISIBLE, rect.left, rect.top,
                         rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

// Wine drops a WinEvent raised by a thread that has not taken a message since the watcher hooked
// it, so the thread posts one to itself and takes it first.
void notify(DWORD event, HWND window) {
  PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
  MSG message;
  PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE);
  NotifyWinEvent(event, window, OBJID_WINDOW, CHILDID_SELF);
}

// Waits a little for messages, and dispatches them.
void serve_windows() {
  MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

void keep_layer_in_place() {
  if (desktop.painted) orvel::desktop::restack_for_x(desktop.icons);
  SetWindowPos(desktop.layer, desktop.icons, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// The layer has its client origin away from the screen origin, so that screen and client
// coordinates differ; the classic one also covers too little of the primary monitor to pass as a
// layer by its size alone, so that there only its place after the icons tells it.
void create_layer() {
  const bool raised = desktop.raised;
  const RECT where = desktop.painted ? desktop.screen
                                     : moved(desktop.screen, raised ? 100 : 200, raised ? 50 : 150);
  desktop.layer = raised ? create(L"WorkerW", WS_CHILD, where, desktop.progman)
                         : create(L"WorkerW", WS_POPUP, where);
  if (raised) return;
  keep_layer_in_place();
  // Under X, a window just shown is put back on top a few milliseconds later, once the X server
  // has mapped it: the layer goes in its place again after that.
  const ULONGLONG deadline = GetTickCount64() + 300;
  while (GetWindow(desktop.icons, GW_HWNDNEXT) == desktop.layer && GetTickCount64() < deadline)
    serve_windows();
  keep_layer_in_place();
  SetTimer(desktop.layer, keep_place_timer, 50, nullptr);
}

LRESULT CALLBACK shell_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (desktop.painted && message == WM_PAINT) {
    orvel::desktop::paint_shell_window(window);
    return 0;
  } else if (desktop.painted && message == WM_ERASEBKGND) {
    return 1;  // every pixel is painted in WM_PAINT
  } else if (message == WM_DESTROY) {
    // Windows raises this for every window that goes; Wine does not.
    notify(EVENT_OBJECT_DESTROY, window);
  } else if (message == WM_TIMER && wparam == keep_place_timer) {
    // The shell keeps its layer right behind the icons; under X, showing a window inside it puts
    // it back on top, without a word to the layer.
    if (GetWindow(desktop.icons, GW_HWNDNEXT) != window) keep_layer_in_place();
    return 0;
  } else if (message == 0x052C && window == desktop.progman && wparam == 13 && lparam == 1) {
    if (!desktop.layer) create_layer();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// The cursor moves first, and the windows under it take that move before the button goes down, so
// that the press is seen where the cursor stands.
void click(POINT at) {
  SetForegroundWindow(desktop.progman);
  const auto input = [at](DWORD flags) {
    // Absolute coordinates are in 65536ths of the primary screen, rounded up to stay on the pixel.
    const auto normalized = [](LONG pixel, int extent) {
      return static_cast<LONG>((pixel * 65536LL + extent - 1) / extent);
    };
    INPUT one{.type = INPUT_MOUSE,
              .mi = {.dx = normalized(at.x, GetSystemMetrics(SM_CXSCREEN)),
                     .dy = normalized(at.y, GetSystemMetrics(SM_CYSCREEN)),
                     .dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE}};
    SendInput(1, &one, sizeof(INPUT));
  };
  input(0);
  for (int round = 0; round < 10; ++round) serve_windows();
  input(MOUSEEVENTF_LEFTDOWN);
  input(MOUSEEVENTF_LEFTUP);
}

// Carries out one command line; false for one that ends it.
bool obey(std::string_view command) {
  if (command == "remove-taskbar") {
    DestroyWindow(std::exchange(desktop.taskbar, nullptr));
  } else if (command == "destroy-layer") {
    DestroyWindow(std::exchange(desktop.layer, nullptr));
  } else if (command == "cover-layer") {
    const HWND cover = create(L"Static", WS_CHILD, {0, 0, 10, 10}, desktop.layer);
    // A new child goes below its siblings.
    SetWindowPos(cover, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    notify(EVENT_OBJECT_REORDER, desktop.layer);
  } else if (command == "host") {
    const HWND host = create(L"Static", WS_POPUP, {100, 80, 740, 560});
    std::printf("%lld\n", static_cast<long long>(reinterpret_cast<std::intptr_t>(host)));
    return std::fflush(stdout) == 0;
  } else if (POINT at{};
             std::sscanf(std::string(command).c_str(), "click %ld %ld", &at.x, &at.y) == 2) {
    click(at);
  } else if (command != "windows") {
    return false;
  }
  std::printf("%lld\n", static_cast<long long>(reinterpret_cast<std::intptr_t>(desktop.layer)));
  return std::fflush(stdout) == 0;
}

// Standard input as a pipe that can be peeked at. A Linux program's pipe under Wine (a Node test
// runner's) cannot be: a thread copies it into one of Windows' own.
HANDLE peekable_input() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD available = 0;
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr) ||
      !CreatePipe(&read_end, &write_end, nullptr, 0)) {
    return input;
  }
  std::thread([input, write_end] {
    char buffer[256];
    DWORD read = 0;
    DWORD written = 0;
    while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0 &&
           WriteFile(write_end, buffer, read, &written, nullptr)) {
    }
    CloseHandle(write_end);
  }).detach();
  return read_end;
}

// Serves the windows, and takes the commands as they come: a pipe wakes no wait, so it is looked
// at again every few milliseconds. What was asked of the windows before a command came is done
// first.
void serve() {
  const HANDLE input = peekable_input();
  std::string line;
  for (;;) {
    serve_windows();
    DWORD available = 0;
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

int main(int argc, char** argv) {
  const std::string_view mode = argc > 1 ? argv[1] : "";
  desktop.painted = std::string_view(argv[argc - 1]) == "paint";
  for (const wchar_t* name : {L"Progman", L"SHELLDLL_DefView", L"WorkerW", L"Shell_TrayWnd"}) {
    const WNDCLASSEXW window_class{.cbSize = sizeof(WNDCLASSEXW),
                                   .lpfnWndProc = shell_procedure,
                                   .hInstance = GetModuleHandleW(nullptr),
                                   .lpszClassName = name};
    RegisterClassExW(&window_class);
  }
  desktop.screen = {0, 0, GetSystemMetrics(SM_CXVIRTUALSCREEN),
                    GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  if (mode == "desktop" && argc > 3) {
    desktop.raised = std::string_view(argv[2]) == "raised";
    desktop.progman =
        create(L"Progman", WS_POPUP,
               desktop.raised && !desktop.painted ? moved(desktop.screen, 60, 40) : desktop.screen);
    desktop.icons = desktop.raised ? desktop.progman : create(L"WorkerW", WS_POPUP, desktop.screen);
    const HWND icon_view = create(L"SHELLDLL_DefView", WS_CHILD, desktop.screen, desktop.icons);
    if (desktop.painted) orvel::desktop::cut_to_tiles(desktop.raised ? icon_view : desktop.icons);
    if (std::string_view(argv[3]) == "present") create_layer();
  }
  const LONG height = GetSystemMetrics(SM_CYSCREEN);
  desktop.taskbar =
      create(L"Shell_TrayWnd", WS_POPUP, {0, height - 40, GetSystemMetrics(SM_CXSCREEN), height});
  if (mode == "taskbar")
    PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  if (obey("windows")) serve();
}
