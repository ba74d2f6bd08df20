// The helper as shipped, on a platform that can also log the Windows calls that tests may fail or
// slow, and make a named one fail or take longer at its n-th use, so that tests under Wine can
// force failures and thread interleavings on the whole program:
//   ORVEL_CALL_LOG=<file>  appends "<thread id> <call> <numbers...>" for each such call, with
//                          those of its arguments that are numbers
//   ORVEL_FAULTS=<call>@<use>:<last error>,<call>@<use>+<ms>,...
// Uses are counted per call across all threads, from 1. A failing call is not made: it gives that
// last error as its code, or false, nothing or 0 where the call has none. A slow call sleeps first.
#include <windows.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "main/entry.h"
#include "platform/win32_platform.h"

namespace orvel {
namespace {

using U = std::uint32_t;

struct Counter {
  std::atomic<unsigned> uses{0};
  std::vector<std::array<unsigned, 3>> faults;  // use, last error, delay in ms
};

class FaultPlatform : public Win32Platform {
 public:
  FaultPlatform() {
    if (const char* path = std::getenv("ORVEL_CALL_LOG"))
      log_ = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, 0, nullptr);
    std::string faults = std::getenv("ORVEL_FAULTS") ? std::getenv("ORVEL_FAULTS") : "";
    for (char* rule = std::strtok(faults.data(), ","); rule; rule = std::strtok(nullptr, ",")) {
      char name[64] = "", how = 0;
      unsigned use = 0, value = 0;
      if (std::sscanf(rule, "%63[^@]@%u%c%u", name, &use, &how, &value) != 4) continue;
      counters_[name].faults.push_back({use, how == ':' ? value : 0, how == '+' ? value : 0});
    }
  }

  // Each call that a test may fail or slow: its Windows name, the platform's method, its
  // parameters, its arguments.
#define ORVEL_FAULTY(name, method, parameters, ...)                               \
  auto method parameters->decltype(Win32Platform::method(__VA_ARGS__)) override { \
    return faulty(                                                                \
        #name, [&] { return Win32Platform::method(__VA_ARGS__); }, __VA_ARGS__);  \
  }
  ORVEL_FAULTY(WriteFile(stdout), write_stdout, (std::string_view text), text)
  ORVEL_FAULTY(GetConsoleMode, get_console_mode, (Handle h), h)
  ORVEL_FAULTY(ReadFile, read_file, (Handle h, std::span<char> buffer), h, buffer)
  ORVEL_FAULTY(GetModuleHandleW, get_module_handle_w, (const char16_t* n), n)
  ORVEL_FAULTY(CreateThread, start_thread, (ThreadBody body), body)
  ORVEL_FAULTY(SetProcessDpiAwarenessContext, set_process_dpi_awareness_context, (DpiContext c), c)
  ORVEL_FAULTY(SetThreadDpiAwarenessContext, set_thread_dpi_awareness_context, (DpiContext c), c)
  ORVEL_FAULTY(IsWindow, is_window, (Hwnd w), w)
  ORVEL_FAULTY(FindWindowA, find_window_a, (std::string_view c), c)
  ORVEL_FAULTY(FindWindowExA, find_window_ex_a, (Hwnd p, Hwnd after, std::string_view c), p, after,
               c)
  ORVEL_FAULTY(EnumWindows, enum_windows, (const WindowVisitor& v), v)
  ORVEL_FAULTY(EnumChildWindows, enum_child_windows, (Hwnd p, const WindowVisitor& v), p, v)
  ORVEL_FAULTY(GetClassNameW, get_class_name_w, (Hwnd w, std::span<char16_t> n), w, n)
  ORVEL_FAULTY(GetAncestor, get_ancestor, (Hwnd w, U f), w, f)
  ORVEL_FAULTY(GetWindowThreadProcessId, get_window_thread_process_id, (Hwnd w), w)
  ORVEL_FAULTY(GetWindowRect, get_window_rect, (Hwnd w), w)
  ORVEL_FAULTY(MapWindowPoints, map_window_points, (Hwnd f, Hwnd t, const Rect& r), f, t, r)
  ORVEL_FAULTY(GetWindowLongPtrW, get_window_long_ptr_w, (Hwnd w, int i), w, i)
  ORVEL_FAULTY(SetWindowLongPtrW, set_window_long_ptr_w, (Hwnd w, int i, std::int64_t v), w, i, v)
  ORVEL_FAULTY(SetParent, set_parent, (Hwnd c, Hwnd p), c, p)
  ORVEL_FAULTY(SetWindowPos, set_window_pos, (Hwnd w, Hwnd a, int x, int y, int cx, int cy, U f), w,
               a, x, y, cx, cy, f)
  ORVEL_FAULTY(InvalidateRect, invalidate_rect, (Hwnd w, bool e), w, e)
  ORVEL_FAULTY(UpdateWindow, update_window, (Hwnd w), w)
  ORVEL_FAULTY(MonitorFromWindow, monitor_from_window, (Hwnd w, U f), w, f)
  ORVEL_FAULTY(GetMonitorInfoW, get_monitor_info_w, (Hmonitor m), m)
  ORVEL_FAULTY(SystemParametersInfoW, system_parameters_info_w, (U a, U p, const char16_t* t, U f),
               a, p, t, f)
  ORVEL_FAULTY(RegisterClassA, register_class_a, (std::string_view c, Hmodule i), c, i)
  ORVEL_FAULTY(RegisterWindowMessageW, register_window_message_w, (std::u16string_view n), n)
  ORVEL_FAULTY(CreateWindowExA, create_window_ex_a, (const WindowCreation& c), c)
  ORVEL_FAULTY(DestroyWindow, destroy_window, (Hwnd w), w)
  ORVEL_FAULTY(GetMessageW, get_message_w, (Message & m), m)
  ORVEL_FAULTY(SetTimer, set_timer, (Hwnd w, std::uint64_t id, U ms), w, id, ms)
  ORVEL_FAULTY(SetWinEventHook, set_win_event_hook, (U lo, U hi, U f), lo, hi, f)
  ORVEL_FAULTY(UnhookWinEvent, unhook_win_event, (Hhook h), h)
  ORVEL_FAULTY(RegisterRawInputDevices, register_raw_input_devices,
               (std::span<const RawInputDevice> d), d)
#undef ORVEL_FAULTY

  // It fails with INVALID_HANDLE_VALUE, not 0.
  Handle get_std_handle(U which) override {
    const auto real = [&] { return std::optional(Win32Platform::get_std_handle(which)); };
    return faulty("GetStdHandle", real).value_or(win::invalid_handle_value);
  }

 private:
  template <class Real, class... Arguments, class T = std::invoke_result_t<const Real&>>
  T faulty(std::string_view name, const Real& real, const Arguments&... arguments) {
    std::string line = std::to_string(GetCurrentThreadId()) + " " + std::string(name);
    [[maybe_unused]] const auto add = [&line](const auto& argument) {
      using A = std::decay_t<decltype(argument)>;
      if constexpr (std::is_integral_v<A>) line += " " + std::to_string(argument);
      if constexpr (std::is_enum_v<A>)
        line += " " + std::to_string(static_cast<std::underlying_type_t<A>>(argument));
    };
    (add(arguments), ...);
    line += "\n";
    DWORD written = 0;
    if (log_ != INVALID_HANDLE_VALUE)
      WriteFile(log_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    const auto counter = counters_.find(name);
    if (counter == counters_.end()) return real();
    const unsigned use = ++counter->second.uses;
    for (const auto& [at, error, delay_ms] : counter->second.faults) {
      if (at != use) continue;
      if (delay_ms) {
        Sleep(delay_ms);
      } else if constexpr (std::is_constructible_v<T, std::unexpected<SysError>>) {
        const SysError failure{.call = name, .code = hresult_from_last_error(error)};
        tell(failure);
        return std::unexpected(failure);
      } else {
        return T();
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
