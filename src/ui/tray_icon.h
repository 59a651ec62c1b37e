// The notification-area icon behind a small interface, so that tests can stand in a tray of their own (an X
// server without a window manager has none). Adding fails where there is no tray: the console then stays a
// normal minimised window.
//
// Trays differ in what they report: an embedded X11 tray reports a click and then a double click, a tray
// hosted over the session bus only ever reports one activation (Clicked). The console restores on either.
//
// Thread contract: main thread only.
#pragma once

#include <QIcon>
#include <QMenu>
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
  // The icon's context menu (owned by the caller, outliving the icon).
  virtual void SetMenu(QMenu* menu) = 0;

 signals:
  void Clicked();
  void DoubleClicked();
};

// The desktop's tray (QSystemTrayIcon).
std::unique_ptr<tTrayIcon> MakeSystemTrayIcon();

}  // namespace ktv
