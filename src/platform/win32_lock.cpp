#include <windows.h>

#include "platform/lock.h"

namespace orvel {

// An SRWLOCK is one word that is empty when free (SRWLOCK_INIT): the lock's own word is one.
static_assert(sizeof(SRWLOCK) == sizeof(void*));

void Lock::lock() {
  AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&word_));
}

void Lock::unlock() {
  ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&word_));
}

}  // namespace orvel
