// A posted window message (progress 1024, commands 1025-1043 and 1122) as a Qt event: the numbers travel as
// the design numbers them, so windows answer them by number.
#pragma once

#include <QEvent>
#include <cstdint>

class QObject;

namespace ktv {

class tWindowMessageEvent : public QEvent {
 public:
  tWindowMessageEvent(uint32_t msg, intptr_t wParam, intptr_t lParam);
  // The event type all window messages share (registered once).
  static QEvent::Type Type();

  uint32_t Msg;
  intptr_t WParam;
  intptr_t LParam;
};

// Posts the message to the object's event loop; safe from any thread while the object lives.
void PostWindowMessage(QObject* target, uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0);

}  // namespace ktv
