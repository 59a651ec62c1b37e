// The hand-over buffer between a producer thread and a consumer thread: a ring of fixed capacity guarded by
// one mutex with a 250 ms bound. A write stores all of its bytes or none; a read takes what is there, rounded
// down to a multiple of a granularity, and never waits for data. A thread that has nothing to do until bytes
// or room arrive waits for them (WaitForCount, WaitForRoom) instead of polling.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/timed_mutex.h"

namespace ktv {

class tByteQueue {
 public:
  // Capacity is the requested size, at least 1024 bytes.
  explicit tByteQueue(int32_t size);
  tByteQueue(const tByteQueue&) = delete;
  tByteQueue& operator=(const tByteQueue&) = delete;

  // True when all `count` bytes were stored; false (nothing stored) when they do not fit or the lock was not
  // had.
  bool Write(const void* data, int32_t count);
  // Copies at most `max` bytes, a whole multiple of `granularity` (at least 1); returns the count copied.
  int32_t Read(void* dest, int32_t max, int32_t granularity);
  void Clear();
  // Unlocked reads; may be one operation old.
  int32_t GetCapacity() const { return Capacity.load(std::memory_order_relaxed); }
  // Makes room for `size` bytes in all, keeping what is held; false (nothing changed) when size is not
  // larger or the lock was not had. The one exception to the fixed capacity: a stream whose real bit rate is
  // known only once its headers have been read.
  bool Grow(int32_t size);
  int32_t GetCount() const { return Count.load(std::memory_order_relaxed); }

  // Waits up to the given milliseconds until the condition holds, testing it again whenever bytes come or go
  // and on Wake; true when it holds on return. The condition may read anything that Wake is called for.
  template <class tCondition>
  bool WaitUntil(tCondition condition, uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(SignalLock);
    Signal.wait_for(lock, std::chrono::milliseconds(milliseconds), condition);
    return condition();
  }
  bool WaitForCount(int32_t count, uint32_t milliseconds) {
    return WaitUntil([&] { return GetCount() >= count; }, milliseconds);
  }
  bool WaitForRoom(int32_t count, uint32_t milliseconds) {
    return WaitUntil([&] { return GetCapacity() - GetCount() >= count; }, milliseconds);
  }
  // Something a waiter's condition reads has changed (the session stops, the input ends): test again now.
  void Wake();

 private:
  static constexpr uint32_t kLockWaitMs = 250;

  tTimedMutex Lock;
  std::atomic<int32_t> Count{0};  // written under Lock, read unlocked by GetCount
  std::atomic<int32_t> Capacity;  // changed only by Grow, under Lock
  int32_t ReadPos = 0;            // guarded by Lock
  int32_t WritePos = 0;           // guarded by Lock
  std::unique_ptr<uint8_t[]> Storage;

  std::mutex SignalLock;  // orders the waits with the changes they test, so that none is missed
  std::condition_variable Signal;
};

}  // namespace ktv
