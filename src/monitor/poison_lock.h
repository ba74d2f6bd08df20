#pragma once

#include <exception>
#include <mutex>

namespace orvel {

// A mutex around a value that remembers, for good, that a holder ended abnormally while it held
// the lock: every later holder is told, together with the value. A holder ends abnormally when it
// leaves by unwinding; tests can set the mark by hand.
template <class T>
class PoisonLock {
 public:
  class Guard {
   public:
    explicit Guard(PoisonLock& owner)
        : owner_(owner), lock_(owner.mutex_), unwinding_at_entry_(std::uncaught_exceptions()) {}
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    ~Guard() {
      if (std::uncaught_exceptions() > unwinding_at_entry_) owner_.poisoned_ = true;
    }

    bool poisoned() const { return owner_.poisoned_; }
    T& value() { return owner_.value_; }

   private:
    PoisonLock& owner_;
    std::lock_guard<std::mutex> lock_;
    int unwinding_at_entry_;
  };

  Guard lock() { return Guard(*this); }
  void mark_poisoned() {
    const std::lock_guard lock(mutex_);
    poisoned_ = true;
  }

 private:
  std::mutex mutex_;
  T value_{};
  bool poisoned_ = false;
};

}  // namespace orvel
