#include "ui/window_menu.h"

#include <QCursor>

#include "ui/command_events.h"

namespace ktv {

TWindowMenu::TWindowMenu(QWidget* parent, QObject* target) : QMenu(parent), Target(target) {
  Restore = AddCommand(QStringLiteral("&Restore"), SC_RESTORE);
  Move = AddCommand(QStringLiteral("&Move"), SC_MOVE);
  Size = AddCommand(QStringLiteral("&Size"), SC_SIZE);
  Minimize = AddCommand(QStringLiteral("Mi&nimize"), SC_MINIMIZE);
  Maximize = AddCommand(QStringLiteral("Ma&ximize"), SC_MAXIMIZE);
  addSeparator();
  Close = AddCommand(QStringLiteral("&Close"), SC_CLOSE, QKeySequence(Qt::ALT | Qt::Key_F4));
}

QAction* TWindowMenu::AddCommand(const QString& caption, uint32_t command, const QKeySequence& shortcut) {
  QAction* action = addAction(caption);
  // Shown as a hint only: the main window answers Alt+F4 itself.
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

}  // namespace ktv
