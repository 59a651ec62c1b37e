#include "playback/qt/main_thread_pump.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "platform/main_thread.h"

namespace ktv {

void InstallQtMainThreadPump() {
  SetMainThread();
  SetMainThreadWakeHandler([] {
    // Runs on the worker; the queued call runs on the application's (main) thread.
    if (QCoreApplication* application = QCoreApplication::instance())
      QMetaObject::invokeMethod(
          application, [] { DrainMainThreadCalls(); }, Qt::QueuedConnection);
  });
}

void RemoveQtMainThreadPump() {
  SetMainThreadWakeHandler({});
}

}  // namespace ktv
