// A mutex waited on with a bound: every lock in the program gives up after a fixed time instead of
// blocking for ever.
//
// Built from a plain mutex and a condition variable rather than std::timed_mutex: the timed wait of that one
// goes through pthread_mutex_clocklock, which ThreadSanitizer does not see, so every lock taken with it
// looked absent and the data it guards looked unguarded.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace ktv {

class tTimedMutex {
 public:
  // True when the lock was taken within the given milliseconds.
  bool TryLockFor(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(Guard);
    if (!Released.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return !Held; }))
      return false;
    Held = true;
    return true;
  }
  void Unlock() {
    {
      std::lock_guard<std::mutex> lock(Guard);
      Held = false;
    }
    Released.notify_one();
  }

 private:
  std::mutex Guard;
  std::condition_variable Released;
  bool Held = false;  // guarded by Guard
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
