// The lock where the program's decisions are tested, natively: a word taken by exchange, and the
// processor handed to another thread while it is taken.
#include <atomic>
#include <thread>

#include "platform/lock.h"

namespace orvel {
namespace {

// Any address but null marks the word taken.
int taken_mark;

}  // namespace

void Lock::lock() {
  std::atomic_ref<void*> word(word_);
  while (word.exchange(&taken_mark, std::memory_order_acquire) != nullptr)
    std::this_thread::yield();
}

void Lock::unlock() {
  std::atomic_ref<void*>(word_).store(nullptr, std::memory_order_release);
}

}  // namespace orvel
