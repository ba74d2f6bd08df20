#pragma once

namespace orvel {

// The lock of the few values that threads share (standard output, the trace, the monitor's state):
// one word, empty when free, so that one of static storage needs no constructor, and no threads
// library comes into the program with it. On Windows it is the system's slim reader/writer lock.
// Not re-entrant: no thread that holds one takes it again. Usable with std::lock_guard.
class Lock {
 public:
  constexpr Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void lock();
  void unlock();

 private:
  void* word_ = nullptr;
};

}  // namespace orvel
