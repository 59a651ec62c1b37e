// The messages between the player's windows, as Qt events whose type is the message number: the decoding
// thread's progress (1024), the commands the console, the menu and a second instance give the main window
// (1025 to 1043, 1122), and the system commands of the window menu and the resize zones.
//
// Widgets post these and the main window decides; nothing in a click handler touches a stream.
// Threads: PostCommand and tQtMessageTarget may be used from any thread (Qt's postEvent is thread-safe);
// SendCommand only on the main thread.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPoint>
#include <QString>
#include <cstdint>

#include "platform/message_target.h"

namespace ktv {

enum : uint32_t {
  CM_PROGRESS = WM_USER,  // first: progress code; second: the thread manager
  CM_MOVE_WINDOW =
      WM_USER + 1,  // start moving the main window with the mouse (LParam: PackPoint of the press)
  CM_FULL_SCREEN = WM_USER + 2,     // toggle full screen
  CM_PLACE_STAND = WM_USER + 3,     // place the console under the main window
  CM_VOLUME = WM_USER + 4,          // first, low 16 bits: volume 0..65535
  CM_PLAY_STOP = WM_USER + 5,       // first != 0: play the current URL again; 0: stop
  CM_DIRECTORY = WM_USER + 6,       // the directory window
  CM_POPUP = WM_USER + 7,           // the popup menu at the mouse
  CM_STREAM_INFO = WM_USER + 8,     // the stream information dialog
  CM_OPEN_URL = WM_USER + 10,       // the open-URL dialog
  CM_ABOUT = WM_USER + 11,          // the about box
  CM_POSITION = WM_USER + 12,       // result: play time; first != 0 asks for milliseconds
  CM_NOTIFY = WM_USER + 13,         // Text: the console's information line
  CM_TRAY_CALLBACK = WM_USER + 14,  // the tray icon's callback
  CM_TRAY_VIDEO = WM_USER + 15,     // first = 1: video into the tray icon; 0: back to the window
  CM_NEXT_ENTRY = WM_USER + 16,     // play the next playlist entry
  CM_PLAYLIST = WM_USER + 17,       // the playlist viewer
  CM_RATE = WM_USER + 18,           // open the rating page
  CM_SCHEDULE = WM_USER + 19,       // open the schedule page
  CM_RECORD_END = WM_USER + 21,     // the stream controller's: a recording ended by itself
  CM_SETTINGS = WM_USER + 98,       // the settings dialog
};

// System commands, as the window menu and the resize zones give them.
enum : uint32_t {
  SC_SIZE = 0xF000,
  SC_SIZE_LEFT = 0xF001,
  SC_SIZE_RIGHT = 0xF002,
  SC_SIZE_TOP = 0xF003,
  SC_SIZE_TOPLEFT = 0xF004,
  SC_SIZE_TOPRIGHT = 0xF005,
  SC_SIZE_BOTTOM = 0xF006,
  SC_SIZE_BOTTOMLEFT = 0xF007,
  SC_SIZE_BOTTOMRIGHT = 0xF008,
  SC_DRAGMOVE = 0xF009,
  SC_MOVE = 0xF010,
  SC_MINIMIZE = 0xF020,
  SC_MAXIMIZE = 0xF030,
  SC_CLOSE = 0xF060,
  SC_RESTORE = 0xF120,
};

// One message: Msg is also the event's type. Text carries the information line of CM_NOTIFY (a copy, so
// the sender's string need not outlive the event). Result is the answer of a sent message.
class tCommandEvent : public QEvent {
 public:
  tCommandEvent(uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0, QString text = QString());
  uint32_t Msg;
  intptr_t WParam;
  intptr_t LParam;
  QString Text;
  intptr_t Result = 0;
};

// A system command for the main window: Command is one of SC_*, Pos the global pointer position that
// started it (moves and sizes follow the pointer from there).
class tSysCommandEvent : public QEvent {
 public:
  tSysCommandEvent(uint32_t command, QPoint pos);
  static QEvent::Type EventType();
  uint32_t Command;
  QPoint Pos;
};

// A global position in one parameter (32 bits each way), and back.
intptr_t PackPoint(QPoint point);
QPoint UnpackPoint(intptr_t packed);

// The command carried by an event, or null when it is none of ours.
tCommandEvent* AsCommand(QEvent* event);

// Posts a message (returns at once); the receiver must outlive the event's delivery or delete it on
// destruction (Qt removes the posted events of a destroyed receiver).
void PostCommand(QObject* receiver, uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0,
                 const QString& text = QString());
// Delivers a message at once and returns its Result.
intptr_t SendCommand(QObject* receiver, uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0,
                     const QString& text = QString());
void PostSysCommand(QObject* receiver, uint32_t command, QPoint pos);

// The decoding thread's message target: each posted message becomes a tCommandEvent for the receiver.
class tQtMessageTarget : public tMessageTarget {
 public:
  explicit tQtMessageTarget(QObject* receiver) : Receiver(receiver) {}
  void PostMessage(uint32_t msg, intptr_t wParam, intptr_t lParam) override;

 private:
  QObject* Receiver;
};

}  // namespace ktv
