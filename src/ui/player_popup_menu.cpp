#include "ui/player_popup_menu.h"

#include "library/player_settings.h"
#include "ui/command_events.h"

namespace ktv {

TPlayerPopupMenu::TPlayerPopupMenu(QWidget* owner, tPlayerSettings& settings)
    : QMenu(owner), Owner(owner), Settings(settings) {
  auto post = [this](uint32_t msg) { return [this, msg] { PostCommand(Owner, msg); }; };
  auto call = [](std::function<void()>& handler) {
    return [&handler] {
      if (handler) handler();
    };
  };
  OpenStream1 =
      AddItem(QStringLiteral("&Open Stream URL..."), QKeySequence(Qt::CTRL | Qt::Key_O), post(CM_OPEN_URL));
  OpenLocalOggFile1 = AddItem(QStringLiteral("&Open Local Ogg File..."), QKeySequence(Qt::CTRL | Qt::Key_L),
                              call(OnOpenLocalFile));
  Bookmarks = addMenu(QStringLiteral("Open Bookmark"));
  addSeparator();
  AddtoBookmarks1 = AddItem(QStringLiteral("Add to Bookmarks..."), {}, call(OnAddBookmark));
  AboutCurrentStream1 = AddItem(QStringLiteral("&About Current Stream..."),
                                QKeySequence(Qt::CTRL | Qt::Key_A), post(CM_STREAM_INFO));
  Record1 = AddItem(QStringLiteral("&Record"), QKeySequence(Qt::Key_R), call(OnRecord));
  // The check mark shows the controller's state: the owner sets it (a refused start leaves it clear).
  Record1->setCheckable(true);
  Record1->setEnabled(false);
  CloseStream1 =
      AddItem(QStringLiteral("Close Stream"), QKeySequence(Qt::CTRL | Qt::Key_C), call(OnCloseStream));
  addSeparator();
  StreamDirectory1 = AddItem(QStringLiteral("Channel &Directory..."), QKeySequence(Qt::CTRL | Qt::Key_D),
                             post(CM_DIRECTORY));
  addSeparator();
  Settings1 = AddItem(QStringLiteral("Se&ttings..."), {}, post(CM_SETTINGS));
  AboutKestrovaTVPlayer1 =
      AddItem(QStringLiteral("About &Kestrova.TV Player..."), QKeySequence(Qt::Key_F1), post(CM_ABOUT));
  Exit1 = AddItem(QStringLiteral("E&xit"), QKeySequence(Qt::ALT | Qt::Key_F4), [this] {
    if (Owner) Owner->close();
  });
  connect(this, &QMenu::aboutToShow, this, &TPlayerPopupMenu::FillBookmarks);
}

QAction* TPlayerPopupMenu::AddItem(const QString& caption, const QKeySequence& shortcut,
                                   std::function<void()> action) {
  QAction* item = addAction(caption);
  item->setShortcut(shortcut);
  connect(item, &QAction::triggered, this, std::move(action));
  return item;
}

void TPlayerPopupMenu::FillBookmarks() {
  Bookmarks->clear();
  Settings.SortBookmarks();
  for (size_t i = 0; i < Settings.books.size(); ++i) {
    QAction* item = Bookmarks->addAction(QString::fromStdString(Settings.books[i]->Name));
    // A bookmark name is shown as it stands: no accelerator characters.
    item->setText(item->text().replace(QLatin1Char('&'), QStringLiteral("&&")));
    const int index = static_cast<int>(i);
    connect(item, &QAction::triggered, this, [this, index] {
      if (OnOpenBookmark) OnOpenBookmark(index);
    });
  }
}

}  // namespace ktv
