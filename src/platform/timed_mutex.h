// A mutex waited on with a bound: every lock in the program gives up after a fixed time instead of
// blocking for ever.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace ktv {

class tTimedMutex {
 public:
  // True when the lock was taken within the given milliseconds.
  bool TryLockFor(uint32_t milliseconds) {
    return Mutex.try_lock_for(std::chrono::milliseconds(milliseconds));
  }
  void Unlock() { Mutex.unlock(); }

 private:
  std::timed_mutex Mutex;
};

// Holds a tTimedMutex for a scope when the bounded wait succeeded; check Locked() before touching state.
class tTimedLock {
 public:
  tTimedLock(tTimedMutex& mutex, uint32_t milliseconds)
      : Mutex(mutex), IsLocked(mutex.TryLockFor(milliseconds)) {}
  ~tTimedLock() { Release(); }
  tTimedLock(const tTimedLock&) = delete;
  tTimedLock& operator=(const tTimedLock&) = delete;
  bool Locked() const { return IsLocked; }
  // Unlocks before the scope ends.
  void Release() {
    if (IsLocked) Mutex.Unlock();
    IsLocked = false;
  }

 private:
  tTimedMutex& Mutex;
  bool IsLocked;
};

}  // namespace ktv
