#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/sim/format.h"
#include "platform/sim_desktop.h"

namespace orvel {

using namespace sim;

namespace {

constexpr std::uint32_t first_thread_id = 1001;
constexpr std::size_t calls_shown_when_stuck = 200;

}  // namespace

// ---- threads -----------------------------------------------------------------------------------

SimDesktop::Thread* SimDesktop::current_thread() {
  const std::thread::id me = std::this_thread::get_id();
  for (Thread& thread : threads_) {
    if (thread.native == me && !thread.ended) return &thread;
  }
  return nullptr;
}

std::uint32_t SimDesktop::current_thread_id() {
  const Thread* me = current_thread();
  return me == nullptr ? 0 : me->id;
}

// The new thread waits for its first turn; it gets it once the thread that started it blocks.
SysResult<void> SimDesktop::start_thread(ThreadBody body) {
  const Entry call = enter(Call::CreateThread, "");
  if (call.fault) return std::unexpected(*call.fault);
  const auto id = static_cast<std::uint32_t>(first_thread_id + threads_.size());
  threads_.push_back({.id = id, .ready = [] { return true; }});
  ++live_threads_;
  std::thread thread([this, body, id] {
    Lock lock(mutex_);
    Thread& me = *std::ranges::find(threads_, id, &Thread::id);
    wait_for_turn(lock, id);
    me.ready = nullptr;
    lock.unlock();
    body(*this);
    lock.lock();
    me.ended = true;
    hand_over(lock);
    --live_threads_;
    turn_changed_.notify_all();
  });
  threads_.back().native = thread.get_id();
  thread.detach();
  return {};
}

void SimDesktop::block_until(Lock& lock, std::function<bool()> ready) {
  if (ready()) return;
  Thread* me = current_thread();
  if (me == nullptr) stop_stuck("a thread that the desktop does not know would block");
  while (!ready()) {
    me->ready = ready;
    hand_over(lock);
    wait_for_turn(lock, me->id);
    me->ready = nullptr;
  }
}

// The threads are asked in a fixed round from the one that blocks, itself last, so the order in
// which they run is the same on every run.
void SimDesktop::hand_over(Lock& lock) {
  for (;;) {
    const auto holder = std::ranges::find(threads_, turn_, &Thread::id);
    const auto from = static_cast<std::size_t>(holder - threads_.begin());
    for (std::size_t step = 1; step <= threads_.size(); ++step) {
      Thread& next = threads_[(from + step) % threads_.size()];
      if (!next.ended && next.ready && next.ready()) {
        turn_ = next.id;
        turn_changed_.notify_all();
        return;
      }
    }
    if (!advance_time(lock)) stop_stuck("every thread is blocked and nothing is due");
  }
}

// A thread whose process has ended never comes back from the call it was blocked in.
void SimDesktop::wait_for_turn(Lock& lock, std::uint32_t thread_id) {
  turn_changed_.wait(lock, [&] { return turn_ == thread_id || process_ended_; });
  if (process_ended_) {
    --live_threads_;
    turn_changed_.notify_all();
    lock.unlock();
    park_forever();
  }
}

void SimDesktop::park_forever() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

// ---- time --------------------------------------------------------------------------------------

// Moves to the earliest due action or timer, runs the actions due then, and tells whether there
// was anything to move to.
bool SimDesktop::advance_time(Lock& lock) {
  Micros next = Micros::max();
  for (const Scheduled& scheduled : scheduled_) next = std::min(next, scheduled.due);
  for (const Timer& timer : timers_) {
    if (timer.due > now_) next = std::min(next, timer.due);
  }
  if (next == Micros::max()) return false;
  if (next - start_ > time_limit_) stop_stuck("virtual time ran past its limit");
  now_ = std::max(now_, next);
  for (;;) {
    const auto due = std::ranges::min_element(scheduled_, [](const auto& a, const auto& b) {
      return std::pair(a.due, a.order) < std::pair(b.due, b.order);
    });
    if (due == scheduled_.end() || due->due > now_) return true;
    Scheduled action = std::move(*due);
    scheduled_.erase(due);
    if (!action.action) continue;
    if (!action.outside_lock) {
      action.action();
      continue;
    }
    lock.unlock();
    action.action();
    lock.lock();
  }
}

void SimDesktop::schedule_locked(Micros due, std::function<void()> action, bool outside_lock) {
  scheduled_.push_back({.due = due,
                        .order = next_order_++,
                        .action = std::move(action),
                        .outside_lock = outside_lock});
}

[[noreturn]] void SimDesktop::stop_stuck(std::string_view why) {
  std::string report = "simulated desktop stopped: ";
  report += why;
  report += " (virtual time " + decimal((now_ - start_).count()) + " us)\n";
  for (const Thread& thread : threads_) {
    report += "  thread " + decimal(thread.id) + (thread.ended ? ": ended\n" : ": blocked\n");
  }
  report += "last calls:\n";
  const std::size_t first =
      calls_.size() > calls_shown_when_stuck ? calls_.size() - calls_shown_when_stuck : 0;
  for (std::size_t i = first; i < calls_.size(); ++i) report += "  " + calls_[i] + "\n";
  std::fputs(report.c_str(), stderr);
  std::abort();
}

std::chrono::microseconds SimDesktop::monotonic_now() {
  const std::lock_guard lock(mutex_);
  return now_;
}

void SimDesktop::sleep(std::chrono::milliseconds duration) {
  Entry call = enter(Call::Sleep, decimal(duration.count()));
  wait_locked(call.lock, duration);
}

void SimDesktop::wait_locked(Lock& lock, Micros duration) {
  const Micros until = now_ + duration;
  schedule_locked(until, {}, false);
  block_until(lock, [this, until] { return now_ >= until; });
}

std::chrono::microseconds SimDesktop::elapsed() const {
  const std::lock_guard lock(mutex_);
  return now_ - start_;
}

void SimDesktop::at(std::chrono::microseconds at, std::function<void()> action) {
  const std::lock_guard lock(mutex_);
  schedule_locked(start_ + at, std::move(action), true);
}

void SimDesktop::run_for(std::chrono::microseconds duration) {
  Lock lock(mutex_);
  wait_locked(lock, duration);
}

void SimDesktop::set_time_limit(std::chrono::microseconds limit) {
  const std::lock_guard lock(mutex_);
  time_limit_ = limit;
}

}  // namespace orvel
