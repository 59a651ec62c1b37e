// The notification-area icon behind a small interface, so that tests can stand in a tray of their own (an X
// server without a window manager has none). Adding fails where there is no tray: the console then stays a
// normal minimised window.
//
// Thread contract: main thread only.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <memory>

namespace ktv {

class tTrayIcon : public QObject {
  Q_OBJECT

 public:
  // Shows the icon with its tool tip; false when no tray can take it.
  virtual bool Add(const QIcon& icon, const QString& tip) = 0;
  virtual void Modify(const QIcon& icon) = 0;
  virtual void Delete() = 0;

 signals:
  void DoubleClicked();
};

// The desktop's tray (QSystemTrayIcon).
std::unique_ptr<tTrayIcon> MakeSystemTrayIcon();

}  // namespace ktv
