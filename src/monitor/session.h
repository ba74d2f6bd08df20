#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "attach/discovery.h"
#include "cli/command_line.h"
#include "events/event.h"
#include "events/trace.h"
#include "monitor/state.h"
#include "monitor/visibility.h"
#include "mouse/forwarding.h"
#include "platform/desktop_windows.h"
#include "platform/owned.h"
#include "platform/platform.h"

namespace orvel {

inline constexpr std::uint64_t heartbeat_timer_id = 1;
inline constexpr std::uint32_t heartbeat_period_ms = 5000;
inline constexpr std::uint64_t display_timer_id = 4;
inline constexpr std::uint32_t display_settle_ms = 200;
// Posted by the re-attach worker to the message window: follow the new layer.
inline constexpr std::uint32_t wm_layer_changed = win::wm_app + 1;

// One run of `attach`: the hidden message window, the hooks, the timers and what the monitor knows,
// owned here from start-up to the close. Everything but the shared state is the main thread's: its
// window procedure and its hook callbacks, one message at a time.
class AttachSession final : public WindowHandler, public WinEventHandler {
 public:
  AttachSession(Platform& os, const Command& command);
  AttachSession(const AttachSession&) = delete;
  AttachSession& operator=(const AttachSession&) = delete;
  ~AttachSession();

  // Attaches the host window, supervises it until the close, and gives the exit code.
  int run();

  std::int64_t on_message(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                          std::int64_t lparam) noexcept override;
  void on_win_event(std::uint32_t event, Hwnd window, std::int32_t object_id) noexcept override;

 private:
  std::shared_ptr<Trace> open_trace();
  // Start-up after the host window was attached; an error, if any, to report.
  std::optional<HelperError> start_watching(Hwnd layer);
  // Gives an attached host window back, then writes the error; the exit code.
  int fail_start(HelperError error);
  std::optional<HelperError> hook(std::uint32_t event, std::string_view name);
  void run_message_loop();

  void on_timer(std::uint64_t id);
  void on_heartbeat();
  void on_taskbar_created();
  void on_close();
  void end_message_loop();
  void on_layer_changed();
  void on_display_change();
  void on_display_timer();
  void on_power_setting(std::int64_t setting);
  void guard_zorder();
  void follow_layer(Hwnd layer);

  Platform& os_;
  const Command command_;
  const Hwnd host_;
  std::optional<std::uint32_t> taskbar_created_;
  std::shared_ptr<Trace> trace_;
  // Empty until the host window is attached.
  std::shared_ptr<SharedState> shared_;
  DesktopWindows desktop_;  // looked up for the mouse and the visibility answer only
  std::optional<VisibilityWatch> visibility_;
  std::optional<MouseForwarding> mouse_;
  std::vector<Rect> above_;  // the guard's: the host window's siblings above it
  // The hooks and the window call into everything above: they go first.
  std::vector<OwnedHook> hooks_;
  OwnedWindow window_;
};

// The process id of the shell's taskbar, 0 when there is none.
std::uint32_t taskbar_process_id(Platform& os);

// The trace's line for a layer the host window was attached to, the area it was fitted over and
// where it belongs.
void note_layer(Trace& trace, std::string_view what, Hwnd host, const DesktopLayer& layer,
                const std::optional<Rect>& area, const Home& home);

// Starts a re-attach worker for the shared state unless one is running already, which then runs
// once more instead.
void start_reattach_worker(Platform& os, const std::shared_ptr<SharedState>& shared);

}  // namespace orvel
