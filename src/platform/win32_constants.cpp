// The program's copies of the Windows constants, checked against the system's headers: a copy that
// drifts from its original stops the build. Those that the headers define as pointers (HWND_TOP,
// INVALID_HANDLE_VALUE, the DPI awareness contexts) or as linked data (GUIDs) cannot be compared
// while compiling.
#include <windows.h>
// The system headers below need windows.h first.
#include <dwmapi.h>

#include "platform/types.h"

namespace orvel {
namespace {

template <class Ours, class Theirs>
constexpr bool same(Ours ours, Theirs theirs) {
  return ours == static_cast<Ours>(theirs);
}

#define ORVEL_SAME(ours, theirs) static_assert(same(win::ours, theirs), #ours " is " #theirs)
ORVEL_SAME(gwl_style, GWL_STYLE);
ORVEL_SAME(gwl_exstyle, GWL_EXSTYLE);
ORVEL_SAME(ga_parent, GA_PARENT);
ORVEL_SAME(ga_root, GA_ROOT);
ORVEL_SAME(gw_hwndprev, GW_HWNDPREV);
ORVEL_SAME(gw_child, GW_CHILD);
ORVEL_SAME(monitor_defaulttonearest, MONITOR_DEFAULTTONEAREST);
ORVEL_SAME(swp_nosize, SWP_NOSIZE);
ORVEL_SAME(swp_nomove, SWP_NOMOVE);
ORVEL_SAME(swp_nozorder, SWP_NOZORDER);
ORVEL_SAME(swp_noactivate, SWP_NOACTIVATE);
ORVEL_SAME(swp_showwindow, SWP_SHOWWINDOW);
ORVEL_SAME(swp_asyncwindowpos, SWP_ASYNCWINDOWPOS);
ORVEL_SAME(smto_normal, SMTO_NORMAL);
ORVEL_SAME(smto_abortifhung, SMTO_ABORTIFHUNG);
ORVEL_SAME(msgflt_allow, MSGFLT_ALLOW);
ORVEL_SAME(error_timeout, ERROR_TIMEOUT);
ORVEL_SAME(spi_setdeskwallpaper, SPI_SETDESKWALLPAPER);
ORVEL_SAME(spif_updateinifile, SPIF_UPDATEINIFILE);
ORVEL_SAME(ws_popup, WS_POPUP);
ORVEL_SAME(ws_child, WS_CHILD);
ORVEL_SAME(ws_clipsiblings, WS_CLIPSIBLINGS);
ORVEL_SAME(ws_ex_appwindow, WS_EX_APPWINDOW);
ORVEL_SAME(ws_ex_windowedge, WS_EX_WINDOWEDGE);
ORVEL_SAME(ws_ex_acceptfiles, WS_EX_ACCEPTFILES);
ORVEL_SAME(ws_ex_transparent, WS_EX_TRANSPARENT);
ORVEL_SAME(ws_ex_layered, WS_EX_LAYERED);
ORVEL_SAME(format_message_allocate_buffer, FORMAT_MESSAGE_ALLOCATE_BUFFER);
ORVEL_SAME(format_message_ignore_inserts, FORMAT_MESSAGE_IGNORE_INSERTS);
ORVEL_SAME(format_message_from_hmodule, FORMAT_MESSAGE_FROM_HMODULE);
ORVEL_SAME(format_message_from_system, FORMAT_MESSAGE_FROM_SYSTEM);
ORVEL_SAME(wm_null, WM_NULL);
ORVEL_SAME(wm_destroy, WM_DESTROY);
ORVEL_SAME(wm_close, WM_CLOSE);
ORVEL_SAME(wm_endsession, WM_ENDSESSION);
ORVEL_SAME(wm_settingchange, WM_SETTINGCHANGE);
ORVEL_SAME(wm_displaychange, WM_DISPLAYCHANGE);
ORVEL_SAME(wm_input, WM_INPUT);
ORVEL_SAME(wm_timer, WM_TIMER);
ORVEL_SAME(wm_powerbroadcast, WM_POWERBROADCAST);
ORVEL_SAME(wm_dpichanged, WM_DPICHANGED);
ORVEL_SAME(wm_app, WM_APP);
ORVEL_SAME(pbt_apmresumeautomatic, PBT_APMRESUMEAUTOMATIC);
ORVEL_SAME(pbt_powersettingchange, PBT_POWERSETTINGCHANGE);
ORVEL_SAME(spi_setworkarea, SPI_SETWORKAREA);
ORVEL_SAME(event_system_foreground, EVENT_SYSTEM_FOREGROUND);
ORVEL_SAME(event_system_minimizestart, EVENT_SYSTEM_MINIMIZESTART);
ORVEL_SAME(event_system_minimizeend, EVENT_SYSTEM_MINIMIZEEND);
ORVEL_SAME(event_system_desktopswitch, EVENT_SYSTEM_DESKTOPSWITCH);
ORVEL_SAME(event_object_destroy, EVENT_OBJECT_DESTROY);
ORVEL_SAME(event_object_show, EVENT_OBJECT_SHOW);
ORVEL_SAME(event_object_hide, EVENT_OBJECT_HIDE);
ORVEL_SAME(event_object_reorder, EVENT_OBJECT_REORDER);
ORVEL_SAME(event_object_locationchange, EVENT_OBJECT_LOCATIONCHANGE);
ORVEL_SAME(event_object_cloaked, EVENT_OBJECT_CLOAKED);
ORVEL_SAME(event_object_uncloaked, EVENT_OBJECT_UNCLOAKED);
ORVEL_SAME(dwmwa_extended_frame_bounds, DWMWA_EXTENDED_FRAME_BOUNDS);
ORVEL_SAME(dwmwa_cloaked, DWMWA_CLOAKED);
ORVEL_SAME(device_notify_window_handle, DEVICE_NOTIFY_WINDOW_HANDLE);
ORVEL_SAME(desktop_readobjects, DESKTOP_READOBJECTS);
ORVEL_SAME(uoi_name, UOI_NAME);
ORVEL_SAME(objid_window, OBJID_WINDOW);
ORVEL_SAME(winevent_outofcontext, WINEVENT_OUTOFCONTEXT);
ORVEL_SAME(winevent_skipownprocess, WINEVENT_SKIPOWNPROCESS);
ORVEL_SAME(std_input_handle, STD_INPUT_HANDLE);
ORVEL_SAME(file_begin, FILE_BEGIN);
ORVEL_SAME(file_end, FILE_END);
ORVEL_SAME(rim_typemouse, RIM_TYPEMOUSE);
ORVEL_SAME(ridev_inputsink, RIDEV_INPUTSINK);
ORVEL_SAME(sm_swapbutton, SM_SWAPBUTTON);
#undef ORVEL_SAME

}  // namespace
}  // namespace orvel
