// Helpers for the windowed tests. The test program's main (qt_test_main.cpp) makes the one QApplication.
#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace ktv::test {

// Runs the Qt event loop until the condition holds or the time is up; true when it held. Also drains the
// main-thread call queue, so a decoding thread waiting in a synchronised call gets served.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Runs the event loop (and the main-thread call queue) for about this long.
void RunEvents(int ms);

// Writes a picture for a person to look at into <build>/screenshots/tests/<name>.png; returns its path
// ("" when it could not be written).
std::string SaveScreenshot(const QImage& image, const std::string& name);

// True when the platform is Qt's offscreen one (no real window system).
bool IsOffscreen();

}  // namespace ktv::test
