// The calls of the program's own window, its thread's message queue, timers, WinEvent hooks and
// raw mouse input.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "platform/win32_handles.h"
#include "platform/win32_platform.h"

namespace orvel {
namespace {

HINSTANCE to_hinstance(Hmodule module) {
  return handle_cast<HINSTANCE>(module);
}

MSG to_msg(const Message& message) {
  return {.hwnd = to_hwnd(message.window),
          .message = message.message,
          .wParam = message.wparam,
          .lParam = message.lparam};
}

// The program's own window and its handler. Bound by the program's own CreateWindowExA alone and
// let go by its own DestroyWindow alone: nothing that another process sends or writes (a
// WM_NCCREATE that points anywhere, a WM_NCDESTROY, the window's user data) binds, cuts or ends it.
// Only the thread that makes the window touches these, since its procedure runs there alone.
struct OwnWindow {
  HWND window = nullptr;
  WindowHandler* handler = nullptr;
  WindowHandler* being_created = nullptr;  // during the program's CreateWindowExA
  HWND being_destroyed = nullptr;          // during the program's DestroyWindow
};
OwnWindow own_window;

bool lifetime_message(UINT message) {
  return message == WM_NCCREATE || message == WM_CREATE || message == WM_DESTROY ||
         message == WM_NCDESTROY;
}

LRESULT CALLBACK window_proc_trampoline(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (own_window.being_created && !own_window.window) {
    own_window.window = window;
    own_window.handler = own_window.being_created;
  }
  if (window != own_window.window) return DefWindowProcA(window, message, wparam, lparam);
  // A window's creation and destruction happen inside the calls that make and destroy it; the same
  // messages at any other time are someone else's words, and are answered with nothing.
  if (lifetime_message(message) && !own_window.being_created &&
      own_window.being_destroyed != window) {
    return 0;
  }
  return own_window.handler->on_message(from_hwnd(window), message, wparam, lparam);
}

// The WinEvent callback is given nothing of ours: this is its only way to the program.
std::atomic<WinEventHandler*> win_event_handler{nullptr};

void CALLBACK win_event_trampoline(HWINEVENTHOOK, DWORD event, HWND window, LONG object_id, LONG,
                                   DWORD, DWORD) {
  if (WinEventHandler* handler = win_event_handler.load()) {
    handler->on_win_event(static_cast<std::uint32_t>(event), from_hwnd(window),
                          static_cast<std::int32_t>(object_id));
  }
}

// One raw input header followed by one mouse record, as a 64-bit process receives them.
constexpr UINT raw_mouse_record_size = 48;
static_assert(sizeof(RAWINPUTHEADER) == 24 && sizeof(RAWMOUSE) == 24);
static_assert(sizeof(RAWINPUTHEADER) + sizeof(RAWMOUSE) == raw_mouse_record_size);

}  // namespace

SysResult<std::uint16_t> Win32Platform::register_class_a(std::string_view class_name,
                                                         Hmodule instance) {
  const std::string name(class_name);
  const WNDCLASSA description{.lpfnWndProc = window_proc_trampoline,
                              .hInstance = to_hinstance(instance),
                              .lpszClassName = name.c_str()};
  const ATOM atom = RegisterClassA(&description);
  if (atom == 0) return failed("RegisterClassA");
  return atom;
}

SysResult<std::uint32_t> Win32Platform::register_window_message_w(std::u16string_view name) {
  const std::u16string terminated(name);
  const UINT message = RegisterWindowMessageW(to_wide(terminated.c_str()));
  if (message == 0) return failed("RegisterWindowMessageW");
  return message;
}

SysResult<Hwnd> Win32Platform::create_window_ex_a(const WindowCreation& creation) {
  const std::string class_name(creation.class_name);
  const std::string window_name(creation.window_name);
  own_window.being_created = creation.handler;
  const HWND window = CreateWindowExA(0, class_name.c_str(), window_name.c_str(), 0, 0, 0, 0, 0,
                                      nullptr, nullptr, to_hinstance(creation.instance), nullptr);
  if (!window) {
    const std::unexpected<SysError> error = failed("CreateWindowExA");
    own_window = {};
    return error;
  }
  own_window.being_created = nullptr;
  return from_hwnd(window);
}

SysResult<void> Win32Platform::destroy_window(Hwnd window) {
  own_window.being_destroyed = to_hwnd(window);
  const BOOL destroyed = DestroyWindow(to_hwnd(window));
  if (!destroyed) {
    const std::unexpected<SysError> error = failed("DestroyWindow");
    own_window.being_destroyed = nullptr;
    return error;
  }
  if (own_window.window == to_hwnd(window)) own_window = {};
  own_window.being_destroyed = nullptr;
  return {};
}

std::int64_t Win32Platform::def_window_proc_a(Hwnd window, std::uint32_t message,
                                              std::uint64_t wparam, std::int64_t lparam) {
  return DefWindowProcA(to_hwnd(window), message, wparam, lparam);
}

SysResult<bool> Win32Platform::get_message_w(Message& message) {
  MSG received{};
  const BOOL result = GetMessageW(&received, nullptr, 0, 0);
  if (result == -1) return failed("GetMessageW");
  message = {.window = from_hwnd(received.hwnd),
             .message = received.message,
             .wparam = received.wParam,
             .lparam = received.lParam};
  return result != 0;
}

void Win32Platform::translate_message(const Message& message) {
  const MSG translated = to_msg(message);
  TranslateMessage(&translated);
}

void Win32Platform::dispatch_message_w(const Message& message) {
  const MSG dispatched = to_msg(message);
  DispatchMessageW(&dispatched);
}

SysResult<void> Win32Platform::post_message_w(Hwnd window, std::uint32_t message,
                                              std::uint64_t wparam, std::int64_t lparam) {
  if (!PostMessageW(to_hwnd(window), message, wparam, lparam)) return failed("PostMessageW");
  return {};
}

void Win32Platform::post_quit_message(int exit_code) {
  PostQuitMessage(exit_code);
}

SysResult<void> Win32Platform::change_window_message_filter_ex(Hwnd window, std::uint32_t message,
                                                               std::uint32_t action) {
  if (!ChangeWindowMessageFilterEx(to_hwnd(window), message, action, nullptr)) {
    return failed("ChangeWindowMessageFilterEx");
  }
  return {};
}

SysResult<void> Win32Platform::send_message_timeout_w(Hwnd window, std::uint32_t message,
                                                      std::uint64_t wparam, std::int64_t lparam,
                                                      std::uint32_t flags,
                                                      std::uint32_t timeout_ms) {
  return watched("SendMessageTimeoutW", [&]() -> SysResult<void> {
    if (!SendMessageTimeoutW(to_hwnd(window), message, wparam, lparam, flags, timeout_ms,
                             nullptr)) {
      return failed("SendMessageTimeoutW");
    }
    return {};
  });
}

SysResult<std::uint64_t> Win32Platform::set_timer(Hwnd window, std::uint64_t id,
                                                  std::uint32_t period_ms) {
  SetLastError(0);
  const UINT_PTR timer = SetTimer(to_hwnd(window), id, period_ms, nullptr);
  if (timer == 0) return failed("SetTimer");
  return timer;
}

SysResult<void> Win32Platform::kill_timer(Hwnd window, std::uint64_t id) {
  if (!KillTimer(to_hwnd(window), id)) return failed("KillTimer");
  return {};
}

void Win32Platform::set_win_event_handler(WinEventHandler* handler) {
  win_event_handler.store(handler);
}

SysResult<Hhook> Win32Platform::set_win_event_hook(std::uint32_t event_min, std::uint32_t event_max,
                                                   std::uint32_t flags) {
  // The call sets no last error of its own: a failure then reads 0.
  SetLastError(0);
  const HWINEVENTHOOK hook =
      SetWinEventHook(event_min, event_max, nullptr, win_event_trampoline, 0, 0, flags);
  if (!hook) return failed("SetWinEventHook");
  return handle_cast<Hhook>(hook);
}

SysResult<void> Win32Platform::unhook_win_event(Hhook hook) {
  if (!UnhookWinEvent(handle_cast<HWINEVENTHOOK>(hook))) return failed("UnhookWinEvent");
  return {};
}

SysResult<void> Win32Platform::register_raw_input_devices(std::span<const RawInputDevice> devices) {
  std::vector<RAWINPUTDEVICE> described;
  described.reserve(devices.size());
  for (const RawInputDevice& device : devices) {
    described.push_back({.usUsagePage = device.usage_page,
                         .usUsage = device.usage,
                         .dwFlags = device.flags,
                         .hwndTarget = to_hwnd(device.target)});
  }
  if (!RegisterRawInputDevices(described.data(), static_cast<UINT>(described.size()),
                               sizeof(RAWINPUTDEVICE))) {
    return failed("RegisterRawInputDevices");
  }
  return {};
}

SysResult<RawInputRecord> Win32Platform::get_raw_input_data(std::int64_t raw_input) {
  alignas(RAWINPUTHEADER) std::byte record[raw_mouse_record_size]{};
  UINT size = raw_mouse_record_size;
  const UINT copied = GetRawInputData(handle_cast<HRAWINPUT>(raw_input), RID_INPUT, record, &size,
                                      sizeof(RAWINPUTHEADER));
  if (copied == static_cast<UINT>(-1)) return failed("GetRawInputData");
  RAWINPUTHEADER header;
  RAWMOUSE mouse;
  std::memcpy(&header, record, sizeof(header));
  std::memcpy(&mouse, record + sizeof(header), sizeof(mouse));
  return RawInputRecord{.type = static_cast<std::uint32_t>(header.dwType),
                        .button_flags = mouse.usButtonFlags,
                        .button_data = mouse.usButtonData};
}

SysResult<Point> Win32Platform::get_cursor_pos() {
  POINT position{};
  if (!GetCursorPos(&position)) return failed("GetCursorPos");
  return Point{.x = position.x, .y = position.y};
}

int Win32Platform::get_system_metrics(int index) {
  return GetSystemMetrics(index);
}

}  // namespace orvel
