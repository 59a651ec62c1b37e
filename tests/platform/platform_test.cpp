#include <gtest/gtest.h>

#include <atomic>
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

}  // namespace
}  // namespace ktv
