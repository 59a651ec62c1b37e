// A worker thread with the terminate flag and the wait of the program's thread model.
// Shut down by flag, wake, join: Terminate() sets the flag, WaitFor() joins. A thread never outlives its
// object: the owner calls Terminate() and WaitFor() before the derived object goes away.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace ktv {

// Best-effort scheduling priority of the calling thread: -1 below normal, 0 normal, +1 above normal.
void SetCurrentThreadPriority(int level);

class tThread {
 public:
  tThread() = default;
  // The derived class must have ended the thread (Terminate + WaitFor) in its own destructor; this one only
  // joins as a last resort.
  virtual ~tThread();
  tThread(const tThread&) = delete;
  tThread& operator=(const tThread&) = delete;

  void Start();
  // Sets the flag and ends a Pause at once.
  void Terminate();
  bool Terminated() const { return TerminateFlag; }
  // True once Execute has returned.
  bool Finished() const { return FinishedFlag; }
  bool Started() const { return Worker.joinable(); }
  // Any thread: ends the thread's current (or next) Pause early, because something it waits for happened.
  void Wake();
  // Waits for Execute to return. On the main thread, main-thread calls keep running meanwhile.
  void WaitFor();

 protected:
  virtual void Execute() = 0;
  // The thread itself: waits up to the given milliseconds, returning early on Wake or Terminate. False once
  // terminated. Waiting here instead of sleeping in slices lets a thread sleep as long as it has no work.
  bool Pause(uint32_t milliseconds);
  // Runs the call on the main thread and returns once it has run.
  void Synchronize(const std::function<void()>& call);

 private:
  std::thread Worker;
  std::atomic<bool> TerminateFlag{false};  // written by the owner, polled by the thread
  std::atomic<bool> FinishedFlag{false};   // written by the thread
  std::mutex WakeLock;
  std::condition_variable WakeUp;
  bool WakePending = false;  // guarded by WakeLock
};

}  // namespace ktv
