// The hand-over buffer between a producer thread and a consumer thread: a ring of fixed capacity guarded by
// one mutex with a 250 ms bound. A write stores all of its bytes or none; a read takes what is there, rounded
// down to a multiple of a granularity, and never waits for data.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

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
  int32_t GetCapacity() const { return Capacity; }
  int32_t GetCount() const { return Count.load(std::memory_order_relaxed); }

 private:
  static constexpr uint32_t kLockWaitMs = 250;

  tTimedMutex Lock;
  std::atomic<int32_t> Count{0};  // written under Lock, read unlocked by GetCount
  const int32_t Capacity;
  int32_t ReadPos = 0;   // guarded by Lock
  int32_t WritePos = 0;  // guarded by Lock
  std::unique_ptr<uint8_t[]> Storage;
};

}  // namespace ktv
