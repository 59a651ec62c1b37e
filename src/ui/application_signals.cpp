#include "ui/application_signals.h"

#include <QApplication>
#include <QMetaMethod>
#include <QWidget>

namespace ktv {

tApplicationSignals& tApplicationSignals::Instance() {
  static tApplicationSignals instance;
  return instance;
}

void tApplicationSignals::RequestMinimize() {
  if (isSignalConnected(QMetaMethod::fromSignal(&tApplicationSignals::MinimizeRequested))) {
    emit MinimizeRequested();
    return;
  }
  for (QWidget* window : QApplication::topLevelWidgets()) {
    const Qt::WindowType type = window->windowType();
    if (window->isVisible() && type != Qt::Popup && type != Qt::ToolTip) window->showMinimized();
  }
}

}  // namespace ktv
