#include "platform/sim/format.h"
#include "platform/sim_desktop.h"

namespace orvel {

using namespace sim;

namespace {

constexpr std::uint64_t spawn_wparam = 0x000D;
constexpr std::int64_t spawn_lparam = 0x0001;
constexpr std::u16string_view taskbar_created = u"TaskbarCreated";

}  // namespace

SimDesktop::ShellWindows SimDesktop::start_shell(const ShellSpec& desc) {
  const std::lock_guard lock(mutex_);
  start_shell_locked(desc);
  return shell_;
}

SimDesktop::ShellWindows SimDesktop::shell() const {
  const std::lock_guard lock(mutex_);
  return shell_;
}

SimDesktop::ShellWindows SimDesktop::restart_shell(const ShellSpec& desc) {
  const std::lock_guard lock(mutex_);
  const std::uint32_t old_process = shell_spec_.process_id;
  for (const Hwnd window : {shell_.taskbar, shell_.icons_workerw, shell_.layer, shell_.progman}) {
    destroy_locked(window, old_process);
  }
  start_shell_locked(desc);
  broadcast_locked(message_id_locked(taskbar_created));
  return shell_;
}

SimDesktop::ShellWindows SimDesktop::restart_taskbar(std::uint32_t process_id) {
  const std::lock_guard lock(mutex_);
  const Window* old = find(shell_.taskbar);
  const Rect rect = old != nullptr ? old->state.rect : Rect{};
  if (old != nullptr) destroy_locked(shell_.taskbar, old->state.process_id);
  shell_.taskbar = create_locked({.class_name = u"Shell_TrayWnd",
                                  .process_id = process_id,
                                  .rect = rect,
                                  .style = 0x96000000});
  broadcast_locked(message_id_locked(taskbar_created));
  return shell_;
}

void SimDesktop::post_from_outside(Hwnd window, std::uint32_t message) {
  const std::lock_guard lock(mutex_);
  post_locked(window, {.window = window, .message = message});
}

void SimDesktop::start_shell_locked(const ShellSpec& desc) {
  shell_spec_ = desc;
  const Rect screen = virtual_screen();
  const Rect whole{0, 0, screen.right - screen.left, screen.bottom - screen.top};
  shell_ = {};
  shell_.progman = create_locked({.class_name = u"Progman",
                                  .process_id = desc.process_id,
                                  .rect = screen,
                                  .style = 0x96000000});
  shell_.defview = create_locked({.class_name = u"SHELLDLL_DefView",
                                  .parent = shell_.progman,
                                  .process_id = desc.process_id,
                                  .rect = whole,
                                  .style = 0x56000000});
  if (desc.taskbar && !monitors_.empty()) {
    const Rect primary = monitors_.front().info.monitor;
    shell_.taskbar =
        create_locked({.class_name = u"Shell_TrayWnd",
                       .process_id = desc.process_id,
                       .rect = {primary.left, primary.bottom - 40, primary.right, primary.bottom},
                       .style = 0x96000000});
  }
  if (desc.layer_exists) create_layer();
}

void SimDesktop::create_layer() {
  if (shell_.layer != 0 || find(shell_.progman) == nullptr) return;
  const Rect screen = virtual_screen();
  const std::uint32_t pid = shell_spec_.process_id;
  if (shell_spec_.layout == ShellLayout::raised) {
    shell_.layer =
        create_locked({.class_name = u"WorkerW",
                       .parent = shell_.progman,
                       .process_id = pid,
                       .rect = {0, 0, screen.right - screen.left, screen.bottom - screen.top},
                       .style = 0x56000000});
    place_below(shell_.layer, shell_.defview);
    return;
  }
  // The icons move to a new top-level WorkerW; the empty one behind it is the layer.
  shell_.layer = create_locked(
      {.class_name = u"WorkerW", .process_id = pid, .rect = screen, .style = 0x96000000});
  place_above(shell_.layer, shell_.progman);
  shell_.icons_workerw = create_locked(
      {.class_name = u"WorkerW", .process_id = pid, .rect = screen, .style = 0x96000000});
  place_above(shell_.icons_workerw, shell_.layer);
  unlink(shell_.defview);
  windows_.at(shell_.defview).state.parent = shell_.icons_workerw;
  windows_.at(shell_.icons_workerw).children.push_back(shell_.defview);
}

// The shell posts its broadcast to every top-level window; only the program's own have a queue.
void SimDesktop::broadcast_locked(std::uint32_t message) {
  for (const Hwnd window : windows_.at(desktop_).children) {
    post_locked(window, {.window = window, .message = message});
  }
}

SysResult<void> SimDesktop::send_message_timeout_w(Hwnd window, std::uint32_t message,
                                                   std::uint64_t wparam, std::int64_t lparam,
                                                   std::uint32_t flags, std::uint32_t timeout_ms) {
  Entry call = enter(Call::SendMessageTimeoutW,
                     args(decimal(window), hex(message), decimal(std::int64_t(wparam)),
                          decimal(lparam), hex(flags), decimal(timeout_ms)));
  if (call.fault) return std::unexpected(*call.fault);
  if (find(window) == nullptr) return std::unexpected(win::error_invalid_window_handle);
  const bool spawn_request = window == shell_.progman && message == spawn_message &&
                             wparam == spawn_wparam && lparam == spawn_lparam;
  if (!spawn_request) return {};
  if (shell_spec_.hung) {
    wait_locked(call.lock, std::chrono::milliseconds(timeout_ms));
    return std::unexpected(error_timeout);
  }
  if (!shell_spec_.creates_layer) return {};
  if (shell_spec_.spawn_delay.count() == 0) {
    create_layer();
  } else {
    schedule_locked(
        now_ + shell_spec_.spawn_delay, [this] { create_layer(); }, false);
  }
  return {};
}

}  // namespace orvel
