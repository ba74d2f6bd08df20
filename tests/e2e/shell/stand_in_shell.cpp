// A stand-in for the Windows shell, in a process of its own as the real one is, so that a restart
// changes the shell's process id. It builds the shell's windows:
//
//   orvel_stand_in_shell.exe desktop classic|raised present|on-request primary|virtual [paint]
//   orvel_stand_in_shell.exe taskbar [paint]
//
// "classic" puts the desktop layer in a top-level WorkerW right after the one that holds the icons,
// "raised" in a WorkerW inside Progman. With "on-request" the layer appears only when Progman is
// sent 0x052C with wParam 13 and lParam 1. "primary" builds the desktop on the primary monitor,
// "virtual" over the whole virtual screen, as the shell does when there are several monitors. The
// taskbar is always on the primary monitor. "taskbar" builds nothing but a taskbar and announces it
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
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "demo/shell_look.h"

namespace {

constexpr UINT create_layer_message = 0x052C;
// Commands travel from the reading thread to the windows' thread as this thread message.
constexpr UINT command_message = WM_APP;
// Posted to itself and taken before a WinEvent is raised (see notify).
constexpr UINT nudge_message = WM_APP + 1;
// How often the classic layer is put back behind the icons.
constexpr UINT keep_place_timer = 1;
constexpr UINT keep_place_period_ms = 50;

enum class Command : WPARAM { windows, remove_taskbar, destroy_layer, cover_layer, end };

struct Desktop {
  bool raised = false;
  bool painted = false;
  HWND progman = nullptr;
  HWND icons = nullptr;      // the window that holds SHELLDLL_DefView
  HWND icon_view = nullptr;  // SHELLDLL_DefView
  HWND layer = nullptr;
  HWND taskbar = nullptr;
  RECT screen{};  // what the desktop covers
  RECT primary{};
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
// it, so the thread takes one first.
void notify(DWORD event, HWND window) {
  PostThreadMessageW(GetCurrentThreadId(), nudge_message, 0, 0);
  MSG message;
  PeekMessageW(&message, nullptr, nudge_message, nudge_message, PM_REMOVE);
  NotifyWinEvent(event, window, OBJID_WINDOW, CHILDID_SELF);
}

void keep_layer_in_place() {
  if (desktop.painted) orvel::demo::restack_for_x(desktop.icons);
  SetWindowPos(desktop.layer, desktop.icons, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// The layer has its client origin away from the screen origin, so that screen and client
// coordinates differ; the classic one also covers too little of the primary monitor to pass as a
// layer by its size alone, so that there only its place after the icons tells it.
void create_layer() {
  const RECT whole = moved(desktop.screen, -desktop.screen.left, -desktop.screen.top);
  if (desktop.raised) {
    const RECT where = desktop.painted ? whole : moved(whole, 100, 50);
    desktop.layer = create(L"WorkerW", WS_CHILD, where, desktop.progman);
    return;
  }
  const RECT where = desktop.painted ? desktop.screen : moved(desktop.screen, 200, 150);
  desktop.layer = create(L"WorkerW", WS_POPUP, where);
  keep_layer_in_place();
  // Under X, a window just shown is put back on top a few milliseconds later, once the X server
  // has mapped it: the layer goes in its place again after that.
  const ULONGLONG deadline = GetTickCount64() + 300;
  while (GetWindow(desktop.icons, GW_HWNDNEXT) == desktop.layer && GetTickCount64() < deadline) {
    MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, command_message - 1, PM_REMOVE) ||
           PeekMessageW(&message, nullptr, nudge_message + 1, ~0u, PM_REMOVE)) {
      DispatchMessageW(&message);
    }
  }
  keep_layer_in_place();
  SetTimer(desktop.layer, keep_place_timer, keep_place_period_ms, nullptr);
}

LRESULT CALLBACK shell_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (desktop.painted && message == WM_PAINT) {
    orvel::demo::paint_shell_window(window, desktop.icon_view, desktop.taskbar);
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
  } else if (message == create_layer_message && window == desktop.progman && wparam == 13 &&
             lparam == 1) {
    if (!desktop.layer) create_layer();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void register_classes() {
  for (const wchar_t* name : {L"Progman", L"SHELLDLL_DefView", L"WorkerW", L"Shell_TrayWnd"}) {
    const WNDCLASSEXW window_class{.cbSize = sizeof(WNDCLASSEXW),
                                   .lpfnWndProc = shell_procedure,
                                   .hInstance = GetModuleHandleW(nullptr),
                                   .lpszClassName = name};
    RegisterClassExW(&window_class);
  }
  MONITORINFO info{.cbSize = sizeof(MONITORINFO)};
  GetMonitorInfoW(MonitorFromPoint({}, MONITOR_DEFAULTTOPRIMARY), &info);
  desktop.primary = info.rcMonitor;
}

void build_desktop(bool layer_present, bool over_virtual_screen) {
  const LONG left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const LONG top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  desktop.screen = over_virtual_screen
                       ? RECT{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                              top + GetSystemMetrics(SM_CYVIRTUALSCREEN)}
                       : desktop.primary;
  const RECT whole = moved(desktop.screen, -desktop.screen.left, -desktop.screen.top);
  if (desktop.raised) {
    const RECT where = desktop.painted ? desktop.screen : moved(desktop.screen, 60, 40);
    desktop.progman = create(L"Progman", WS_POPUP, where);
    desktop.icons = desktop.progman;
  } else {
    desktop.progman = create(L"Progman", WS_POPUP, desktop.screen);
    desktop.icons = create(L"WorkerW", WS_POPUP, desktop.screen);
  }
  desktop.icon_view = create(L"SHELLDLL_DefView", WS_CHILD, whole, desktop.icons);
  if (desktop.painted)
    orvel::demo::cut_to_tiles(desktop.raised ? desktop.icon_view : desktop.icons);
  if (layer_present) create_layer();
}

void obey(Command command) {
  if (command == Command::remove_taskbar) {
    DestroyWindow(desktop.taskbar);
    desktop.taskbar = nullptr;
  } else if (command == Command::destroy_layer) {
    DestroyWindow(desktop.layer);
    desktop.layer = nullptr;
  } else if (command == Command::cover_layer) {
    const HWND cover = create(L"Static", WS_CHILD, {0, 0, 10, 10}, desktop.layer);
    // A new child goes below its siblings.
    SetWindowPos(cover, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    notify(EVENT_OBJECT_REORDER, desktop.layer);
  }
}

void report() {
  const std::string line = std::to_string(reinterpret_cast<std::intptr_t>(desktop.layer)) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

Command parse(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line == "windows") return Command::windows;
  if (line == "remove-taskbar") return Command::remove_taskbar;
  if (line == "destroy-layer") return Command::destroy_layer;
  if (line == "cover-layer") return Command::cover_layer;
  return Command::end;
}

DWORD WINAPI read_commands(void* windows_thread) {
  const auto post = [windows_thread](Command command) {
    PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(windows_thread)),
                       command_message, static_cast<WPARAM>(command), 0);
  };
  std::string pending;
  char buffer[256];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) && read) {
    pending.append(buffer, read);
    for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
      const Command command = parse(std::string_view(pending).substr(0, end));
      pending.erase(0, end + 1);
      post(command);
      if (command == Command::end) return 0;
    }
  }
  post(Command::end);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view mode = argc > 1 ? argv[1] : "";
  const int fixed = mode == "desktop" ? 5 : 2;
  desktop.painted = argc == fixed + 1 && std::string_view(argv[fixed]) == "paint";
  if ((mode != "desktop" && mode != "taskbar") || argc != fixed + desktop.painted) return 2;
  register_classes();
  if (mode == "desktop") {
    desktop.raised = std::string_view(argv[2]) == "raised";
    build_desktop(std::string_view(argv[3]) == "present", std::string_view(argv[4]) == "virtual");
  }
  desktop.taskbar = create(L"Shell_TrayWnd", WS_POPUP,
                           {desktop.primary.left, desktop.primary.bottom - 40,
                            desktop.primary.right, desktop.primary.bottom});
  if (mode == "taskbar") {
    PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  }
  // The windows exist, so this thread has a queue that the reader can post to.
  const HANDLE reader = CreateThread(
      nullptr, 0, read_commands,
      reinterpret_cast<void*>(static_cast<std::uintptr_t>(GetCurrentThreadId())), 0, nullptr);
  if (!reader) return 1;
  CloseHandle(reader);
  report();
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!message.hwnd && message.message == command_message) {
      const auto command = static_cast<Command>(message.wParam);
      if (command == Command::end) break;
      obey(command);
      report();
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
