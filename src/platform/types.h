// The program's vocabulary: handles, rectangles and points, the failure of a system call, the
// records that calls give, and the values of the Windows constants the program passes. Nothing here
// calls anything: pure code needs only this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace orvel {

// A window is the program's main currency: the same signed number appears on the command line, in
// events and in every call. The other handles are kinds of their own, so that none of them can be
// passed where a window is meant.
using Hwnd = std::int64_t;
enum class Hmonitor : std::int64_t {};
enum class Hhook : std::int64_t {};
enum class PowerNotification : std::int64_t {};
enum class Hdesk : std::int64_t {};
using Handle = std::int64_t;
using DpiContext = std::int64_t;
using Hmodule = std::int64_t;

// A failed system call: its name, and its code as an HRESULT. A Win32 last error becomes
// 0x8007xxxx; a zero last error after a reported failure stays 0, and is still a failure.
struct SysError {
  std::string_view call;
  std::uint32_t code = 0;
  bool operator==(const SysError&) const = default;
};
inline constexpr std::uint32_t hresult_from_last_error(std::uint32_t last_error) {
  return static_cast<std::int32_t>(last_error) <= 0 ? last_error
                                                    : 0x80070000u | (last_error & 0xFFFFu);
}

template <class T>
using SysResult = std::expected<T, SysError>;

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  bool operator==(const Rect&) const = default;
};

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const Point&) const = default;
};

// A GUID, laid out as the system lays it out.
struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};
  bool operator==(const Guid&) const = default;
};

// The head of the POWERBROADCAST_SETTING that WM_POWERBROADCAST points to; the data follows it.
struct PowerSettingHeader {
  Guid setting;
  std::uint32_t data_length = 0;
};

// A power setting as the system hands it over: which one, and its value, a 32-bit number for every
// setting the program asks for.
struct PowerSetting {
  Guid setting;
  std::uint32_t value = 0;
  bool operator==(const PowerSetting&) const = default;
};

// Where the power comes from, and whether the battery saver is on, as GetSystemPowerStatus says.
struct SystemPowerStatus {
  bool on_ac = true;
  bool saver_on = false;
};

// A monitor as the system describes it: its whole area and its work area in virtual-screen
// coordinates, whether it is the primary one, and its device name ("\\.\DISPLAY1").
struct MonitorInfo {
  Rect monitor;
  Rect work;
  bool primary = false;
  std::u16string device;
};

// The system's own version, not the one a program without a manifest is told.
struct SystemVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
};

struct WindowOwner {
  std::uint32_t thread_id = 0;
  std::uint32_t process_id = 0;
};

// One message record of a thread's queue.
struct Message {
  Hwnd window = 0;
  std::uint32_t message = 0;
  std::uint64_t wparam = 0;
  std::int64_t lparam = 0;
};

// The parts of one raw input record that the program reads: the header's type and, for a mouse,
// its button transition flags and button data.
struct RawInputRecord {
  std::uint32_t type = 0;
  std::uint16_t button_flags = 0;
  std::uint16_t button_data = 0;
};

struct RawInputDevice {
  std::uint16_t usage_page = 0;
  std::uint16_t usage = 0;
  std::uint32_t flags = 0;
  Hwnd target = 0;
};

// The values of the Windows constants that the program passes through the seam.
namespace win {
inline constexpr Hwnd hwnd_top = 0;
inline constexpr std::int64_t invalid_handle_value = -1;
inline constexpr int gwl_style = -16;
inline constexpr int gwl_exstyle = -20;
inline constexpr std::uint32_t ga_parent = 1;
inline constexpr std::uint32_t ga_root = 2;
inline constexpr std::uint32_t gw_hwndprev = 3;
inline constexpr std::uint32_t gw_child = 5;
inline constexpr std::uint32_t monitor_defaulttonearest = 2;
inline constexpr DpiContext dpi_awareness_context_per_monitor_aware_v2 = -4;
inline constexpr std::uint32_t swp_nosize = 0x0001;
inline constexpr std::uint32_t swp_nomove = 0x0002;
inline constexpr std::uint32_t swp_nozorder = 0x0004;
inline constexpr std::uint32_t swp_noactivate = 0x0010;
inline constexpr std::uint32_t swp_showwindow = 0x0040;
inline constexpr std::uint32_t swp_asyncwindowpos = 0x4000;
inline constexpr std::uint32_t smto_normal = 0x0000;
inline constexpr std::uint32_t smto_abortifhung = 0x0002;
inline constexpr std::uint32_t msgflt_allow = 1;
inline constexpr std::uint32_t error_timeout = 1460;
inline constexpr std::uint32_t spi_setdeskwallpaper = 0x0014;
inline constexpr std::uint32_t spif_updateinifile = 0x0001;
inline constexpr std::uint32_t ws_popup = 0x80000000;
inline constexpr std::uint32_t ws_child = 0x40000000;
inline constexpr std::uint32_t ws_clipsiblings = 0x04000000;
inline constexpr std::uint32_t ws_ex_appwindow = 0x00040000;
inline constexpr std::uint32_t ws_ex_windowedge = 0x00000100;
inline constexpr std::uint32_t ws_ex_acceptfiles = 0x00000010;
inline constexpr std::uint32_t ws_ex_transparent = 0x00000020;
inline constexpr std::uint32_t ws_ex_layered = 0x00080000;
inline constexpr std::uint32_t format_message_allocate_buffer = 0x0100;
inline constexpr std::uint32_t format_message_ignore_inserts = 0x0200;
inline constexpr std::uint32_t format_message_from_hmodule = 0x0800;
inline constexpr std::uint32_t format_message_from_system = 0x1000;
inline constexpr std::uint32_t wm_null = 0x0000;
inline constexpr std::uint32_t wm_destroy = 0x0002;
inline constexpr std::uint32_t wm_close = 0x0010;
inline constexpr std::uint32_t wm_endsession = 0x0016;
inline constexpr std::uint32_t wm_settingchange = 0x001A;
inline constexpr std::uint32_t wm_displaychange = 0x007E;
inline constexpr std::uint32_t wm_input = 0x00FF;
inline constexpr std::uint32_t wm_timer = 0x0113;
inline constexpr std::uint32_t wm_powerbroadcast = 0x0218;
inline constexpr std::uint32_t wm_dpichanged = 0x02E0;
inline constexpr std::uint32_t wm_app = 0x8000;
inline constexpr std::uint64_t pbt_apmresumeautomatic = 0x0012;
inline constexpr std::uint64_t pbt_powersettingchange = 0x8013;
inline constexpr std::uint64_t spi_setworkarea = 0x002F;
inline constexpr std::uint32_t event_system_foreground = 0x0003;
inline constexpr std::uint32_t event_system_minimizestart = 0x0016;
inline constexpr std::uint32_t event_system_minimizeend = 0x0017;
inline constexpr std::uint32_t event_system_desktopswitch = 0x0020;
inline constexpr std::uint32_t event_object_destroy = 0x8001;
inline constexpr std::uint32_t event_object_show = 0x8002;
inline constexpr std::uint32_t event_object_hide = 0x8003;
inline constexpr std::uint32_t event_object_reorder = 0x8004;
inline constexpr std::uint32_t event_object_locationchange = 0x800B;
inline constexpr std::uint32_t event_object_cloaked = 0x8017;
inline constexpr std::uint32_t event_object_uncloaked = 0x8018;
inline constexpr std::uint32_t dwmwa_extended_frame_bounds = 9;
inline constexpr std::uint32_t dwmwa_cloaked = 14;
inline constexpr std::uint32_t device_notify_window_handle = 0;
inline constexpr Guid guid_console_display_state = {
    0x6FE69556, 0x704A, 0x47A0, {0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47}};
// 0: AC, 1: battery, 2: a short-term source (a UPS).
inline constexpr Guid guid_acdc_power_source = {
    0x5D3E9A59, 0xE9D5, 0x4B00, {0xA6, 0xBD, 0xFF, 0x34, 0xFF, 0x51, 0x65, 0x48}};
// The battery saver: 0 off, 1 on.
inline constexpr Guid guid_power_saving_status = {
    0xE00958C0, 0xC213, 0x4ACE, {0xAC, 0x77, 0xFE, 0xCC, 0xED, 0x2E, 0xEE, 0xA5}};
// The energy saver of Windows 11 24H2 and later: 0 off, 1 on (standard), 2 on (high savings).
inline constexpr Guid guid_energy_saver_status = {
    0x550E8400, 0xE29B, 0x41D4, {0xA7, 0x16, 0x44, 0x66, 0x55, 0x44, 0x00, 0x00}};
inline constexpr std::uint32_t desktop_readobjects = 0x0001;
inline constexpr int uoi_name = 2;
inline constexpr std::int32_t objid_window = 0;
inline constexpr std::uint32_t winevent_outofcontext = 0x0000;
inline constexpr std::uint32_t winevent_skipownprocess = 0x0002;
inline constexpr std::uint32_t std_input_handle = static_cast<std::uint32_t>(-10);
inline constexpr std::uint32_t file_begin = 0;
inline constexpr std::uint32_t file_end = 2;
inline constexpr std::uint32_t rim_typemouse = 0;
inline constexpr std::uint32_t ridev_inputsink = 0x00000100;
inline constexpr int sm_swapbutton = 23;
}  // namespace win

}  // namespace orvel
