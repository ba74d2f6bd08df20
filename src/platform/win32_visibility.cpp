// The calls that tell what can be seen of the desktop and what it is made of: windows' visibility
// and frames, the input desktop, the display's power state and the system's power source and
// savers, monitors' DPI and composition.
#include <windows.h>

#include <cstddef>
#include <cstring>

#include "platform/win32_handles.h"
#include "platform/win32_platform.h"

namespace orvel {
namespace {

using DwmGetWindowAttributeFunction = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);
using DwmIsCompositionEnabledFunction = HRESULT(WINAPI*)(BOOL*);
using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
constexpr int mdt_effective_dpi = 0;

// A failed call that gives an HRESULT of its own.
std::unexpected<SysError> hresult_error(std::string_view call, HRESULT result) {
  return std::unexpected(SysError{.call = call, .code = static_cast<std::uint32_t>(result)});
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
  // Looked up once: the visibility answer asks for it of every window above the desktop.
  static std::atomic<DwmGetWindowAttributeFunction> kept{nullptr};
  const SysResult<DwmGetWindowAttributeFunction> function =
      kept_system_function(kept, L"dwmapi.dll", "DwmGetWindowAttribute");
  if (!function) return told<void>(std::unexpected(function.error()));
  const HRESULT result =
      (*function)(to_hwnd(window), attribute, value.data(), static_cast<DWORD>(value.size()));
  if (FAILED(result)) return told<void>(hresult_error("DwmGetWindowAttribute", result));
  return {};
}

SysResult<bool> Win32Platform::dwm_is_composition_enabled() {
  const SysResult<DwmIsCompositionEnabledFunction> function =
      system_function<DwmIsCompositionEnabledFunction>(L"dwmapi.dll", "DwmIsCompositionEnabled");
  if (!function) return told<bool>(std::unexpected(function.error()));
  BOOL enabled = FALSE;
  if (const HRESULT result = (*function)(&enabled); FAILED(result)) {
    return told<bool>(hresult_error("DwmIsCompositionEnabled", result));
  }
  return enabled != FALSE;
}

SysResult<std::uint32_t> Win32Platform::get_dpi_for_monitor(Hmonitor monitor) {
  const SysResult<GetDpiForMonitorFunction> function =
      system_function<GetDpiForMonitorFunction>(L"shcore.dll", "GetDpiForMonitor");
  if (!function) return told<std::uint32_t>(std::unexpected(function.error()));
  UINT x = 0;
  UINT y = 0;
  if (const HRESULT result = (*function)(handle_cast<HMONITOR>(monitor), mdt_effective_dpi, &x, &y);
      FAILED(result)) {
    return told<std::uint32_t>(hresult_error("GetDpiForMonitor", result));
  }
  return static_cast<std::uint32_t>(x);
}

SysResult<Hdesk> Win32Platform::open_input_desktop(std::uint32_t flags, bool inherit,
                                                   std::uint32_t access) {
  const HDESK desktop = OpenInputDesktop(flags, inherit ? TRUE : FALSE, access);
  if (!desktop) return failed("OpenInputDesktop");
  return handle_cast<Hdesk>(desktop);
}

SysResult<void> Win32Platform::close_desktop(Hdesk desktop) {
  if (!CloseDesktop(handle_cast<HDESK>(desktop))) return failed("CloseDesktop");
  return {};
}

SysResult<Hdesk> Win32Platform::get_thread_desktop() {
  const HDESK desktop = GetThreadDesktop(GetCurrentThreadId());
  if (!desktop) return failed("GetThreadDesktop");
  return handle_cast<Hdesk>(desktop);
}

SysResult<std::u16string> Win32Platform::get_user_object_information_w(Hdesk object, int index) {
  wchar_t text[64] = {};
  DWORD needed = 0;
  if (!GetUserObjectInformationW(handle_cast<HANDLE>(object), index, text, sizeof(text), &needed)) {
    return failed("GetUserObjectInformationW");
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
  if (!notification) return failed("RegisterPowerSettingNotification");
  return handle_cast<PowerNotification>(notification);
}

SysResult<SystemPowerStatus> Win32Platform::get_system_power_status() {
  SYSTEM_POWER_STATUS status{};
  if (!GetSystemPowerStatus(&status)) return failed("GetSystemPowerStatus");
  // An unknown line status (255) is taken for AC: nothing says the battery is in use.
  constexpr BYTE ac_offline = 0;
  constexpr BYTE battery_saver_on = 1;
  // The byte after the battery's charge: SystemStatusFlag, which some headers still call Reserved1.
  static_assert(offsetof(SYSTEM_POWER_STATUS, BatteryLifePercent) == 2);
  BYTE system_status = 0;
  std::memcpy(&system_status, reinterpret_cast<const BYTE*>(&status) + 3, 1);
  return SystemPowerStatus{.on_ac = status.ACLineStatus != ac_offline,
                           .saver_on = system_status == battery_saver_on};
}

SysResult<void> Win32Platform::unregister_power_setting_notification(
    PowerNotification notification) {
  if (!UnregisterPowerSettingNotification(handle_cast<HPOWERNOTIFY>(notification))) {
    return failed("UnregisterPowerSettingNotification");
  }
  return {};
}

}  // namespace orvel
