#include "ui/command_events.h"

#include <QCoreApplication>

namespace ktv {

tCommandEvent::tCommandEvent(uint32_t msg, intptr_t wParam, intptr_t lParam, QString text)
    : QEvent(static_cast<QEvent::Type>(msg)),
      Msg(msg),
      WParam(wParam),
      LParam(lParam),
      Text(std::move(text)) {}

tSysCommandEvent::tSysCommandEvent(uint32_t command, QPoint pos)
    : QEvent(EventType()), Command(command), Pos(pos) {}

QEvent::Type tSysCommandEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

intptr_t PackPoint(QPoint point) {
  return static_cast<intptr_t>((static_cast<uint64_t>(static_cast<uint32_t>(point.y())) << 32) |
                               static_cast<uint32_t>(point.x()));
}

QPoint UnpackPoint(intptr_t packed) {
  const auto bits = static_cast<uint64_t>(packed);
  return {static_cast<int32_t>(static_cast<uint32_t>(bits)),
          static_cast<int32_t>(static_cast<uint32_t>(bits >> 32))};
}

tCommandEvent* AsCommand(QEvent* event) {
  return dynamic_cast<tCommandEvent*>(event);
}

void PostCommand(QObject* receiver, uint32_t msg, intptr_t wParam, intptr_t lParam, const QString& text) {
  if (receiver) QCoreApplication::postEvent(receiver, new tCommandEvent(msg, wParam, lParam, text));
}

intptr_t SendCommand(QObject* receiver, uint32_t msg, intptr_t wParam, intptr_t lParam, const QString& text) {
  if (!receiver) return 0;
  tCommandEvent event(msg, wParam, lParam, text);
  QCoreApplication::sendEvent(receiver, &event);
  return event.Result;
}

void PostSysCommand(QObject* receiver, uint32_t command, QPoint pos) {
  if (receiver) QCoreApplication::postEvent(receiver, new tSysCommandEvent(command, pos));
}

void tQtMessageTarget::PostMessage(uint32_t msg, intptr_t wParam, intptr_t lParam) {
  PostCommand(Receiver, msg, wParam, lParam);
}

}  // namespace ktv
