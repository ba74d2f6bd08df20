// The helper as shipped, on a platform that can also log each Windows call it makes and make a
// named call fail or take longer at its n-th use, so that tests under Wine can force failures and
// thread interleavings on the whole program:
//   ORVEL_CALL_LOG=<file>  appends "<thread id> <call>" for each call
//   ORVEL_FAULTS=<call>@<use>:<last error>,<call>@<use>+<ms>,...
// Uses are counted per call across all threads, from 1. A failing call is not made: it gives the
// last error, or false, nothing or 0 where the call has no last error. A slow call sleeps first.
#include <windows.h>

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "main/entry.h"
#include "platform/win32_platform.h"

namespace orvel {
namespace {

template <class T>
constexpr bool is_sys_result = false;
template <class T>
constexpr bool is_sys_result<SysResult<T>> = true;

struct Fault {
  int use = 0;
  LastError error = 0;
  std::uint32_t delay_ms = 0;
};

struct Counter {
  std::atomic<int> uses{0};
  std::vector<Fault> faults;
};

class FaultPlatform : public Win32Platform {
 public:
  FaultPlatform() {
    if (const char* path = std::getenv("ORVEL_CALL_LOG")) {
      log_ = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    const char* faults = std::getenv("ORVEL_FAULTS");
    for (std::string_view rest = faults ? faults : ""; !rest.empty();) {
      const std::string_view rule = rest.substr(0, rest.find(','));
      rest.remove_prefix(std::min(rest.size(), rule.size() + 1));
      const std::size_t at = rule.find('@'), how = rule.find_first_of(":+");
      Fault fault;
      std::uint32_t value = 0;
      std::from_chars(rule.data() + at + 1, rule.data() + how, fault.use);
      std::from_chars(rule.data() + how + 1, rule.data() + rule.size(), value);
      (rule[how] == ':' ? fault.error : fault.delay_ms) = value;
      counters_[std::string(rule.substr(0, at))].faults.push_back(fault);
    }
  }

  // Each override: its Windows name, its type, and its arguments.
#define ORVEL_FAULTY(name, type, method, parameters, arguments)                 \
  type method parameters override {                                             \
    return faulty<type>(name, [&] { return Win32Platform::method arguments; }); \
  }
  ORVEL_FAULTY("WriteFile(stdout)", SysResult<void>, write_stdout, (std::string_view text), (text))
  ORVEL_FAULTY("WriteFile(stderr)", SysResult<void>, write_stderr, (std::string_view text), (text))
  ORVEL_FAULTY("GetConsoleMode", SysResult<std::uint32_t>, get_console_mode, (Handle h), (h))
  ORVEL_FAULTY("ReadFile", SysResult<std::size_t>, read_file, (Handle h, std::span<char> b), (h, b))
  ORVEL_FAULTY("ReadConsoleW", SysResult<std::size_t>, read_console_w,
               (Handle h, std::span<char16_t> b), (h, b))
  ORVEL_FAULTY("GetModuleHandleW", SysResult<Hmodule>, get_module_handle_w, (const char16_t* n),
               (n))
  ORVEL_FAULTY("FormatMessageW", SysResult<std::u16string>, format_message_w,
               (std::uint32_t f, Hmodule s, std::uint32_t c), (f, s, c))
  ORVEL_FAULTY("CreateThread", SysResult<void>, start_thread, (ThreadBody body), (body))
  ORVEL_FAULTY("SetProcessDpiAwarenessContext", SysResult<void>, set_process_dpi_awareness_context,
               (DpiContext c), (c))
  ORVEL_FAULTY("SetThreadDpiAwarenessContext", SysResult<DpiContext>,
               set_thread_dpi_awareness_context, (DpiContext c), (c))
  ORVEL_FAULTY("IsWindow", bool, is_window, (Hwnd w), (w))
  ORVEL_FAULTY("FindWindowA", SysResult<Hwnd>, find_window_a, (std::string_view c), (c))
  ORVEL_FAULTY("FindWindowExA", SysResult<Hwnd>, find_window_ex_a,
               (Hwnd p, Hwnd after, std::string_view c), (p, after, c))
  ORVEL_FAULTY("EnumWindows", bool, enum_windows, (const WindowVisitor& v), (v))
  ORVEL_FAULTY("EnumChildWindows", void, enum_child_windows, (Hwnd p, const WindowVisitor& v),
               (p, v))
  ORVEL_FAULTY("GetClassNameW", SysResult<std::u16string>, get_class_name_w, (Hwnd w, int c),
               (w, c))
  ORVEL_FAULTY("GetAncestor", std::optional<Hwnd>, get_ancestor, (Hwnd w, std::uint32_t f), (w, f))
  ORVEL_FAULTY("WindowFromPoint", std::optional<Hwnd>, window_from_point, (Point p), (p))
  ORVEL_FAULTY("GetForegroundWindow", std::optional<Hwnd>, get_foreground_window, (), ())
  ORVEL_FAULTY("GetWindow", SysResult<Hwnd>, get_window, (Hwnd w, std::uint32_t c), (w, c))
  ORVEL_FAULTY("GetWindowThreadProcessId", SysResult<WindowOwner>, get_window_thread_process_id,
               (Hwnd w), (w))
  ORVEL_FAULTY("GetWindowRect", SysResult<Rect>, get_window_rect, (Hwnd w), (w))
  ORVEL_FAULTY("ScreenToClient", SysResult<Point>, screen_to_client, (Hwnd w, Point p), (w, p))
  ORVEL_FAULTY("GetWindowLongPtrW", SysResult<std::int64_t>, get_window_long_ptr_w, (Hwnd w, int i),
               (w, i))
  ORVEL_FAULTY("SetWindowLongPtrW", SysResult<std::int64_t>, set_window_long_ptr_w,
               (Hwnd w, int i, std::int64_t v), (w, i, v))
  ORVEL_FAULTY("SetParent", SysResult<Hwnd>, set_parent, (Hwnd c, Hwnd p), (c, p))
  ORVEL_FAULTY("SetWindowPos", SysResult<void>, set_window_pos,
               (Hwnd w, Hwnd after, int x, int y, int cx, int cy, std::uint32_t f),
               (w, after, x, y, cx, cy, f))
  ORVEL_FAULTY("InvalidateRect", bool, invalidate_rect, (Hwnd w, bool e), (w, e))
  ORVEL_FAULTY("UpdateWindow", bool, update_window, (Hwnd w), (w))
  ORVEL_FAULTY("MonitorFromWindow", Hmonitor, monitor_from_window, (Hwnd w, std::uint32_t f),
               (w, f))
  ORVEL_FAULTY("GetMonitorInfoW", SysResult<MonitorInfo>, get_monitor_info_w, (Hmonitor m), (m))
  ORVEL_FAULTY("SystemParametersInfoW", SysResult<void>, system_parameters_info_w,
               (std::uint32_t a, std::uint32_t p, const char16_t* t, std::uint32_t f), (a, p, t, f))
  ORVEL_FAULTY("RegisterClassA", SysResult<std::uint16_t>, register_class_a, (const WindowClass& c),
               (c))
  ORVEL_FAULTY("RegisterWindowMessageW", SysResult<std::uint32_t>, register_window_message_w,
               (std::u16string_view n), (n))
  ORVEL_FAULTY("CreateWindowExA", SysResult<Hwnd>, create_window_ex_a, (const WindowCreation& c),
               (c))
  ORVEL_FAULTY("DestroyWindow", SysResult<void>, destroy_window, (Hwnd w), (w))
  ORVEL_FAULTY("GetMessageW", SysResult<bool>, get_message_w,
               (Message & m, Hwnd w, std::uint32_t first, std::uint32_t last), (m, w, first, last))
  ORVEL_FAULTY("PostMessageW", SysResult<void>, post_message_w,
               (Hwnd w, std::uint32_t m, std::uint64_t wp, std::int64_t lp), (w, m, wp, lp))
  ORVEL_FAULTY("SendMessageTimeoutW", SysResult<void>, send_message_timeout_w,
               (Hwnd w, std::uint32_t m, std::uint64_t wp, std::int64_t lp, std::uint32_t f,
                std::uint32_t t),
               (w, m, wp, lp, f, t))
  ORVEL_FAULTY("SetTimer", SysResult<std::uint64_t>, set_timer,
               (Hwnd w, std::uint64_t id, std::uint32_t ms), (w, id, ms))
  ORVEL_FAULTY("SetWinEventHook", std::optional<Hhook>, set_win_event_hook,
               (std::uint32_t lo, std::uint32_t hi, Hmodule m, WinEventProc c, std::uint32_t p,
                std::uint32_t t, std::uint32_t f),
               (lo, hi, m, c, p, t, f))
  ORVEL_FAULTY("RegisterRawInputDevices", SysResult<void>, register_raw_input_devices,
               (std::span<const RawInputDevice> d), (d))
  ORVEL_FAULTY("GetRawInputData", SysResult<RawInputRecord>, get_raw_input_data, (std::int64_t r),
               (r))
  ORVEL_FAULTY("GetCursorPos", SysResult<Point>, get_cursor_pos, (), ())
  ORVEL_FAULTY("GetSystemMetrics", int, get_system_metrics, (int i), (i))
#undef ORVEL_FAULTY

  // It fails with INVALID_HANDLE_VALUE, not 0.
  Handle get_std_handle(std::uint32_t which) override {
    return faulty<std::optional<Handle>>(
               "GetStdHandle", [&] { return std::optional(Win32Platform::get_std_handle(which)); })
        .value_or(win::invalid_handle_value);
  }

 private:
  template <class T, class Real>
  T faulty(std::string_view name, const Real& real) {
    if (log_ != INVALID_HANDLE_VALUE) {
      std::string line = std::to_string(GetCurrentThreadId()) + " " + std::string(name) + "\n";
      DWORD written = 0;
      WriteFile(log_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    const auto counter = counters_.find(name);
    if (counter == counters_.end()) return real();
    const int use = ++counter->second.uses;
    for (const Fault& fault : counter->second.faults) {
      if (fault.use != use) continue;
      if (fault.delay_ms) {
        Sleep(fault.delay_ms);
      } else if constexpr (is_sys_result<T>) {
        return std::unexpected(fault.error);
      } else if constexpr (!std::is_void_v<T>) {
        return T{};
      } else {
        return;
      }
    }
    return real();
  }

  HANDLE log_ = INVALID_HANDLE_VALUE;
  std::map<std::string, Counter, std::less<>> counters_;
};

}  // namespace
}  // namespace orvel

int main() {
  orvel::FaultPlatform os;
  orvel::end_process(orvel::run_program(os));
}
