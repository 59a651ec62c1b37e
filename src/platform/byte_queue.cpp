#include "platform/byte_queue.h"

#include <algorithm>
#include <cstring>

namespace ktv {

tByteQueue::tByteQueue(int32_t size)
    : Capacity(std::max<int32_t>(size, 1024)), Storage(new uint8_t[static_cast<size_t>(Capacity.load())]) {}

bool tByteQueue::Grow(int32_t size) {
  tTimedLock lock(Lock, kLockWaitMs);
  const int32_t capacity = GetCapacity();
  if (!lock.Locked() || size <= capacity) return false;
  auto storage = std::make_unique<uint8_t[]>(static_cast<size_t>(size));
  int32_t held = Count.load(std::memory_order_relaxed);
  int32_t first = std::min(held, capacity - ReadPos);
  std::memcpy(storage.get(), &Storage[static_cast<size_t>(ReadPos)], static_cast<size_t>(first));
  std::memcpy(storage.get() + first, Storage.get(), static_cast<size_t>(held - first));
  Storage = std::move(storage);
  ReadPos = 0;
  WritePos = held == size ? 0 : held;
  Capacity.store(size, std::memory_order_relaxed);
  lock.Release();
  Wake();
  return true;
}

bool tByteQueue::Write(const void* data, int32_t count) {
  tTimedLock lock(Lock, kLockWaitMs);
  if (!lock.Locked() || count < 0) return false;
  int32_t held = Count.load(std::memory_order_relaxed);
  if (Capacity - held < count) return false;
  auto* from = static_cast<const uint8_t*>(data);
  int32_t remaining = count;
  while (remaining > 0 && held < Capacity) {
    int32_t chunk = std::min(Capacity - WritePos, remaining);
    std::memcpy(&Storage[static_cast<size_t>(WritePos)], from, static_cast<size_t>(chunk));
    from += chunk;
    remaining -= chunk;
    WritePos += chunk;
    if (WritePos == Capacity) WritePos = 0;
    held += chunk;
  }
  Count.store(held, std::memory_order_relaxed);
  lock.Release();
  Wake();
  return true;
}

int32_t tByteQueue::Read(void* dest, int32_t max, int32_t granularity) {
  tTimedLock lock(Lock, kLockWaitMs);
  if (!lock.Locked() || max <= 0) return 0;
  granularity = std::max(granularity, 1);
  int32_t held = Count.load(std::memory_order_relaxed);
  int32_t n = std::min(max, held);
  n = n / granularity * granularity;
  auto* to = static_cast<uint8_t*>(dest);
  int32_t remaining = n;
  while (remaining > 0 && held > 0) {
    int32_t chunk = std::min(Capacity - ReadPos, remaining);
    std::memcpy(to, &Storage[static_cast<size_t>(ReadPos)], static_cast<size_t>(chunk));
    to += chunk;
    remaining -= chunk;
    ReadPos += chunk;
    if (ReadPos == Capacity) ReadPos = 0;
    held -= chunk;
  }
  Count.store(held, std::memory_order_relaxed);
  lock.Release();
  if (n > 0) Wake();
  return n;
}

void tByteQueue::Clear() {
  tTimedLock lock(Lock, kLockWaitMs);
  if (!lock.Locked()) return;
  Count.store(0, std::memory_order_relaxed);
  ReadPos = 0;
  WritePos = 0;
  lock.Release();
  Wake();
}

void tByteQueue::Wake() {
  { std::lock_guard<std::mutex> guard(SignalLock); }
  Signal.notify_all();
}

}  // namespace ktv
