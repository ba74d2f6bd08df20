#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvel::sim {

// Every call of the simulated desktop, by name, so that a fault injected for a call that does not
// exist fails to compile instead of doing nothing.
#define ORVEL_SIM_CALLS(X)         \
  X(CreateThread)                  \
  X(CreateWindowExA)               \
  X(DefWindowProcA)                \
  X(DestroyWindow)                 \
  X(DispatchMessageW)              \
  X(EnumChildWindows)              \
  X(EnumWindows)                   \
  X(FindWindowA)                   \
  X(FindWindowExA)                 \
  X(FormatMessageW)                \
  X(GetAncestor)                   \
  X(GetClassNameW)                 \
  X(GetConsoleMode)                \
  X(GetCursorPos)                  \
  X(GetForegroundWindow)           \
  X(GetMessageW)                   \
  X(GetModuleHandleW)              \
  X(GetMonitorInfoW)               \
  X(GetRawInputData)               \
  X(GetStdHandle)                  \
  X(GetSystemMetrics)              \
  X(GetWindow)                     \
  X(GetWindowLongPtrW)             \
  X(GetWindowRect)                 \
  X(GetWindowThreadProcessId)      \
  X(InvalidateRect)                \
  X(IsWindow)                      \
  X(MonitorFromWindow)             \
  X(PostMessageW)                  \
  X(PostQuitMessage)               \
  X(ReadConsoleW)                  \
  X(ReadFile)                      \
  X(RegisterClassA)                \
  X(RegisterRawInputDevices)       \
  X(RegisterWindowMessageW)        \
  X(ScreenToClient)                \
  X(SendMessageTimeoutW)           \
  X(SetParent)                     \
  X(SetProcessDpiAwarenessContext) \
  X(SetThreadDpiAwarenessContext)  \
  X(SetTimer)                      \
  X(SetWinEventHook)               \
  X(SetWindowLongPtrW)             \
  X(SetWindowPos)                  \
  X(Sleep)                         \
  X(SystemParametersInfoW)         \
  X(TranslateMessage)              \
  X(UpdateWindow)                  \
  X(WindowFromPoint)               \
  X(WriteStderr)                   \
  X(WriteStdout)

enum class Call : std::uint8_t {
#define ORVEL_SIM_CALL_ENUM(name) name,
  ORVEL_SIM_CALLS(ORVEL_SIM_CALL_ENUM)
#undef ORVEL_SIM_CALL_ENUM
};

constexpr std::string_view call_name(Call call) {
  switch (call) {
#define ORVEL_SIM_CALL_NAME(name) \
  case Call::name:                \
    return #name;
    ORVEL_SIM_CALLS(ORVEL_SIM_CALL_NAME)
#undef ORVEL_SIM_CALL_NAME
  }
  return "?";
}

// The call of this name; empty for a name that is none.
constexpr std::optional<Call> call_named(std::string_view name) {
#define ORVEL_SIM_CALL_NAMED(call) \
  if (name == #call) return Call::call;
  ORVEL_SIM_CALLS(ORVEL_SIM_CALL_NAMED)
#undef ORVEL_SIM_CALL_NAMED
  return std::nullopt;
}

}  // namespace orvel::sim
