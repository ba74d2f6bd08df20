// The least a program can do to make the attach that `attach --hwnd <n>` makes against the stand-in
// shell's classic layout, as far as its "attached" line, with no error handling: the floor that the
// helper's start is timed beside.
//
//   orvel_attach_floor.exe --hwnd <n>
//
// It finds the layer as discovery decides it there (no WorkerW covers four fifths of the monitor,
// so the top-level WorkerW right after the window that holds the icons), in one pass over the
// top-level windows; changes the host window's two style values; makes it a child of the layer;
// fits it over its monitor and raises it; makes its hidden window, the two WinEvent hooks and the
// heartbeat timer; and writes the line. Then it waits for "detach" or the end of standard input,
// gives the window back and repaints as the helper's close does.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "least.h"

namespace {

struct Search {
  RECT monitor{};
  HWND icons = nullptr;     // the top-level window that holds the icons
  HWND covering = nullptr;  // a WorkerW that covers four fifths of the monitor
  LONGLONG covered = 0;
};

LONGLONG overlap(const RECT& a, const RECT& b) {
  const LONGLONG width = std::min(a.right, b.right) - std::max(a.left, b.left);
  const LONGLONG height = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
  return width > 0 && height > 0 ? width * height : 0;
}

// A WorkerW that does not hold the icons is a candidate when it covers enough of the monitor.
void consider(Search& search, HWND window) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  const LONGLONG area = LONGLONG{search.monitor.right - search.monitor.left} *
                        (search.monitor.bottom - search.monitor.top);
  const LONGLONG covered = overlap(rect, search.monitor);
  if (covered >= area - area / 5 && covered > search.covered) {
    search.covering = window;
    search.covered = covered;
  }
}

bool is_workerw(HWND window) {
  wchar_t name[32];
  return GetClassNameW(window, name, 32) > 0 && std::wcscmp(name, L"WorkerW") == 0;
}

BOOL CALLBACK visit_top_level(HWND window, LPARAM context) {
  Search& search = *reinterpret_cast<Search*>(context);
  const bool workerw = is_workerw(window);
  if (!workerw && search.icons) return TRUE;
  const bool holds_icons = FindWindowExW(window, nullptr, L"SHELLDLL_DefView", nullptr) != nullptr;
  if (holds_icons && !search.icons) search.icons = window;
  if (workerw && !holds_icons) consider(search, window);
  return TRUE;
}

BOOL CALLBACK visit_in_progman(HWND window, LPARAM context) {
  if (is_workerw(window)) consider(*reinterpret_cast<Search*>(context), window);
  return TRUE;
}

DWORD WINAPI await_detach(void* main_thread) {
  char text[256];
  DWORD read = 0;
  size_t held = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), text + held,
                  static_cast<DWORD>(sizeof text - 1 - held), &read, nullptr) &&
         read > 0) {
    held += read;
    text[held] = '\0';
    if (std::strstr(text, "detach") || held == sizeof text - 1) break;
  }
  PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(main_thread)), WM_QUIT, 0, 0);
  return 0;
}

void CALLBACK on_win_event(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {}

}  // namespace

int main() {
  const wchar_t* named = std::wcsstr(GetCommandLineW(), L"--hwnd ");
  if (!named) return 2;
  const auto host =
      reinterpret_cast<HWND>(static_cast<INT_PTR>(std::wcstoll(named + 7, nullptr, 10)));
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

  MONITORINFO monitor{.cbSize = sizeof monitor};
  GetMonitorInfoW(MonitorFromWindow(host, MONITOR_DEFAULTTONEAREST), &monitor);
  Search search{.monitor = monitor.rcMonitor};
  EnumWindows(visit_top_level, reinterpret_cast<LPARAM>(&search));
  if (const HWND progman = FindWindowW(L"Progman", nullptr))
    EnumChildWindows(progman, visit_in_progman, reinterpret_cast<LPARAM>(&search));
  const HWND layer =
      search.covering ? search.covering : FindWindowExW(nullptr, search.icons, L"WorkerW", nullptr);
  if (!layer) return 1;

  const LONG_PTR style = GetWindowLongPtrW(host, GWL_STYLE);
  SetWindowLongPtrW(host, GWL_STYLE, (style & ~WS_CLIPSIBLINGS) | WS_CHILD);
  const LONG_PTR ex_style = GetWindowLongPtrW(host, GWL_EXSTYLE);
  SetWindowLongPtrW(host, GWL_EXSTYLE,
                    ex_style & ~(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE | WS_EX_ACCEPTFILES));
  SetParent(host, layer);
  POINT origin{monitor.rcMonitor.left, monitor.rcMonitor.top};
  ScreenToClient(layer, &origin);
  SetWindowPos(host, HWND_TOP, origin.x, origin.y, monitor.rcMonitor.right - monitor.rcMonitor.left,
               monitor.rcMonitor.bottom - monitor.rcMonitor.top,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS | SWP_SHOWWINDOW);
  SetWindowPos(host, HWND_TOP, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);

  const HWND window = orvel::least::create_hidden_window(L"OrvelAttachFloor", DefWindowProcW);
  for (const DWORD event : {DWORD{EVENT_OBJECT_DESTROY}, DWORD{EVENT_OBJECT_REORDER}})
    SetWinEventHook(event, event, nullptr, on_win_event, 0, 0,
                    WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
  SetTimer(window, 1, 5000, nullptr);
  char line[160];
  std::snprintf(line, sizeof line,
                "{\"event\":\"attached\",\"hwnd\":%lld,\"workerw\":%lld,\"mode\":\"classic\"}\n",
                static_cast<long long>(reinterpret_cast<INT_PTR>(host)),
                static_cast<long long>(reinterpret_cast<INT_PTR>(layer)));
  orvel::least::write_line(line);

  CloseHandle(CreateThread(nullptr, 0, await_detach,
                           reinterpret_cast<void*>(static_cast<UINT_PTR>(GetCurrentThreadId())), 0,
                           nullptr));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);

  SetParent(host, nullptr);
  SetWindowLongPtrW(host, GWL_STYLE, (GetWindowLongPtrW(host, GWL_STYLE) & ~WS_CHILD) | WS_POPUP);
  SetWindowLongPtrW(host, GWL_EXSTYLE,
                    GetWindowLongPtrW(host, GWL_EXSTYLE) | WS_EX_APPWINDOW | WS_EX_WINDOWEDGE);
  InvalidateRect(layer, nullptr, TRUE);
  UpdateWindow(layer);
  SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, nullptr, SPIF_UPDATEINIFILE);
  std::snprintf(line, sizeof line, "{\"event\":\"detached\",\"hwnd\":%lld}\n",
                static_cast<long long>(reinterpret_cast<INT_PTR>(host)));
  orvel::least::write_line(line);
  return 0;
}
