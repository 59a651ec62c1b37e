// The window menu of the player (what the title-bar menu of a framed window offers): Restore, Move, Size,
// Minimize, Maximize, Close. The console opens it; each item posts its system command to the main window,
// which acts on itself.
//
// Thread contract: main thread only.
#pragma once

#include <QMenu>
#include <QPointer>

namespace ktv {

class TWindowMenu : public QMenu {
  Q_OBJECT

 public:
  // target: receives the chosen command as a tSysCommandEvent.
  TWindowMenu(QWidget* parent, QObject* target);

  // Enables the items for the window's state and opens the menu at a global position without blocking.
  void PopupAt(QPoint globalPos, bool maximized);

  QAction* Restore;
  QAction* Move;
  QAction* Size;
  QAction* Minimize;
  QAction* Maximize;
  QAction* Close;

 private:
  QAction* AddCommand(const QString& caption, uint32_t command, const QKeySequence& shortcut = {});

  QPointer<QObject> Target;
};

}  // namespace ktv
