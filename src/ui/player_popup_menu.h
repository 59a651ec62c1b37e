// The main window's popup menu: opening streams and files, the bookmarks (sorted and filled each time the
// menu opens), the stream information, recording (checked while it records; its key R works on the main
// window and the console), closing, the directory, the settings, the about box and exit. Items
// that open windows post their command to the main window; the others call the window's handlers.
//
// Thread contract: main thread only.
#pragma once

#include <QMenu>
#include <QPointer>
#include <functional>

namespace ktv {

class tPlayerSettings;

class TPlayerPopupMenu : public QMenu {
  Q_OBJECT

 public:
  TPlayerPopupMenu(QWidget* owner, tPlayerSettings& settings);

  QAction* OpenStream1;
  QAction* OpenLocalOggFile1;
  QMenu* Bookmarks;
  QAction* AddtoBookmarks1;
  QAction* AboutCurrentStream1;
  QAction* Record1;
  QAction* CloseStream1;
  QAction* StreamDirectory1;
  QAction* Settings1;
  QAction* AboutKestrovaTVPlayer1;
  QAction* Exit1;

  std::function<void()> OnOpenLocalFile;
  std::function<void()> OnAddBookmark;
  std::function<void()> OnCloseStream;
  std::function<void()> OnRecord;
  std::function<void(int index)> OnOpenBookmark;  // index into the sorted bookmarks

  // Empties the bookmark submenu, sorts the bookmarks and adds one item per bookmark.
  void FillBookmarks();

 private:
  QAction* AddItem(const QString& caption, const QKeySequence& shortcut, std::function<void()> action);

  QPointer<QWidget> Owner;
  tPlayerSettings& Settings;
};

}  // namespace ktv
