// The main of every windowed test program: one QApplication for all the tests of the program, with the
// main-thread call queue served by its event loop. Listing the tests (as CTest does to find them) needs no
// display, so no application is made for it.
#include <gtest/gtest.h>

#include <QApplication>

#include "playback/qt/main_thread_pump.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  QApplication application(argc, argv);
  ktv::InstallQtMainThreadPump();
  const int result = RUN_ALL_TESTS();
  ktv::RemoveQtMainThreadPump();
  return result;
}
