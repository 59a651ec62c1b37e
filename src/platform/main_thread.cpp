#include "platform/main_thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

namespace ktv {

namespace {

struct tPendingCall {
  const std::function<void()>* Call;
  bool Done = false;  // guarded by the queue's Lock
  bool Ran = false;   // guarded by the queue's Lock; false when the queue shut down before the call ran
};

struct tCallQueue {
  std::mutex Lock;
  std::condition_variable Arrived;    // a call was queued
  std::condition_variable Finished;   // a call has run
  std::deque<tPendingCall*> Calls;    // guarded by Lock
  bool Woken = false;                 // guarded by Lock
  bool ShutDown = false;              // guarded by Lock
  std::function<void()> WakeHandler;  // guarded by Lock
};

// Holds the queue without ever destroying it: a worker may still call in while exit() tears the process
// down, and destroying a condition variable that a thread waits on blocks for good.
union tImmortalQueue {
  tImmortalQueue() : Queue() {}
  ~tImmortalQueue() {}
  tCallQueue Queue;
};

void ShutDownAtExit() {
  ShutDownMainThreadCalls();
}

tCallQueue& Queue() {
  static tImmortalQueue holder;
  // Registered after the window system's own exit handlers (the queue is first used once the application
  // exists), so it runs before them.
  static const bool registered = std::atexit(&ShutDownAtExit) == 0;
  (void)registered;
  return holder.Queue;
}

std::atomic<std::thread::id> gMainThread{std::this_thread::get_id()};

}  // namespace

void SetMainThread() {
  gMainThread = std::this_thread::get_id();
}

bool IsMainThread() {
  return gMainThread.load() == std::this_thread::get_id();
}

bool Synchronize(const std::function<void()>& call) {
  if (IsMainThread()) {
    call();
    return true;
  }
  tCallQueue& q = Queue();
  tPendingCall pending{&call};
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> guard(q.Lock);
    if (q.ShutDown) return false;
    q.Calls.push_back(&pending);
    wake = q.WakeHandler;
  }
  q.Arrived.notify_all();
  if (wake) wake();
  std::unique_lock<std::mutex> lock(q.Lock);
  // Only Done ends the wait: a call the main thread is running still uses this frame's `call`.
  q.Finished.wait(lock, [&] { return pending.Done; });
  return pending.Ran;
}

void ShutDownMainThreadCalls() {
  tCallQueue& q = Queue();
  {
    std::lock_guard<std::mutex> guard(q.Lock);
    q.ShutDown = true;
    for (tPendingCall* pending : q.Calls) pending->Done = true;
    q.Calls.clear();
    q.WakeHandler = {};
  }
  q.Finished.notify_all();
  q.Arrived.notify_all();
}

int DrainMainThreadCalls() {
  tCallQueue& q = Queue();
  int ran = 0;
  for (;;) {
    tPendingCall* pending;
    {
      std::lock_guard<std::mutex> guard(q.Lock);
      if (q.Calls.empty()) break;
      pending = q.Calls.front();
      q.Calls.pop_front();
    }
    (*pending->Call)();
    ++ran;
    {
      std::lock_guard<std::mutex> guard(q.Lock);
      pending->Ran = true;
      pending->Done = true;
    }
    q.Finished.notify_all();
  }
  return ran;
}

bool WaitForMainThreadCalls(uint32_t milliseconds) {
  tCallQueue& q = Queue();
  std::unique_lock<std::mutex> lock(q.Lock);
  bool ready = q.Arrived.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                  [&] { return !q.Calls.empty() || q.Woken; });
  q.Woken = false;
  return ready && !q.Calls.empty();
}

void WakeMainThread() {
  tCallQueue& q = Queue();
  {
    std::lock_guard<std::mutex> guard(q.Lock);
    q.Woken = true;
  }
  q.Arrived.notify_all();
}

void SetMainThreadWakeHandler(std::function<void()> handler) {
  tCallQueue& q = Queue();
  std::lock_guard<std::mutex> guard(q.Lock);
  q.WakeHandler = std::move(handler);
}

}  // namespace ktv
