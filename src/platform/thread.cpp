#include "platform/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

#include "platform/main_thread.h"

namespace ktv {

void SetCurrentThreadPriority(int level) {
  // Nice values per thread; raising above normal needs privileges and quietly stays normal without them.
  int nice = level < 0 ? 5 : (level > 0 ? -5 : 0);
  pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

tThread::~tThread() {
  TerminateFlag = true;
  if (Worker.joinable()) WaitFor();
}

void tThread::Start() {
  if (Worker.joinable()) return;
  FinishedFlag = false;
  Worker = std::thread([this] {
    Execute();
    FinishedFlag = true;
  });
}

void tThread::Terminate() {
  TerminateFlag = true;
  Wake();
}

void tThread::Wake() {
  {
    std::lock_guard<std::mutex> guard(WakeLock);
    WakePending = true;
  }
  WakeUp.notify_all();
}

bool tThread::Pause(uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(WakeLock);
  WakeUp.wait_for(lock, std::chrono::milliseconds(milliseconds),
                  [this] { return WakePending || TerminateFlag; });
  WakePending = false;
  return !TerminateFlag;
}

void tThread::WaitFor() {
  if (!Worker.joinable()) return;
  if (Worker.get_id() == std::this_thread::get_id()) return;  // a thread cannot wait for itself
  if (IsMainThread()) {
    while (!FinishedFlag) {
      DrainMainThreadCalls();
      WaitForMainThreadCalls(5);
    }
    DrainMainThreadCalls();
  }
  Worker.join();
}

void tThread::Synchronize(const std::function<void()>& call) {
  ktv::Synchronize(call);
}

}  // namespace ktv
