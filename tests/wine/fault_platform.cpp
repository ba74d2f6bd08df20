// The helper as shipped, on a platform that can also log every Windows call it makes and make the
// calls a test names fail or take longer, so that tests under Wine can force failures and thread
// interleavings on the whole program:
//   ORVEL_CALL_LOG=<file>  appends "<thread id> <call> <numbers...>" for each call, with those of
//                          its arguments that are numbers or windows
//   ORVEL_FAULTS=<row>,<row>,...  a row is <call>[(<argument>,...)][@<n>] followed by :<last error>
//                          (the call fails) or by +<ms> (it sleeps that long first)
// A row names a call by its Windows name and, in brackets, by some of its arguments in their order;
// the arguments between and after those may be anything. Each is named by its value:
//   2, 0x8004, -16   a number (one of 32 bits also by its pattern: -10 names 0xFFFFFFF6)
//   WorkerW, host, 0 a window by its class, the --hwnd window, no window; or by its number
//   Progman, stdout  a text by any part of it (WriteFile names its handle stdout or stderr there)
//   worker           no argument but the thread: one that the helper started, not its main one
// A row breaks every call it names, or with @<n> only the n-th of them (counted from 1 across all
// threads), for where calls with the same arguments must be told apart. For example:
//   SetTimer(2):5                       the timer whose id is 2 is not set, with last error 5
//   SetWinEventHook(0x8004):5           nor the hook of EVENT_OBJECT_REORDER
//   SetParent(host,WorkerW,worker)+1000 each re-attach into a WorkerW takes a second longer
//   SetWindowPos(host,0x4013)@2:5       the second raise of the host window fails
//   WriteFile(stdout,attached):5        no "attached" line is written
// A failing call is not made: it gives that last error as its code, or false, nothing or 0 where
// the call has none. A row that cannot be read ends the test build at once with exit code 2, and
// one that named no call is told on standard error as the program ends.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <optional>
#include <ranges>
#include <string>
#include <type_traits>
#include <vector>

#include "cli/command_line.h"
#include "main/entry.h"
#include "platform/text.h"
#include "platform/win32_handles.h"
#include "platform/win32_platform.h"

namespace orvel {
namespace {

using U = std::uint32_t;

// A window argument, which a row may name by its class.
struct Window {
  Hwnd handle;
  operator Hwnd() const { return handle; }
};
Window window(Hwnd handle) {
  return {handle};
}

// One argument as a row may name it; arguments of other kinds (buffers, callbacks, records) are
// never named.
struct Argument {
  enum class Kind { number, window, text } kind;
  std::int64_t number = 0;
  bool narrow = false;  // of 32 bits or fewer
  std::string text;
};

template <class A>
void describe(std::vector<Argument>& into, const A& argument) {
  using K = Argument::Kind;
  if constexpr (std::is_same_v<A, Window>) {
    into.push_back({.kind = K::window, .number = argument.handle});
  } else if constexpr (std::is_integral_v<A>) {
    into.push_back({.kind = K::number,
                    .number = static_cast<std::int64_t>(argument),
                    .narrow = sizeof(A) <= 4});
  } else if constexpr (std::is_enum_v<A>) {
    into.push_back({.kind = K::number, .number = static_cast<std::underlying_type_t<A>>(argument)});
  } else if constexpr (std::is_same_v<A, std::chrono::milliseconds>) {
    into.push_back({.kind = K::number, .number = argument.count()});
  } else if constexpr (std::is_same_v<A, std::string_view>) {
    into.push_back({.kind = K::text, .text = std::string(argument)});
  } else if constexpr (std::is_same_v<A, std::u16string_view>) {
    into.push_back({.kind = K::text, .text = utf8_from_utf16_lossy(argument)});
  } else if constexpr (std::is_same_v<A, const char16_t*>) {
    if (argument) {
      into.push_back({.kind = K::text, .text = utf8_from_utf16_lossy(argument)});
    } else {
      into.push_back({.kind = K::number});
    }
  }
}

// A number in C's notation, all of `text`; none for anything else.
std::optional<std::int64_t> number_in(const std::string& text) {
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0') return std::nullopt;
  return value;
}

struct Row {
  std::string text;
  std::string call;
  std::vector<std::string> arguments;
  bool worker = false;
  unsigned use = 0;  // 0: every call the row names
  std::uint32_t last_error = 0;
  unsigned delay_ms = 0;
  std::atomic<unsigned> named{0};
};

// Reads one row into `row`; false when it is not one.
bool read_row(std::string_view text, Row& row) {
  row.text = text;
  const std::size_t name_end = text.find_first_of("(@:+");
  if (name_end == 0 || name_end == std::string_view::npos) return false;
  row.call = text.substr(0, name_end);
  text.remove_prefix(name_end);
  if (text.starts_with('(')) {
    const std::size_t close = text.find(')');
    if (close == std::string_view::npos) return false;
    for (const auto part : text.substr(1, close - 1) | std::views::split(',')) {
      const std::string_view argument(part.begin(), part.end());
      if (argument.empty()) return false;
      if (argument == "worker") {
        row.worker = true;
      } else {
        row.arguments.emplace_back(argument);
      }
    }
    text.remove_prefix(close + 1);
  }
  if (text.starts_with('@')) {
    const std::size_t use_end = std::min(text.find_first_of(":+"), text.size());
    const std::optional<std::int64_t> use = number_in(std::string(text.substr(1, use_end - 1)));
    if (!use || *use <= 0) return false;
    row.use = static_cast<unsigned>(*use);
    text.remove_prefix(use_end);
  }
  const std::optional<std::int64_t> value =
      text.size() > 1 ? number_in(std::string(text.substr(1))) : std::nullopt;
  if (!value || *value < 0) return false;
  if (text[0] == ':') row.last_error = static_cast<std::uint32_t>(*value);
  if (text[0] == '+') row.delay_ms = static_cast<unsigned>(*value);
  return text[0] == ':' || (text[0] == '+' && *value > 0);
}

class FaultPlatform : public Win32Platform {
 public:
  FaultPlatform() {
    if (const char* path = std::getenv("ORVEL_CALL_LOG"))
      log_ = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, 0, nullptr);
    const std::vector<std::u16string> arguments =
        split_command_line(Win32Platform::get_command_line_w());
    std::vector<std::string> utf8;
    for (const std::u16string& argument : arguments)
      utf8.push_back(utf8_from_utf16_lossy(argument));
    if (const auto command = parse_command_line(utf8)) host_ = command->hwnd;
    // Commas inside brackets part arguments, the others rows.
    std::string_view rows = std::getenv("ORVEL_FAULTS") ? std::getenv("ORVEL_FAULTS") : "";
    while (!rows.empty()) {
      std::size_t end = 0;
      for (int depth = 0; end < rows.size() && (depth > 0 || rows[end] != ','); ++end) {
        depth += rows[end] == '(' ? 1 : rows[end] == ')' ? -1 : 0;
      }
      if (!read_row(rows.substr(0, end), rows_.emplace_back())) {
        static_cast<void>(
            Win32Platform::write_stderr("not a fault row: " + rows_.back().text + "\n"));
        end_process(exit_usage);
      }
      rows.remove_prefix(std::min(rows.size(), end + 1));
    }
  }

  // Tells of each row that named no call.
  void report_unused_rows() {
    for (const Row& row : rows_) {
      if (row.named < std::max(row.use, 1u)) {
        static_cast<void>(
            Win32Platform::write_stderr("fault row named no call: " + row.text + "\n"));
      }
    }
  }

  // Each call: its Windows name, the platform's method, its parameters, its arguments (a window
  // marked as one).
#define ORVEL_FAULTY(name, method, parameters, ...)                                               \
  auto method parameters->decltype(Win32Platform::method(__VA_ARGS__)) override {                 \
    return faulty(#name,                                                                          \
                  [&] { return Win32Platform::method(__VA_ARGS__); } __VA_OPT__(, ) __VA_ARGS__); \
  }
  ORVEL_FAULTY(GetCommandLineW, get_command_line_w, ())
  ORVEL_FAULTY(GetConsoleMode, get_console_mode, (Handle h), h)
  ORVEL_FAULTY(ReadFile, read_file, (Handle h, std::span<char> buffer), h, buffer)
  ORVEL_FAULTY(ReadConsoleW, read_console_w, (Handle h, std::span<char16_t> buffer), h, buffer)
  ORVEL_FAULTY(CreateFileW, create_file_w, (std::u16string_view path), path)
  ORVEL_FAULTY(SetFilePointerEx, set_file_pointer_ex, (Handle f, std::int64_t at, U method), f, at,
               method)
  ORVEL_FAULTY(GetFileSizeEx, get_file_size_ex, (Handle f), f)
  ORVEL_FAULTY(SetEndOfFile, set_end_of_file, (Handle f), f)
  ORVEL_FAULTY(WriteFile, write_file, (Handle f, std::string_view bytes), f, bytes)
  ORVEL_FAULTY(CloseHandle, close_handle, (Handle h), h)
  ORVEL_FAULTY(GetEnvironmentVariableW, get_environment_variable_w, (std::u16string_view n), n)
  ORVEL_FAULTY(RtlGetVersion, rtl_get_version, ())
  ORVEL_FAULTY(GetModuleHandleW, get_module_handle_w, (const char16_t* n), n)
  ORVEL_FAULTY(FormatMessageW, format_message_w, (U flags, Hmodule m, U code), flags, m, code)
  ORVEL_FAULTY(CreateThread, start_thread, (ThreadBody body), body)
  ORVEL_FAULTY(CreateThread, create_thread, (ThreadBody body), body)
  ORVEL_FAULTY(WaitForSingleObject, wait_for_single_object, (Handle h, U ms), h, ms)
  ORVEL_FAULTY(SetConsoleCtrlHandler, set_console_ctrl_handler, (ConsoleControlHandler * h), h)
  ORVEL_FAULTY(LockFileEx, lock_file_ex, (Handle f, std::uint64_t at, std::uint64_t n), f, at, n)
  ORVEL_FAULTY(UnlockFileEx, unlock_file_ex, (Handle f, std::uint64_t at, std::uint64_t n), f, at,
               n)
  ORVEL_FAULTY(GetCurrentProcessId, get_current_process_id, ())
  ORVEL_FAULTY(ReadProcessMemory, read_own_memory, (std::int64_t at, std::span<std::byte> into), at,
               into)
  ORVEL_FAULTY(GetSystemPowerStatus, get_system_power_status, ())
  ORVEL_FAULTY(QueryPerformanceCounter, monotonic_now, ())
  ORVEL_FAULTY(Sleep, sleep, (std::chrono::milliseconds duration), duration)
  ORVEL_FAULTY(SetProcessDpiAwarenessContext, set_process_dpi_awareness_context, (DpiContext c), c)
  ORVEL_FAULTY(SetThreadDpiAwarenessContext, set_thread_dpi_awareness_context, (DpiContext c), c)

  ORVEL_FAULTY(IsWindow, is_window, (Hwnd w), window(w))
  ORVEL_FAULTY(FindWindowA, find_window_a, (std::string_view c), c)
  ORVEL_FAULTY(FindWindowExA, find_window_ex_a, (Hwnd p, Hwnd after, std::string_view c), window(p),
               window(after), c)
  ORVEL_FAULTY(EnumWindows, enum_windows, (const WindowVisitor& v), v)
  ORVEL_FAULTY(EnumChildWindows, enum_child_windows, (Hwnd p, const WindowVisitor& v), window(p), v)
  ORVEL_FAULTY(GetClassNameW, get_class_name_w, (Hwnd w, std::span<char16_t> n), window(w), n)
  ORVEL_FAULTY(GetAncestor, get_ancestor, (Hwnd w, U flags), window(w), flags)
  ORVEL_FAULTY(WindowFromPoint, window_from_point, (Point p), p)
  ORVEL_FAULTY(GetForegroundWindow, get_foreground_window, ())
  ORVEL_FAULTY(GetWindow, get_window, (Hwnd w, U command), window(w), command)
  ORVEL_FAULTY(GetDesktopWindow, get_desktop_window, ())
  ORVEL_FAULTY(GetWindowThreadProcessId, get_window_thread_process_id, (Hwnd w), window(w))
  ORVEL_FAULTY(IsWindowVisible, is_window_visible, (Hwnd w), window(w))
  ORVEL_FAULTY(IsIconic, is_iconic, (Hwnd w), window(w))
  ORVEL_FAULTY(GetWindowRect, get_window_rect, (Hwnd w), window(w))
  ORVEL_FAULTY(DwmGetWindowAttribute, dwm_get_window_attribute,
               (Hwnd w, U attribute, std::span<std::byte> value), window(w), attribute, value)
  ORVEL_FAULTY(MapWindowPoints, map_window_points, (Hwnd f, Hwnd t, const Rect& r), window(f),
               window(t), r)
  ORVEL_FAULTY(GetWindowLongPtrW, get_window_long_ptr_w, (Hwnd w, int i), window(w), i)
  ORVEL_FAULTY(SetWindowLongPtrW, set_window_long_ptr_w, (Hwnd w, int i, std::int64_t v), window(w),
               i, v)
  ORVEL_FAULTY(SetParent, set_parent, (Hwnd c, Hwnd p), window(c), window(p))
  ORVEL_FAULTY(SetWindowPos, set_window_pos, (Hwnd w, Hwnd a, int x, int y, int cx, int cy, U f),
               window(w), window(a), x, y, cx, cy, f)
  ORVEL_FAULTY(InvalidateRect, invalidate_rect, (Hwnd w, bool erase), window(w), erase)
  ORVEL_FAULTY(UpdateWindow, update_window, (Hwnd w), window(w))
  ORVEL_FAULTY(MonitorFromWindow, monitor_from_window, (Hwnd w, U flags), window(w), flags)
  ORVEL_FAULTY(GetMonitorInfoW, get_monitor_info_w, (Hmonitor m), m)
  ORVEL_FAULTY(EnumDisplayMonitors, enum_display_monitors, (const MonitorVisitor& v), v)
  ORVEL_FAULTY(GetDpiForMonitor, get_dpi_for_monitor, (Hmonitor m), m)
  ORVEL_FAULTY(DwmIsCompositionEnabled, dwm_is_composition_enabled, ())
  ORVEL_FAULTY(OpenInputDesktop, open_input_desktop, (U flags, bool inherit, U access), flags,
               inherit, access)
  ORVEL_FAULTY(CloseDesktop, close_desktop, (Hdesk d), d)
  ORVEL_FAULTY(GetThreadDesktop, get_thread_desktop, ())
  ORVEL_FAULTY(GetUserObjectInformationW, get_user_object_information_w, (Hdesk d, int i), d, i)
  ORVEL_FAULTY(SystemParametersInfoW, system_parameters_info_w, (U a, U p, const char16_t* t, U f),
               a, p, t, f)

  ORVEL_FAULTY(RegisterClassA, register_class_a, (std::string_view c, Hmodule m), c, m)
  ORVEL_FAULTY(RegisterWindowMessageW, register_window_message_w, (std::u16string_view n), n)
  ORVEL_FAULTY(CreateWindowExA, create_window_ex_a, (const WindowCreation& c), c)
  ORVEL_FAULTY(DestroyWindow, destroy_window, (Hwnd w), window(w))
  ORVEL_FAULTY(DefWindowProcA, def_window_proc_a,
               (Hwnd w, U message, std::uint64_t wparam, std::int64_t lparam), window(w), message,
               wparam, lparam)
  ORVEL_FAULTY(GetMessageW, get_message_w, (Message & m), m)
  ORVEL_FAULTY(TranslateMessage, translate_message, (const Message& m), m)
  ORVEL_FAULTY(DispatchMessageW, dispatch_message_w, (const Message& m), m)
  ORVEL_FAULTY(PostMessageW, post_message_w,
               (Hwnd w, U message, std::uint64_t wparam, std::int64_t lparam), window(w), message,
               wparam, lparam)
  ORVEL_FAULTY(PostQuitMessage, post_quit_message, (int code), code)
  ORVEL_FAULTY(ChangeWindowMessageFilterEx, change_window_message_filter_ex,
               (Hwnd w, U message, U action), window(w), message, action)
  ORVEL_FAULTY(SendMessageTimeoutW, send_message_timeout_w,
               (Hwnd w, U message, std::uint64_t wparam, std::int64_t lparam, U flags, U ms),
               window(w), message, wparam, lparam, flags, ms)
  ORVEL_FAULTY(SetTimer, set_timer, (Hwnd w, std::uint64_t id, U ms), window(w), id, ms)
  ORVEL_FAULTY(KillTimer, kill_timer, (Hwnd w, std::uint64_t id), window(w), id)
  ORVEL_FAULTY(RegisterPowerSettingNotification, register_power_setting_notification,
               (Hwnd w, const Guid& setting, U flags), window(w), setting, flags)
  ORVEL_FAULTY(UnregisterPowerSettingNotification, unregister_power_setting_notification,
               (PowerNotification n), n)

  ORVEL_FAULTY(SetWinEventHook, set_win_event_hook, (U lo, U hi, U f), lo, hi, f)
  ORVEL_FAULTY(UnhookWinEvent, unhook_win_event, (Hhook h), h)

  ORVEL_FAULTY(RegisterRawInputDevices, register_raw_input_devices,
               (std::span<const RawInputDevice> d), d)
  ORVEL_FAULTY(GetRawInputData, get_raw_input_data, (std::int64_t raw), raw)
  ORVEL_FAULTY(GetCursorPos, get_cursor_pos, ())
  ORVEL_FAULTY(GetSystemMetrics, get_system_metrics, (int i), i)
#undef ORVEL_FAULTY

  // The standard streams are the handle of WriteFile that a row names as stdout or stderr.
  SysResult<void> write_stdout(std::string_view text) override {
    return faulty(
        "WriteFile", [&] { return Win32Platform::write_stdout(text); }, std::string_view("stdout"),
        text);
  }
  SysResult<void> write_stderr(std::string_view text) override {
    return faulty(
        "WriteFile", [&] { return Win32Platform::write_stderr(text); }, std::string_view("stderr"),
        text);
  }
  // It fails with INVALID_HANDLE_VALUE, not 0.
  Handle get_std_handle(U which) override {
    const auto real = [&] { return std::optional(Win32Platform::get_std_handle(which)); };
    return faulty("GetStdHandle", real, which).value_or(win::invalid_handle_value);
  }

 private:
  template <class Real, class... Arguments, class T = std::invoke_result_t<const Real&>>
  T faulty(std::string_view name, const Real& real, const Arguments&... arguments) {
    const bool named = std::ranges::any_of(rows_, [&](const Row& row) { return row.call == name; });
    if (!named && log_ == INVALID_HANDLE_VALUE) return real();
    std::vector<Argument> described;
    (describe(described, arguments), ...);
    log(name, described);
    const Row* failing = nullptr;
    unsigned delay_ms = 0;
    for (Row& row : rows_) {
      if (row.call != name || !names(row, described)) continue;
      const unsigned use = ++row.named;
      if (row.use != 0 && row.use != use) continue;
      delay_ms += row.delay_ms;
      if (row.delay_ms == 0 && !failing) failing = &row;
    }
    if (delay_ms) Sleep(delay_ms);
    if (!failing) return real();
    if constexpr (std::is_constructible_v<T, std::unexpected<SysError>>) {
      const SysError failure{.call = name, .code = hresult_from_last_error(failing->last_error)};
      tell(failure);
      return std::unexpected(failure);
    } else {
      return T();
    }
  }

  // Whether the row's arguments name some of `described`, in their order.
  bool names(const Row& row, const std::vector<Argument>& described) const {
    if (row.worker && GetCurrentThreadId() == main_thread_) return false;
    auto next = described.begin();
    for (const std::string& wanted : row.arguments) {
      next = std::find_if(next, described.end(),
                          [&](const Argument& argument) { return is(argument, wanted); });
      if (next == described.end()) return false;
      ++next;
    }
    return true;
  }

  bool is(const Argument& argument, const std::string& wanted) const {
    const std::optional<std::int64_t> number = number_in(wanted);
    switch (argument.kind) {
      case Argument::Kind::number:
        return number &&
               (*number == argument.number ||
                (argument.narrow && static_cast<U>(*number) == static_cast<U>(argument.number)));
      case Argument::Kind::window:
        if (number) return *number == argument.number;
        if (wanted == "host") return host_ && *host_ == argument.number;
        return class_of(argument.number) == wanted;
      case Argument::Kind::text:
        return argument.text.find(wanted) != std::string::npos;
    }
    return false;
  }

  static std::string class_of(Hwnd window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(to_hwnd(window), name, 256);
    return utf8_from_utf16_lossy(std::u16string_view(
        reinterpret_cast<const char16_t*>(name), static_cast<std::size_t>(std::max(length, 0))));
  }

  void log(std::string_view name, const std::vector<Argument>& described) {
    if (log_ == INVALID_HANDLE_VALUE) return;
    std::string line = std::to_string(GetCurrentThreadId()) + " " + std::string(name);
    for (const Argument& argument : described) {
      if (argument.kind != Argument::Kind::text) line += " " + std::to_string(argument.number);
    }
    line += "\n";
    DWORD written = 0;
    WriteFile(log_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }

  HANDLE log_ = INVALID_HANDLE_VALUE;
  const DWORD main_thread_ = GetCurrentThreadId();
  std::optional<Hwnd> host_;
  std::deque<Row> rows_;
};

}  // namespace
}  // namespace orvel

int main() {
  orvel::FaultPlatform os;
  const int code = orvel::run_program(os);
  os.report_unused_rows();
  orvel::end_process(code);
}
