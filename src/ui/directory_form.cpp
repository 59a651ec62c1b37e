#include "ui/directory_form.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <future>
#include <utility>

#include "artwork/artwork.h"
#include "library/playlist.h"
#include "platform/text.h"
#include "ui/downloading_form.h"
#include "ui/kestrova_button.h"
#include "ui/kestrova_panel.h"
#include "ui/link.h"
#include "ui/my_message_box.h"
#include "ui/report_view.h"
#include "ui/skin_look.h"

namespace ktv {

namespace {

// The filter applies this long after the last key, so typing a word reloads once.
constexpr int kFilterPauseMs = 300;
// From this many stations on, the rows are filtered and sorted on a thread of their own.
constexpr size_t kAsideStations = 2000;
constexpr int kTreeWidth = 125;
// The five categories stand a little apart: they are the window's main choice.
constexpr int kCategoryRowHeight = 22;
constexpr int kButtonWidth = 104, kButtonHeight = 24;
constexpr int kSpacing = 4;
// The links stand on the dark client area, where the usual link blue cannot be read.
constexpr uint32_t kLinkOnDark = 0xFFC88C;

constexpr const char* kCategoryNames[dcCount] = {"Kestrova TV",    "Directory TV",    "Directory Radio",
                                                 "Your Bookmarks", "Recently Played", "Icecast TV",
                                                 "Icecast Radio"};

// The categories read from a downloaded list, which Refresh may download again.
bool IsDownloaded(int category) {
  return category == dcKestrovaTV || category == dcDirectoryTV || category == dcDirectoryRadio ||
         category == dcIcecastTV || category == dcIcecastRadio;
}

// Text order ignoring ASCII case, byte by byte.
int CompareText(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    const int ux = (x >= 'a' && x <= 'z') ? x - 32 : x, uy = (y >= 'a' && y <= 'z') ? y - 32 : y;
    if (ux != uy) return ux < uy ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareNumbers(int64_t a, int64_t b) {
  return a == b ? 0 : (a < b ? -1 : 1);
}

int64_t NumberOr0(const std::string& text) {
  int64_t value;
  return ParseInteger(TrimText(text), value) ? value : 0;
}

// The listener count: the number before "/" in "listeners/capacity".
int64_t ListenerCount(const std::string& viewers) {
  return NumberOr0(viewers.substr(0, viewers.find('/')));
}

// The applied filter (upper case) over a station's texts. Texts and filters are mostly ASCII, and those are
// compared byte by byte, folding ASCII case, as their upper-cased QStrings would be; anything else is
// compared as Qt's full upper case of the text.
class tRowFilter {
 public:
  explicit tRowFilter(const QString& upper) : Upper(upper) {
    Ascii = std::all_of(upper.begin(), upper.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (Ascii) Bytes = upper.toStdString();
  }
  bool Passes(const tRecentPlaylistEntry& s) const {
    return Upper.isEmpty() || Contains(s.Name) || Contains(s.Genre) || Contains(s.OnNow);
  }

 private:
  bool Contains(const std::string& text) const {
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!Ascii || !ascii) return QString::fromStdString(text).toUpper().contains(Upper);
    return std::search(text.begin(), text.end(), Bytes.begin(), Bytes.end(),
                       [](char t, char f) { return (t >= 'a' && t <= 'z' ? t - 32 : t) == f; }) != text.end();
  }
  QString Upper;
  bool Ascii;
  std::string Bytes;
};

// Sorts the rows by a column, stably; the numbers of the number columns are read once per row.
void SortRows(std::vector<const tRecentPlaylistEntry*>& rows, int column, bool descending,
              bool descriptions) {
  if (column == 3 || column == 4) {
    std::vector<std::pair<int64_t, const tRecentPlaylistEntry*>> keyed;
    keyed.reserve(rows.size());
    for (const tRecentPlaylistEntry* s : rows)
      keyed.emplace_back(column == 3 ? ListenerCount(s->Viewers) : NumberOr0(s->Bitrate), s);
    std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
      return descending ? a.first > b.first : a.first < b.first;
    });
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = keyed[i].second;
    return;
  }
  std::stable_sort(rows.begin(), rows.end(), [&](const auto* a, const auto* b) {
    const int order = CompareStations(*a, *b, column, descriptions);
    return descending ? order > 0 : order < 0;
  });
}

QString SiteURL(std::string base, const char* path) {
  if (!base.empty() && base.back() == '/') base.pop_back();
  return QString::fromStdString(base + path);
}

// Whether a stored station is the one a row was copied from: the same name and the same addresses.
bool SameStation(const tRecentPlaylistEntry& a, const tRecentPlaylistEntry& b) {
  return a.Name == b.Name && a.URLs == b.URLs;
}

TLink* AddLink(QWidget* parent, const char* caption, const QString& url) {
  auto* link = new TLink(parent, QString::fromLatin1(caption), url);
  QPalette colors = link->palette();
  colors.setColor(QPalette::WindowText, WinColor(kLinkOnDark));
  link->setPalette(colors);
  link->setToolTip(url);
  link->setAlignment(Qt::AlignCenter);
  // It takes the room between the buttons that is left, and is cut short in a narrow window.
  link->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  link->hide();
  return link;
}

TKestrovaButton* AddButton(QWidget* parent, const char* caption) {
  auto* button = new TKestrovaButton(parent, QString::fromLatin1(caption));
  button->setFixedSize(kButtonWidth, kButtonHeight);
  return button;
}

}  // namespace

int CompareStations(const tRecentPlaylistEntry& a, const tRecentPlaylistEntry& b, int column,
                    bool descriptions) {
  switch (column) {
    case 0:
      return CompareText(a.Name, b.Name);
    case 1:
      return descriptions ? CompareText(a.Description, b.Description) : CompareText(a.OnNow, b.OnNow);
    case 2:
      return CompareText(a.Genre, b.Genre);
    case 3:
      return CompareNumbers(ListenerCount(a.Viewers), ListenerCount(b.Viewers));
    case 4:
      return CompareNumbers(NumberOr0(a.Bitrate), NumberOr0(b.Bitrate));
    case 5:
      return CompareText(a.Format, b.Format);
    default:
      return 0;
  }
}

TfmDirectory::TfmDirectory(QWidget* owner, tPlayerSettings& settings, std::string tempFolder)
    : tSkinnedForm(owner, tBorderStyle::bsSizeable, biSystemMenu | biMinimize | biMaximize),
      Settings(settings),
      Directory(
          settings,
          [this](const std::string& heading, const std::string& caption, const std::string& url,
                 std::ostream& stream) {
            Downloading = true;
            const bool ok = DownloadToStream(heading, caption, url, stream, this);
            Downloading = false;
            return ok;
          },
          *this, std::move(tempFolder),
          // A large list is read aside while this window, the player behind it and its pictures go on.
          [] { QCoreApplication::processEvents(); }) {
  setWindowTitle(QStringLiteral("Kestrova.TV - Channel Directory"));
  SetClientSize(752, 452);
  setMinimumSize(600, 200);
  QWidget* client = Client();
  auto* row = new QHBoxLayout(client);
  row->setContentsMargins(kSpacing, kSpacing, kSpacing, kSpacing);
  row->setSpacing(kSpacing);

  pnlTree = new TKestrovaPanel(client);
  pnlTree->setFixedWidth(kTreeWidth);
  auto* treeBox = new QVBoxLayout(pnlTree);
  treeBox->setContentsMargins(1, 1, 1, 1);
  Tree = new QTreeWidget(pnlTree);
  Tree->setHeaderHidden(true);
  Tree->setRootIsDecorated(false);
  Tree->setItemsExpandable(false);
  Tree->setFrameStyle(QFrame::NoFrame);
  Tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Tree->setSelectionMode(QAbstractItemView::SingleSelection);
  Tree->setIconSize(QSize(16, 16));
  SetRowHeight(Tree, kCategoryRowHeight);
  KeepSelectionVisible(Tree);
  treeBox->addWidget(Tree);
  row->addWidget(pnlTree);

  auto* column = new QVBoxLayout;
  column->setSpacing(kSpacing);
  pnlFilter = new TKestrovaPanel(client);
  auto* filterRow = new QHBoxLayout(pnlFilter);
  filterRow->setContentsMargins(8, 4, 4, 4);
  filterRow->setSpacing(6);
  lblFilter = new QLabel(QStringLiteral("Filter:"), pnlFilter);
  filterRow->addWidget(lblFilter);
  txtFilter = new QLineEdit(pnlFilter);
  txtFilter->setClearButtonEnabled(true);
  filterRow->addWidget(txtFilter, 1);
  column->addWidget(pnlFilter);

  pnlViews = new TKestrovaPanel(client);
  auto* viewsBox = new QVBoxLayout(pnlViews);
  viewsBox->setContentsMargins(1, 1, 1, 1);
  const std::initializer_list<tReportColumn> columns = {{"Name", 0},     {"Now Playing", 0},
                                                        {"Genre", 100},  {"Viewers", 60, Qt::AlignRight},
                                                        {"Bitrate", 60}, {"Format", 80}};
  Model = new tStationModel(this, columns);
  Views = MakeReportView(pnlViews, Model, columns);
  Views->header()->setSectionsClickable(true);
  Views->header()->setSortIndicatorShown(true);
  Views->header()->setSortIndicator(SortCol, Qt::AscendingOrder);
  Views->installEventFilter(this);
  viewsBox->addWidget(Views);
  column->addWidget(pnlViews, 1);

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(kSpacing);
  btnRefresh = AddButton(client, "&Refresh List");
  buttons->addWidget(btnRefresh);
  // The links share the room between the buttons, which stays there while every link is hidden.
  LinkRoom = new QWidget(client);
  LinkRoom->installEventFilter(this);
  auto* linkRow = new QHBoxLayout(LinkRoom);
  linkRow->setContentsMargins(0, 0, 0, 0);
  Link = AddLink(LinkRoom, "Get the New Player", SiteURL(Settings.WebSite, kPlayerPagePath));
  visStreams = AddLink(LinkRoom, "Directory Web Site", SiteURL(Settings.DirectoryServer, "/"));
  VisLink = AddLink(LinkRoom, "Kestrova.TV Web Site", SiteURL(Settings.WebSite, "/"));
  for (TLink* link : {Link, visStreams, VisLink}) linkRow->addWidget(link);
  buttons->addWidget(LinkRoom, 1);
  btnAddBookmarks = AddButton(client, "Add to Bookmarks");
  btnDelete = AddButton(client, "&Delete Selected");
  btnPlay = AddButton(client, "Play Selection");
  for (TKestrovaButton* button : {btnAddBookmarks, btnDelete, btnPlay}) buttons->addWidget(button);
  column->addLayout(buttons);
  row->addLayout(column, 1);

  tmrRefresh = new QTimer(this);
  tmrRefresh->setInterval(kFilterPauseMs);

  setTabOrder(Tree, txtFilter);
  setTabOrder(txtFilter, Views);
  setTabOrder(Views, btnRefresh);
  setTabOrder(btnRefresh, btnAddBookmarks);
  setTabOrder(btnAddBookmarks, btnDelete);
  setTabOrder(btnDelete, btnPlay);

  connect(Tree, &QTreeWidget::currentItemChanged, this, &TfmDirectory::CategoryChange);
  connect(btnRefresh, &QAbstractButton::clicked, this, &TfmDirectory::CategoryChange);
  // The timer is stopped by the reload it starts; Enter applies the filter at once.
  connect(txtFilter, &QLineEdit::textChanged, tmrRefresh, qOverload<>(&QTimer::start));
  connect(tmrRefresh, &QTimer::timeout, this, &TfmDirectory::CategoryChange);
  connect(txtFilter, &QLineEdit::returnPressed, this, &TfmDirectory::CategoryChange);
  connect(Views->header(), &QHeaderView::sectionClicked, this, &TfmDirectory::SortBy);
  connect(Views->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TfmDirectory::UpdateButtons);
  OnRowChosen(Views, [this] { btnPlayClick(); });
  connect(btnAddBookmarks, &QAbstractButton::clicked, this, &TfmDirectory::btnAddBookmarksClick);
  connect(btnDelete, &QAbstractButton::clicked, this, &TfmDirectory::btnDeleteClick);
  connect(btnPlay, &QAbstractButton::clicked, this, &TfmDirectory::btnPlayClick);

  QTreeWidgetItem* bookmarks = nullptr;
  for (int i = 0; i < dcCount; ++i) {
    auto* node = new QTreeWidgetItem(Tree, {QString::fromLatin1(kCategoryNames[i])});
    node->setIcon(0, QIcon(ArtworkPath(QStringLiteral("DIR_CATEGORY_%1").arg(i))));
    if (i == dcBookmarks) bookmarks = node;
  }
  // The window opens on the bookmarks: they need no download.
  Tree->setCurrentItem(bookmarks);
  Tree->setFocus();
}

TfmDirectory::~TfmDirectory() {
  Model->SetRows({}, ShowsDescriptions);
}

void TfmDirectory::CategoryChange() {
  const int category = Tree->indexOfTopLevelItem(Tree->currentItem());
  // A download pumps events; a second load must not start inside it.
  if (Loading || Listing || category < 0) return;
  Loading = true;
  tmrRefresh->stop();  // this load applies the filter typed so far
  const QPointer<QWidget> focus = QApplication::focusWidget();
  Client()->setEnabled(false);
  switch (category) {
    case dcKestrovaTV:
      // When the list could not be downloaded it is not shown; the rows stay as they were.
      if (Directory.LoadChannelList()) FillStationList(std::move(Directory.Stations), true);
      break;
    case dcDirectoryTV:
    case dcDirectoryRadio:
      Directory.LoadDirectory(category == dcDirectoryTV);
      FillStationList(std::move(Directory.Stations), false);
      break;
    case dcBookmarks:
    case dcRecent:
      FillStationList(CopyStations(*StoredList(category)), true);
      break;
    default:
      Directory.LoadIcecastDirectory(category == dcIcecastTV);
      FillStationList(std::move(Directory.Stations), false);
      break;
  }
  ShownLink = category == dcKestrovaTV                                    ? VisLink
              : category == dcDirectoryTV || category == dcDirectoryRadio ? visStreams
                                                                          : nullptr;
  PlaceLinks();
  CurrentCategory = category;
  Client()->setEnabled(true);
  // A download dialog or message box may have taken the activation: the user goes on here.
  if (isVisible() && !isActiveWindow()) activateWindow();
  if (focus) focus->setFocus();
  Loading = false;
  Views->clearSelection();
  UpdateButtons();
  CloseIfWanted();
}

bool TfmDirectory::CanClose() {
  if (!Loading && !Listing) return true;
  if (!Downloading) CloseWanted = true;
  return false;
}

void TfmDirectory::CloseIfWanted() {
  if (!CloseWanted || Loading || Listing) return;
  CloseWanted = false;
  close();
}

tStationList* TfmDirectory::StoredList(int category) {
  return category == dcBookmarks ? &Settings.books : category == dcRecent ? &Settings.recent : nullptr;
}

void TfmDirectory::FillStationList(tStationList stations, bool showDescriptions) {
  ShowsDescriptions = showDescriptions;
  AppliedFilter = txtFilter->text().toUpper();
  ReplaceListed(std::move(stations), -1);
}

void TfmDirectory::ReplaceListed(tStationList stations, int selectRow) {
  const tStationList previous = std::exchange(Listed, std::move(stations));
  ListStations(selectRow);
}

void TfmDirectory::ListStations(int selectRow) {
  // Filtering and sorting tens of thousands of stations takes longer than a window may
  // stand still: it runs aside while the window answers (but takes no input), over the window's own copy.
  const bool aside = Listed.size() >= kAsideStations;  // a small list is done before anyone could click
  const bool wasListing = Listing;
  Listing = true;
  const bool enabled = Client()->isEnabled();
  const QPointer<QWidget> focus = QApplication::focusWidget();
  if (aside) Client()->setEnabled(false);
  std::vector<const tRecentPlaylistEntry*> shown;
  const tRowFilter filter(AppliedFilter);
  const int column = SortCol;
  const bool descending = Descending, descriptions = ShowsDescriptions;
  const tStationList& listed = Listed;
  RunAside(aside, [&] {
    for (const auto& station : listed)
      if (filter.Passes(*station)) shown.push_back(station.get());
    SortRows(shown, column, descending, descriptions);
  });
  Model->SetRows(std::move(shown), descriptions);
  SelectRow(Views, std::min(selectRow, static_cast<int>(Rows().size()) - 1));
  if (aside) {
    Client()->setEnabled(enabled);
    if (focus) focus->setFocus();
  }
  Listing = wasListing;
  UpdateButtons();
  CloseIfWanted();
}

void TfmDirectory::RunAside(bool aside, const std::function<void()>& work) {
  if (!aside) return work();
  std::future<void> done = std::async(std::launch::async, work);
  // Events are served at least once, and then every kIdleMs until the work is over.
  do {
    QCoreApplication::processEvents();
  } while (done.wait_for(std::chrono::milliseconds(kIdleMs)) != std::future_status::ready);
  done.get();
}

void TfmDirectory::SortBy(int column) {
  if (Loading || Listing) {
    // The click came while the rows were being made: the header shows the order the rows really have.
    Views->header()->setSortIndicator(SortCol, Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    return;
  }
  if (column == SortCol) {
    Descending = !Descending;
  } else {
    SortCol = column;
    Descending = false;
  }
  Views->header()->setSortIndicator(SortCol, Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
  // The selected station stays selected wherever it moves.
  const int row = SelectedRow(Views);
  const tRecentPlaylistEntry* selected = row >= 0 ? Rows()[static_cast<size_t>(row)] : nullptr;
  ListStations(-1);
  const auto at = std::find(Rows().begin(), Rows().end(), selected);
  if (selected && at != Rows().end()) SelectRow(Views, static_cast<int>(at - Rows().begin()));
}

void TfmDirectory::UpdateButtons() {
  const bool row = SelectedRow(Views) >= 0;
  const int c = CurrentCategory;
  btnPlay->setEnabled(row);
  btnRefresh->setEnabled(IsDownloaded(c));
  btnAddBookmarks->setEnabled(row && c != dcBookmarks);
  btnDelete->setEnabled(row && (c == dcBookmarks || c == dcRecent));
}

void TfmDirectory::btnAddBookmarksClick() {
  const int row = SelectedRow(Views);
  if (row < 0 || !btnAddBookmarks->isEnabled()) return;
  Settings.AddToBookmarks(*Rows()[static_cast<size_t>(row)]);
  ListStations(row);
  btnAddBookmarks->setEnabled(false);
}

void TfmDirectory::btnDeleteClick() {
  const int row = SelectedRow(Views);
  if (row < 0 || !btnDelete->isEnabled()) return;
  tStationList* stored = StoredList(CurrentCategory);
  if (!stored) return;
  // The row is a copy: the stored station is found by what it is. One the main window has replaced or
  // trimmed meanwhile is gone already.
  const tRecentPlaylistEntry& station = *Rows()[static_cast<size_t>(row)];
  const auto at = std::find_if(stored->begin(), stored->end(),
                               [&](const auto& item) { return SameStation(*item, station); });
  if (at != stored->end()) {
    if (CurrentCategory == dcBookmarks)
      stored->erase(at);  // saved with the next save of the settings
    else
      Settings.RemoveRecent(at->get());
  }
  // The list as it is stored now, with the row now at the same place selected, or the new last one.
  ReplaceListed(CopyStations(*stored), row);
}

void TfmDirectory::btnPlayClick() {
  const int row = SelectedRow(Views);
  if (row < 0) return;
  if (Target) FillPlaylist(*Target, *Rows()[static_cast<size_t>(row)]);
  SetModalResult(mrOk);
}

void TfmDirectory::PlaceLinks() {
  // A link cut short would show a piece of its caption from the middle: in a narrow window it goes.
  for (TLink* link : {Link, visStreams, VisLink})
    link->setVisible(link == ShownLink && link->sizeHint().width() <= LinkRoom->width());
}

bool TfmDirectory::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LinkRoom && event->type() == QEvent::Resize) PlaceLinks();
  if (watched == Views && event->type() == QEvent::KeyPress) {
    if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
      btnDeleteClick();
      return true;
    }
  }
  return tSkinnedForm::eventFilter(watched, event);
}

void TfmDirectory::ShowWarning(const std::string& title, const std::string& text) {
  MyMessageBox(QString::fromStdString(text), QString::fromStdString(title), MB_OK | MB_ICONEXCLAMATION, this);
}

bool TfmDirectory::AskYesNo(const std::string& title, const std::string& text) {
  return MyMessageBox(QString::fromStdString(text), QString::fromStdString(title), MB_YESNO | MB_ICONQUESTION,
                      this) == IDYES;
}

void TfmDirectory::OpenWebPage(const std::string& url) {
  QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(url)));
}

void FillPlaylist(tPlaylist& playlist, const tRecentPlaylistEntry& station) {
  playlist.Clear();
  for (const std::string& url : station.URLs) {
    playlist.Add({.Location = url,
                  .Title = station.Name,
                  .Annotation = station.Description,
                  .Genre = station.Genre,
                  .Info = station.ViewURL,
                  .Duration = -1});
  }
}

bool ShowDirectory(TfmDirectory& form, tPlaylist& playlist) {
  form.Target = &playlist;
  return form.ShowModal() == mrOk;
}

}  // namespace ktv
