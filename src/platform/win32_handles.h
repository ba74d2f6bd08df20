// The program's handle and rectangle values as Windows takes and gives them, and the last error
// of a failed call, for the files of the real platform.
#pragma once

#include <windows.h>

#include <cstdint>
#include <expected>
#include <optional>

#include "platform/platform.h"

namespace orvel {

inline HWND to_hwnd(Hwnd window) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(window));
}
inline Hwnd from_hwnd(HWND window) {
  return static_cast<Hwnd>(reinterpret_cast<std::intptr_t>(window));
}
inline HMONITOR to_hmonitor(Hmonitor monitor) {
  return reinterpret_cast<HMONITOR>(static_cast<std::intptr_t>(monitor));
}
inline HANDLE to_handle(Handle handle) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle));
}
inline Rect from_rect(const RECT& rect) {
  return {.left = rect.left, .top = rect.top, .right = rect.right, .bottom = rect.bottom};
}
inline std::optional<Hwnd> optional_window(HWND window) {
  if (!window) return std::nullopt;
  return from_hwnd(window);
}
inline std::unexpected<LastError> last_error() {
  return std::unexpected(static_cast<LastError>(GetLastError()));
}

}  // namespace orvel
