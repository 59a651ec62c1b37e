#include "support/qt/qt_test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QThread>

#include "platform/main_thread.h"

namespace ktv::test {

namespace {
void PumpOnce() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  DrainMainThreadCalls();
}
}  // namespace

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!condition()) {
    if (deadline.hasExpired()) return condition();
    PumpOnce();
    QThread::msleep(2);
  }
  return true;
}

void RunEvents(int ms) {
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) {
    PumpOnce();
    QThread::msleep(2);
  }
}

std::string SaveScreenshot(const QImage& image, const std::string& name) {
  const QString folder = QStringLiteral(KTV_BUILD_DIR "/screenshots/tests");
  if (!QDir().mkpath(folder)) return "";
  const QString path = folder + "/" + QString::fromStdString(name) + ".png";
  return image.save(path, "PNG") ? path.toStdString() : "";
}

bool IsOffscreen() { return QGuiApplication::platformName() == QStringLiteral("offscreen"); }

}  // namespace ktv::test
