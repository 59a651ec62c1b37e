// A worker thread with the terminate flag and the wait of the program's thread model.
// Shut down by flag, wake, join: Terminate() sets the flag, WaitFor() joins. A thread never outlives its
// object: the owner calls Terminate() and WaitFor() before the derived object goes away.
#pragma once

#include <atomic>
#include <functional>
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
  void Terminate() { TerminateFlag = true; }
  bool Terminated() const { return TerminateFlag; }
  // True once Execute has returned.
  bool Finished() const { return FinishedFlag; }
  bool Started() const { return Worker.joinable(); }
  // Waits for Execute to return. On the main thread, main-thread calls keep running meanwhile.
  void WaitFor();

 protected:
  virtual void Execute() = 0;
  // Runs the call on the main thread and returns once it has run.
  void Synchronize(const std::function<void()>& call);

 private:
  std::thread Worker;
  std::atomic<bool> TerminateFlag{false};  // written by the owner, polled by the thread
  std::atomic<bool> FinishedFlag{false};   // written by the thread
};

}  // namespace ktv
