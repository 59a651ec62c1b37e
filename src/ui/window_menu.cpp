#include "ui/window_menu.h"

#include <QCursor>

#include "ui/command_events.h"
#include "ui/window_drag.h"

namespace ktv {

TWindowMenu::TWindowMenu(QWidget* parent, QObject* target, int items) : QMenu(parent), Target(target) {
  Restore = AddCommand(QStringLiteral("&Restore"), SC_RESTORE, items & wmRestore);
  Move = AddCommand(QStringLiteral("&Move"), SC_MOVE, items & wmMove);
  Size = AddCommand(QStringLiteral("&Size"), SC_SIZE, items & wmSize);
  Minimize = AddCommand(QStringLiteral("Mi&nimize"), SC_MINIMIZE, items & wmMinimize);
  Maximize = AddCommand(QStringLiteral("Ma&ximize"), SC_MAXIMIZE, items & wmMaximize);
  // Collapsed by the menu when nothing stands above it.
  addSeparator();
  Close = AddCommand(QStringLiteral("&Close"), SC_CLOSE, true, QKeySequence(Qt::ALT | Qt::Key_F4));
}

QAction* TWindowMenu::AddCommand(const QString& caption, uint32_t command, bool offered,
                                 const QKeySequence& shortcut) {
  QAction* action = addAction(caption);
  action->setVisible(offered);
  // Shown as a hint only.
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  action->setShortcutContext(Qt::WidgetShortcut);
  connect(action, &QAction::triggered, this,
          [this, command] { PostSysCommand(Target, command, QCursor::pos()); });
  return action;
}

void TWindowMenu::PopupAt(QPoint globalPos, bool maximized) {
  Restore->setEnabled(maximized);
  Move->setEnabled(!maximized);
  Size->setEnabled(!maximized);
  Maximize->setEnabled(!maximized);
  popup(globalPos);
}

void RunSysCommand(QWidget& window, const tWindowActions& actions, uint32_t command, QPoint globalPos) {
  const bool maximized = actions.IsMaximized && actions.IsMaximized();
  const bool movable = actions.Drag && !(actions.Fixed ? actions.Fixed() : maximized);
  switch (command) {
    case SC_DRAGMOVE:
      if (movable) actions.Drag->Begin({}, globalPos);
      break;
    case SC_MOVE:
      if (movable) actions.Drag->Start({}, globalPos, true);
      break;
    case SC_SIZE:
      if (movable) {
        // Sized by the bottom-right corner, which jumps under the pointer.
        const QPoint corner = window.geometry().bottomRight();
        QCursor::setPos(corner);
        actions.Drag->Start(Qt::RightEdge | Qt::BottomEdge, corner, true);
      }
      break;
    case SC_MINIMIZE:
      if (actions.Minimize) actions.Minimize();
      break;
    case SC_MAXIMIZE:
      if (!maximized && actions.ToggleMaximized) actions.ToggleMaximized();
      break;
    case SC_RESTORE:
      if (window.windowState() & Qt::WindowMinimized)
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
      else if (maximized && actions.ToggleMaximized)
        actions.ToggleMaximized();
      break;
    case SC_CLOSE:
      window.close();
      break;
    default:
      break;
  }
}

}  // namespace ktv
