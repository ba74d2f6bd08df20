#include <algorithm>
#include <string>

#include "platform/sim/format.h"
#include "platform/sim_desktop.h"
#include "platform/text.h"

namespace orvel {

using namespace sim;

namespace {

constexpr std::uint32_t first_registered_message = 0xC100;
constexpr std::uint16_t first_class_atom = 0xC000;
// Windows raises shorter timer periods to this.
constexpr std::uint32_t user_timer_minimum_ms = 10;

}  // namespace

// ---- with the lock held ----------------------------------------------------------------------

std::uint32_t SimDesktop::message_id_locked(std::u16string_view name) {
  const auto found = message_ids_.find(name);
  if (found != message_ids_.end()) return found->second;
  const auto id = static_cast<std::uint32_t>(first_registered_message + message_ids_.size());
  message_ids_.emplace(std::u16string(name), id);
  return id;
}

// An out-of-context hook hears of the event in its own thread's message wait. One that skips its
// own process hears nothing that the program itself did.
void SimDesktop::raise_win_event(std::uint32_t event, Hwnd window, std::uint32_t actor_process) {
  for (const Hook& hook : hooks_) {
    if (event < hook.event_min || event > hook.event_max) continue;
    if ((hook.flags & win::winevent_skipownprocess) != 0 && actor_process == program_process_id) {
      continue;
    }
    for (Thread& thread : threads_) {
      if (thread.id == hook.thread_id && !thread.ended) {
        thread.events.push_back({.hook = &hook, .event = event, .window = window});
      }
    }
  }
}

bool SimDesktop::has_message(const Thread& thread) const {
  if (!thread.events.empty() || !thread.posted.empty() || thread.quit) return true;
  return std::ranges::any_of(timers_, [&](const Timer& timer) {
    return timer.due <= now_ && windows_.at(timer.window).state.thread_id == thread.id;
  });
}

// Only the program's own windows have a queue here; a post to another process's window is taken
// and has no effect that the program could see.
void SimDesktop::post_locked(Hwnd window, const Message& message) {
  const Window* found = find(window);
  if (found == nullptr) return;
  for (Thread& thread : threads_) {
    if (thread.id == found->state.thread_id && !thread.ended) {
      Message posted = message;
      posted.time = static_cast<std::uint32_t>((now_ - start_).count() / 1000);
      posted.point = cursor_;
      thread.posted.push_back(posted);
    }
  }
}

// ---- Platform ----------------------------------------------------------------------------------

SysResult<std::uint16_t> SimDesktop::register_class_a(const WindowClass& window_class) {
  const Entry call =
      enter(Call::RegisterClassA, args(hex(window_class.style), quoted(window_class.class_name)));
  if (call.fault) return std::unexpected(*call.fault);
  if (window_class.procedure == nullptr) return std::unexpected(error_invalid_parameter);
  const auto [entry, added] =
      classes_.try_emplace(std::string(window_class.class_name), window_class.procedure);
  if (!added) return std::unexpected(error_class_already_exists);
  return static_cast<std::uint16_t>(first_class_atom + classes_.size());
}

SysResult<std::uint32_t> SimDesktop::register_window_message_w(std::u16string_view name) {
  const Entry call = enter(Call::RegisterWindowMessageW, quoted(utf8_from_utf16_lossy(name)));
  if (call.fault) return std::unexpected(*call.fault);
  return message_id_locked(name);
}

SysResult<Hwnd> SimDesktop::create_window_ex_a(const WindowCreation& creation) {
  const Entry call =
      enter(Call::CreateWindowExA,
            args(hex(creation.ex_style), quoted(creation.class_name), quoted(creation.window_name),
                 hex(creation.style), decimal(creation.x), decimal(creation.y),
                 decimal(creation.width), decimal(creation.height), decimal(creation.parent),
                 hex(std::uint64_t(creation.instance))));
  if (call.fault) return std::unexpected(*call.fault);
  const auto window_class = classes_.find(std::string(creation.class_name));
  if (window_class == classes_.end()) return std::unexpected(error_cannot_find_wnd_class);
  if (creation.parent != 0 && find(creation.parent) == nullptr) {
    return std::unexpected(win::error_invalid_window_handle);
  }
  const Hwnd window = create_locked(
      {.class_name = std::u16string(creation.class_name.begin(), creation.class_name.end()),
       .parent = creation.parent,
       .process_id = program_process_id,
       .rect = {creation.x, creation.y, creation.x + creation.width, creation.y + creation.height},
       .style = creation.style,
       .ex_style = creation.ex_style},
      current_thread_id());
  windows_.at(window).procedure = window_class->second;
  return window;
}

// Only the thread that made a window may destroy it; it hears WM_DESTROY before it goes.
SysResult<void> SimDesktop::destroy_window(Hwnd window) {
  Entry call = enter(Call::DestroyWindow, decimal(window));
  if (call.fault) return std::unexpected(*call.fault);
  const Window* found = find(window);
  if (found == nullptr) return std::unexpected(win::error_invalid_window_handle);
  if (found->procedure == nullptr || found->state.thread_id != current_thread_id()) {
    return std::unexpected(error_access_denied);
  }
  const WindowProc procedure = found->procedure;
  call.lock.unlock();
  procedure(*this, window, win::wm_destroy, 0, 0);
  call.lock.lock();
  destroy_locked(window, program_process_id);
  return {};
}

std::int64_t SimDesktop::def_window_proc_a(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                           std::int64_t lparam) {
  {
    const Entry call =
        enter(Call::DefWindowProcA,
              args(decimal(window), hex(message), decimal(std::int64_t(wparam)), decimal(lparam)));
  }
  if (message == win::wm_close) static_cast<void>(destroy_window(window));
  return 0;
}

SysResult<bool> SimDesktop::get_message_w(Message& message, Hwnd window, std::uint32_t first,
                                          std::uint32_t last) {
  Entry call = enter(Call::GetMessageW, args(decimal(window), decimal(first), decimal(last)));
  if (call.fault) return std::unexpected(*call.fault);
  Thread* me = current_thread();
  if (me == nullptr) stop_stuck("GetMessageW on a thread that the desktop does not know");
  for (;;) {
    block_until(call.lock, [this, me] { return has_message(*me); });
    if (!me->events.empty()) {
      const WinEvent event = me->events.front();
      me->events.pop_front();
      const Hook hook = *event.hook;
      call.lock.unlock();
      hook.callback(*this, hook.handle, event.event, event.window, win::objid_window, 0, 0, 0);
      call.lock.lock();
      continue;
    }
    if (!me->posted.empty()) {
      message = me->posted.front();
      me->posted.pop_front();
      return true;
    }
    if (me->quit) {
      message = {.message = win::wm_quit, .wparam = static_cast<std::uint64_t>(*me->quit)};
      me->quit.reset();
      return false;
    }
    const auto timer = std::ranges::min_element(timers_, {}, [&](const Timer& t) {
      return windows_.at(t.window).state.thread_id == me->id ? t.due : Micros::max();
    });
    message = {.window = timer->window, .message = win::wm_timer, .wparam = timer->id};
    timer->due = now_ + timer->period;
    return true;
  }
}

bool SimDesktop::translate_message(const Message& message) {
  const Entry call = enter(Call::TranslateMessage, hex(message.message));
  return false;
}

std::int64_t SimDesktop::dispatch_message_w(const Message& message) {
  Entry call = enter(Call::DispatchMessageW,
                     args(decimal(message.window), hex(message.message),
                          decimal(std::int64_t(message.wparam)), decimal(message.lparam)));
  const Window* found = find(message.window);
  if (found == nullptr || found->procedure == nullptr) return 0;
  const WindowProc procedure = found->procedure;
  call.lock.unlock();
  return procedure(*this, message.window, message.message, message.wparam, message.lparam);
}

SysResult<void> SimDesktop::post_message_w(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                           std::int64_t lparam) {
  const Entry call =
      enter(Call::PostMessageW,
            args(decimal(window), hex(message), decimal(std::int64_t(wparam)), decimal(lparam)));
  if (call.fault) return std::unexpected(*call.fault);
  if (find(window) == nullptr) return std::unexpected(win::error_invalid_window_handle);
  post_locked(window, {.window = window, .message = message, .wparam = wparam, .lparam = lparam});
  return {};
}

void SimDesktop::post_quit_message(int exit_code) {
  const Entry call = enter(Call::PostQuitMessage, decimal(exit_code));
  if (Thread* me = current_thread()) me->quit = exit_code;
}

// A timer belongs to the thread of its window, and only that thread may set it.
SysResult<std::uint64_t> SimDesktop::set_timer(Hwnd window, std::uint64_t id,
                                               std::uint32_t period_ms) {
  const Entry call =
      enter(Call::SetTimer, args(decimal(window), decimal(std::int64_t(id)), decimal(period_ms)));
  if (call.fault) return std::unexpected(*call.fault);
  const Window* found = find(window);
  if (found == nullptr) return std::unexpected(win::error_invalid_window_handle);
  if (found->state.thread_id != current_thread_id()) return std::unexpected(error_access_denied);
  const Micros period = std::chrono::milliseconds(std::max(period_ms, user_timer_minimum_ms));
  std::erase_if(timers_, [&](const Timer& t) { return t.window == window && t.id == id; });
  timers_.push_back({.window = window, .id = id, .period = period, .due = now_ + period});
  return id;
}

std::optional<Hhook> SimDesktop::set_win_event_hook(std::uint32_t event_min,
                                                    std::uint32_t event_max, Hmodule module,
                                                    WinEventProc callback, std::uint32_t process_id,
                                                    std::uint32_t thread_id, std::uint32_t flags) {
  const Entry call =
      enter(Call::SetWinEventHook, args(hex(event_min), hex(event_max), decimal(module),
                                        decimal(process_id), decimal(thread_id), hex(flags)));
  if (call.fault || callback == nullptr) return std::nullopt;
  hooks_.push_back({.handle = next_hook_++,
                    .event_min = event_min,
                    .event_max = event_max,
                    .callback = callback,
                    .flags = flags,
                    .thread_id = current_thread_id()});
  return hooks_.back().handle;
}

}  // namespace orvel
