// The least program that hears the mouse wheel as `attach --forward-mouse` does: raw mouse input in
// the background to a hidden window, and one line on standard output for each wheel record. The
// floor that the helper's wheel latency is timed beside. It ends with its standard input.
#include <windows.h>

namespace {

HANDLE output = nullptr;

LRESULT CALLBACK on_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INPUT) {
    RAWINPUT record;
    UINT size = sizeof record;
    if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lparam), RID_INPUT, &record, &size,
                        sizeof(RAWINPUTHEADER)) != static_cast<UINT>(-1) &&
        record.header.dwType == RIM_TYPEMOUSE &&
        (record.data.mouse.usButtonFlags & (RI_MOUSE_WHEEL | RI_MOUSE_HWHEEL)) != 0) {
      constexpr char line[] = "{\"event\":\"mousewheel\"}\n";
      DWORD written = 0;
      WriteFile(output, line, sizeof line - 1, &written, nullptr);
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
  output = GetStdHandle(STD_OUTPUT_HANDLE);
  const WNDCLASSW window_class{.lpfnWndProc = on_message,
                               .hInstance = GetModuleHandleW(nullptr),
                               .lpszClassName = L"OrvelMouseFloor"};
  RegisterClassW(&window_class);
  const HWND window = CreateWindowExW(0, L"OrvelMouseFloor", L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                      window_class.hInstance, nullptr);
  const RAWINPUTDEVICE mouse{
      .usUsagePage = 0x01, .usUsage = 0x02, .dwFlags = RIDEV_INPUTSINK, .hwndTarget = window};
  if (!RegisterRawInputDevices(&mouse, 1, sizeof mouse)) return 1;
  constexpr char ready[] = "{\"event\":\"ready\"}\n";
  DWORD written = 0;
  WriteFile(output, ready, sizeof ready - 1, &written, nullptr);
  CloseHandle(CreateThread(nullptr, 0, await_end, nullptr, 0, nullptr));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
