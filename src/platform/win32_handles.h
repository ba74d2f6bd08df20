// The program's handle and rectangle values as Windows takes and gives them, and the error of a
// failed call, for the files of the real platform.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <expected>
#include <optional>
#include <type_traits>

#include "platform/types.h"

namespace orvel {

inline HWND to_hwnd(Hwnd window) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(window));
}
inline Hwnd from_hwnd(HWND window) {
  return static_cast<Hwnd>(reinterpret_cast<std::intptr_t>(window));
}
// Any other kind of handle to and from its enumeration.
template <class To, class From>
To handle_cast(From from) {
  if constexpr (std::is_pointer_v<From>) {
    return static_cast<To>(reinterpret_cast<std::intptr_t>(from));
  } else {
    return reinterpret_cast<To>(static_cast<std::intptr_t>(from));
  }
}
inline const wchar_t* to_wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
inline Rect from_rect(const RECT& rect) {
  return {.left = rect.left, .top = rect.top, .right = rect.right, .bottom = rect.bottom};
}
inline std::optional<Hwnd> optional_window(HWND window) {
  if (!window) return std::nullopt;
  return from_hwnd(window);
}
// The failure of `call`, with the last error it left; to be read on the line right after the call.
inline std::unexpected<SysError> last_error(std::string_view call) {
  return std::unexpected(SysError{
      .call = call, .code = hresult_from_last_error(static_cast<std::uint32_t>(GetLastError()))});
}

// A function of a system DLL, loaded from the system folder only: a DLL of that name beside the
// program is never loaded. The DLL stays loaded for as long as the process lives.
template <class F>
SysResult<F> system_function(const wchar_t* dll, const char* name) {
  const HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module) return last_error("LoadLibraryExW");
  const FARPROC found = GetProcAddress(module, name);
  if (!found) return last_error("GetProcAddress");
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(found));
}

// The same, kept in `slot` once found: later calls, on any thread, take it from there. Two first
// calls may both look it up, to the same end.
template <class F>
SysResult<F> kept_system_function(std::atomic<F>& slot, const wchar_t* dll, const char* name) {
  if (const F kept = slot.load(std::memory_order_acquire)) return kept;
  const SysResult<F> found = system_function<F>(dll, name);
  if (found) slot.store(*found, std::memory_order_release);
  return found;
}

}  // namespace orvel
