// The least program that hears the mouse wheel as `attach --forward-mouse` does: raw mouse input in
// the background to a hidden window, and one line on standard output for each wheel record. The
// floor that the helper's wheel latency is timed beside. It ends with its standard input.
#include <windows.h>

#include "least.h"

namespace {

LRESULT CALLBACK on_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INPUT) {
    RAWINPUT record;
    UINT size = sizeof record;
    if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lparam), RID_INPUT, &record, &size,
                        sizeof(RAWINPUTHEADER)) != static_cast<UINT>(-1) &&
        record.header.dwType == RIM_TYPEMOUSE &&
        (record.data.mouse.usButtonFlags & (RI_MOUSE_WHEEL | RI_MOUSE_HWHEEL)) != 0) {
      orvel::least::write_line("{\"event\":\"mousewheel\"}\n");
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

DWORD WINAPI await_end(void*) {
  char text[64];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), text, sizeof text, &read, nullptr) && read > 0) {
  }
  ExitProcess(0);
}

}  // namespace

int main() {
  const HWND window = orvel::least::create_hidden_window(L"OrvelMouseFloor", on_message);
  const RAWINPUTDEVICE mouse{
      .usUsagePage = 0x01, .usUsage = 0x02, .dwFlags = RIDEV_INPUTSINK, .hwndTarget = window};
  if (!RegisterRawInputDevices(&mouse, 1, sizeof mouse)) return 1;
  orvel::least::write_line("{\"event\":\"ready\"}\n");
  CloseHandle(CreateThread(nullptr, 0, await_end, nullptr, 0, nullptr));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
