// What the check's parts share: owned handles, errors of system calls, and waits that keep this
// thread's windows answering.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace wallpaper_check {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// A moment `ms` from now, on GetTickCount64's clock.
inline ULONGLONG after_ms(ULONGLONG ms) {
  return GetTickCount64() + ms;
}

// Takes this thread's messages until `done` holds or the deadline passes; whether it held.
template <class Done>
bool serve_until(ULONGLONG deadline, const Done& done) {
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    if (done()) return true;
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

// "<call> failed with error <code>", for the call that just failed.
inline std::string failed(const char* call) {
  const DWORD code = GetLastError();
  return std::string(call) + " failed with error " + std::to_string(code);
}

}  // namespace wallpaper_check
