// The window menu of our frameless windows (what the title-bar menu of a framed window offers): Restore,
// Move, Size, Minimize, Maximize, Close. Each item posts its system command to the window the menu acts on
// (the console's menu acts on the main window, a dialog's on the dialog), which acts on itself.
//
// Thread contract: main thread only.
#pragma once

#include <QMenu>
#include <QPointer>
#include <functional>

namespace ktv {

class tWindowDrag;

// What the commands of the window menu act on; each window fills in what it has.
struct tWindowActions {
  std::function<bool()> IsMaximized;
  std::function<void()> ToggleMaximized;
  std::function<void()> Minimize;
  // Moves and sizes the window for the menu and the caption (null: the window is not moved that way).
  tWindowDrag* Drag = nullptr;
  // The window keeps its place (maximised, full screen): it is neither moved nor sized (empty: while
  // maximised).
  std::function<bool()> Fixed;
};

// Carries out one system command (SC_*) on a window, with the pointer at a global position: how the main
// window and every dialog answer their window menu.
void RunSysCommand(QWidget& window, const tWindowActions& actions, uint32_t command, QPoint globalPos);

class TWindowMenu : public QMenu {
  Q_OBJECT

 public:
  // The items a window offers (combine with |); Close is always there.
  enum : int { wmRestore = 1, wmMove = 2, wmSize = 4, wmMinimize = 8, wmMaximize = 16, wmAll = 31 };

  // target: receives the chosen command as a tSysCommandEvent.
  TWindowMenu(QWidget* parent, QObject* target, int items = wmAll);

  // Enables the items for the window's state and opens the menu at a global position without blocking.
  void PopupAt(QPoint globalPos, bool maximized);

  QAction* Restore;
  QAction* Move;
  QAction* Size;
  QAction* Minimize;
  QAction* Maximize;
  QAction* Close;

 private:
  QAction* AddCommand(const QString& caption, uint32_t command, bool offered,
                      const QKeySequence& shortcut = {});

  QPointer<QObject> Target;
};

}  // namespace ktv
