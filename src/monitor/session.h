#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "attach/attach.h"
#include "attach/discovery.h"
#include "cli/command_line.h"
#include "events/event.h"
#include "events/trace.h"
#include "monitor/power.h"
#include "monitor/state.h"
#include "monitor/visibility.h"
#include "monitor/zorder_guard.h"
#include "mouse/forwarding.h"
#include "platform/desktop_windows.h"
#include "platform/owned.h"
#include "platform/platform.h"

namespace orvel {

inline constexpr std::uint32_t heartbeat_period_ms = 5000;
inline constexpr std::uint32_t display_settle_ms = 200;

// One run of `attach`: the hidden message window, the hooks, the timers and what the monitor knows,
// owned here from start-up to the close. Everything but the shared state is the main thread's: its
// window procedure and its hook callbacks, one message at a time.
class AttachSession final : public WindowHandler,
                            public WinEventHandler,
                            public ConsoleControlHandler {
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
  void on_console_control(std::uint32_t event) noexcept override;

 private:
  std::shared_ptr<Trace> open_trace();
  // One attach of the host window: the layer found for its home, and the host attached to it.
  struct Attachment {
    LayerFound found;
    AttachedHost attached;
  };
  Result<Attachment> attach_once(const Home& home);
  // The shell is not there yet: the attach is tried again until it succeeds or the time is up.
  // None when the main process ended the helper meanwhile.
  std::optional<Result<Attachment>> wait_for_shell(const Home& home, HelperError last);
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
  void repaint_layer();
  void refresh_after_close();
  void end_message_loop();
  void on_layer_changed();
  void on_display_change();
  void on_display_timer();
  void on_power_setting(std::int64_t setting);
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
  std::optional<PowerWatch> power_;
  // While waiting for the shell: what gave a reason to try the attach again, if anything has.
  bool waiting_for_shell_ = false;
  std::string_view shell_may_be_there_;
  std::optional<MouseForwarding> mouse_;
  ZorderGuard guard_;
  // The hooks and the window call into everything above: they go first.
  std::vector<OwnedHook> hooks_;
  OwnedWindow window_;
  // The window as the console's control events find it, on a thread of their own.
  std::atomic<Hwnd> close_target_{0};
};

}  // namespace orvel
