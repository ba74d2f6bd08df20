#pragma once

#include "cli/command_line.h"
#include "platform/platform.h"

namespace orvel {

// The attach monitor: attaches the host window and keeps it in place until standard input says
// "detach" or ends, or its hidden window is closed; then gives it back. Gives the exit code.
int run_attach_monitor(Platform& os, const Command& command);

// The window procedure of the hidden message window.
std::int64_t monitor_window_proc(Platform& os, Hwnd window, std::uint32_t message,
                                 std::uint64_t wparam, std::int64_t lparam) noexcept;

// The callback of both shell event hooks.
void on_shell_event(Platform& os, Hhook hook, std::uint32_t event, Hwnd window,
                    std::int32_t object_id, std::int32_t child_id, std::uint32_t event_thread,
                    std::uint32_t event_time) noexcept;

// Puts the host window back on top of its siblings in its desktop layer, at most once in 10 s.
void guard_zorder(Platform& os);

// Starts the re-attach worker unless one is running already.
void start_reattach_worker(Platform& os);

// The process id of the shell's taskbar, 0 when there is none.
std::uint32_t taskbar_process_id(Platform& os);

inline constexpr std::uint64_t heartbeat_timer_id = 1;
inline constexpr std::uint32_t heartbeat_period_ms = 5000;
inline constexpr std::uint64_t display_timer_id = 4;
inline constexpr std::uint32_t display_settle_ms = 200;

}  // namespace orvel
