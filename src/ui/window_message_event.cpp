#include "ui/window_message_event.h"

#include <QCoreApplication>

namespace ktv {

tWindowMessageEvent::tWindowMessageEvent(uint32_t msg, intptr_t wParam, intptr_t lParam)
    : QEvent(Type()), Msg(msg), WParam(wParam), LParam(lParam) {}

QEvent::Type tWindowMessageEvent::Type() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void PostWindowMessage(QObject* target, uint32_t msg, intptr_t wParam, intptr_t lParam) {
  QCoreApplication::postEvent(target, new tWindowMessageEvent(msg, wParam, lParam));
}

}  // namespace ktv
