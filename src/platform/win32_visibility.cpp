// The calls that tell whether the desktop can be seen: windows' visibility and frames, the input
// desktop and the display's power state.
#include <windows.h>

#include <cstring>

#include "platform/win32_handles.h"
#include "platform/win32_platform.h"

namespace orvel {
namespace {

using DwmGetWindowAttributeFunction = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);

// DwmGetWindowAttribute, looked up once; the last error of the failed step where it is missing.
SysResult<DwmGetWindowAttributeFunction> dwm_get_window_attribute_function() {
  static const SysResult<DwmGetWindowAttributeFunction> function =
      []() -> SysResult<DwmGetWindowAttributeFunction> {
    // Only the system's own copy: a dwmapi.dll beside the program must never be loaded. The
    // module stays loaded for as long as the process lives.
    const HMODULE dwmapi = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!dwmapi) return last_error("LoadLibraryExW(dwmapi.dll)");
    const FARPROC found = GetProcAddress(dwmapi, "DwmGetWindowAttribute");
    if (!found) return last_error("GetProcAddress(DwmGetWindowAttribute)");
    return reinterpret_cast<DwmGetWindowAttributeFunction>(reinterpret_cast<void (*)()>(found));
  }();
  return function;
}

}  // namespace

bool Win32Platform::is_window_visible(Hwnd window) {
  return IsWindowVisible(to_hwnd(window)) != FALSE;
}

bool Win32Platform::is_iconic(Hwnd window) {
  return IsIconic(to_hwnd(window)) != FALSE;
}

SysResult<void> Win32Platform::dwm_get_window_attribute(Hwnd window, std::uint32_t attribute,
                                                        std::span<std::byte> value) {
  const SysResult<DwmGetWindowAttributeFunction> function = dwm_get_window_attribute_function();
  if (!function) return std::unexpected(function.error());
  const HRESULT result =
      (*function)(to_hwnd(window), attribute, value.data(), static_cast<DWORD>(value.size()));
  if (FAILED(result)) {
    return std::unexpected(
        SysError{.call = "DwmGetWindowAttribute", .code = static_cast<std::uint32_t>(result)});
  }
  return {};
}

SysResult<Hdesk> Win32Platform::open_input_desktop(std::uint32_t flags, bool inherit,
                                                   std::uint32_t access) {
  const HDESK desktop = OpenInputDesktop(flags, inherit ? TRUE : FALSE, access);
  if (!desktop) return last_error("OpenInputDesktop");
  return handle_cast<Hdesk>(desktop);
}

SysResult<void> Win32Platform::close_desktop(Hdesk desktop) {
  if (!CloseDesktop(handle_cast<HDESK>(desktop))) return last_error("CloseDesktop");
  return {};
}

SysResult<Hdesk> Win32Platform::get_thread_desktop() {
  const HDESK desktop = GetThreadDesktop(GetCurrentThreadId());
  if (!desktop) return last_error("GetThreadDesktop");
  return handle_cast<Hdesk>(desktop);
}

SysResult<std::u16string> Win32Platform::get_user_object_information_w(Hdesk object, int index) {
  wchar_t text[64] = {};
  DWORD needed = 0;
  if (!GetUserObjectInformationW(handle_cast<HANDLE>(object), index, text, sizeof(text), &needed)) {
    return last_error("GetUserObjectInformationW");
  }
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

SysResult<PowerNotification> Win32Platform::register_power_setting_notification(
    Hwnd recipient, const Guid& setting, std::uint32_t flags) {
  GUID guid;
  static_assert(sizeof(guid) == sizeof(setting));
  std::memcpy(&guid, &setting, sizeof(guid));
  const HPOWERNOTIFY notification =
      RegisterPowerSettingNotification(to_hwnd(recipient), &guid, flags);
  if (!notification) return last_error("RegisterPowerSettingNotification");
  return handle_cast<PowerNotification>(notification);
}

SysResult<void> Win32Platform::unregister_power_setting_notification(
    PowerNotification notification) {
  if (!UnregisterPowerSettingNotification(handle_cast<HPOWERNOTIFY>(notification))) {
    return last_error("UnregisterPowerSettingNotification");
  }
  return {};
}

}  // namespace orvel
