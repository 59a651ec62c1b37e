#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/clock.h"
#include "platform/main_thread.h"
#include "platform/module_loader.h"
#include "platform/thread.h"
#include "platform/timed_mutex.h"
#include "support/test_support.h"

namespace ktv {
namespace {

TEST(ModuleLoader, ProgramFolderEndsWithSlashAndHoldsTheProgram) {
  std::string folder = GetProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(folder.front(), '/');
}

TEST(ModuleLoader, SearchFolderReplacesTheNormalSearch) {
  test::tTempDir empty;
  SetModuleSearchFolder(empty.Path());
  EXPECT_EQ(LoadModule("libogg.so.0"), nullptr) << "an empty search folder must hide the system library";
  SetModuleSearchFolder("");
  void* ogg = LoadModule("libogg.so.0");
  ASSERT_NE(ogg, nullptr) << "the system search finds libogg";
  EXPECT_NE(GetModuleSymbol(ogg, "ogg_sync_init"), nullptr);
  EXPECT_EQ(GetModuleSymbol(ogg, "no_such_entry_point"), nullptr);
  FreeModule(ogg);
}

TEST(TimedMutex, GivesUpAfterItsBound) {
  tTimedMutex mutex;
  ASSERT_TRUE(mutex.TryLockFor(10));
  std::atomic<bool> got{true};
  std::thread other([&] {
    tTimedLock lock(mutex, 50);
    got = lock.Locked();
  });
  other.join();
  EXPECT_FALSE(got) << "a held mutex must not be taken by another thread";
  mutex.Unlock();
  tTimedLock lock(mutex, 50);
  EXPECT_TRUE(lock.Locked());
}

class tCountingThread : public tThread {
 public:
  ~tCountingThread() override {
    Terminate();
    WaitFor();
  }
  std::atomic<int> Calls{0};
  std::atomic<bool> RanOnMain{false};

 protected:
  void Execute() override {
    while (!Terminated()) {
      Synchronize([this] {
        RanOnMain = IsMainThread();
        ++Calls;
      });
      Sleep(1);
    }
  }
};

TEST(MainThreadQueue, WorkerCallsRunOnTheMainThreadAndWaitForDrains) {
  SetMainThread();
  tCountingThread worker;
  worker.Start();
  // The worker is blocked in Synchronize until the main thread drains; it must finish even though
  // the main thread only waits for it.
  while (worker.Calls < 3) {
    DrainMainThreadCalls();
    WaitForMainThreadCalls(10);
  }
  EXPECT_TRUE(worker.RanOnMain);
  worker.Terminate();
  worker.WaitFor();
  EXPECT_TRUE(worker.Finished());
}

TEST(MainThreadQueue, SynchronizeOnTheMainThreadRunsAtOnce) {
  SetMainThread();
  int ran = 0;
  Synchronize([&] { ++ran; });
  EXPECT_EQ(ran, 1);
}

// Runs `body` in a child process whose main thread never drains the queue; returns the child's exit code,
// or -1 when it was still running after ten seconds (it is then killed).
int RunChildWithStuckWorker(void (*body)(std::atomic<bool>& blocked, std::atomic<int>& result)) {
  const pid_t pid = fork();
  if (pid == 0) {
    SetMainThread();
    std::atomic<bool> blocked{false};
    std::atomic<int> result{-1};
    // Never joined: exit() must end the process with the worker still inside Synchronize.
    std::thread worker([&] {
      blocked = true;
      result = Synchronize([] {}) ? 1 : 0;
    });
    worker.detach();  // left running on purpose (a thread checker would call a joinable one leaked)
    while (!blocked) std::this_thread::yield();
    body(blocked, result);
    _exit(99);  // body must have left by exit() already
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

TEST(MainThreadQueue, ShutDownReleasesWaitingWorkersAndRefusesLaterCalls) {
  struct {
    void (*Body)(std::atomic<bool>&, std::atomic<int>&);
    int Expected;
    const char* Note;
  } rows[] = {
      {[](std::atomic<bool>&, std::atomic<int>& result) {
         // Give the worker time to be queued and asleep in its wait before the queue goes.
         std::this_thread::sleep_for(std::chrono::milliseconds(100));
         ShutDownMainThreadCalls();
         while (result < 0) std::this_thread::yield();
         int later = -1;
         std::thread([&] { later = Synchronize([] { std::abort(); }) ? 1 : 0; }).join();
         std::exit(result == 0 && later == 0 ? 0 : 1);
       },
       0, "the waiting call returns false without running, a later one returns at once"},
      {[](std::atomic<bool>&, std::atomic<int>&) {
         std::this_thread::sleep_for(std::chrono::milliseconds(100));
         // What the window system's library does when the display goes away.
         std::exit(3);
       },
       3, "exit() with a worker blocked in Synchronize ends the process"},
  };
  for (const auto& r : rows) EXPECT_EQ(RunChildWithStuckWorker(r.Body), r.Expected) << r.Note;
}

}  // namespace
}  // namespace ktv
