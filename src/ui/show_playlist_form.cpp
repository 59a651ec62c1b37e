#include "ui/show_playlist_form.h"

#include <QBoxLayout>
#include <QFileDialog>
#include <QHeaderView>
#include <QTreeWidget>
#include <utility>

#include "library/playlist.h"
#include "ui/kestrova_button.h"
#include "ui/kestrova_panel.h"
#include "ui/my_message_box.h"
#include "ui/report_view.h"

namespace ktv {

namespace {

constexpr int kButtonWidth = 104, kButtonHeight = 24;
constexpr int kSpacing = 4;
// Lengths show at most this many hours; longer ones as "+99".
constexpr int64_t kMaxShownHours = 99;

QString TwoDigits(int64_t value) {
  return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

}  // namespace

QString PlaylistLength(int64_t seconds) {
  if (seconds < 0) return QStringLiteral("Unknown");
  const int64_t hours = seconds / 3600;
  const QString shownHours = hours > kMaxShownHours ? QStringLiteral("+99") : TwoDigits(hours);
  return shownHours + ':' + TwoDigits(seconds / 60 % 60) + ':' + TwoDigits(seconds % 60);
}

TfmShowPlaylist::TfmShowPlaylist(QWidget* owner)
    : tSkinnedForm(owner, tBorderStyle::bsSizeable, biSystemMenu | biMinimize | biMaximize) {
  setWindowTitle(QStringLiteral("Current Playlist"));
  SetClientSize(615, 323);
  // Room for the two buttons and a few rows.
  setMinimumSize(2 * kButtonWidth + 100, 160);
  QWidget* client = Client();
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(kSpacing, kSpacing, kSpacing, kSpacing);
  column->setSpacing(kSpacing);

  auto* panel = new TKestrovaPanel(client);
  auto* inside = new QVBoxLayout(panel);
  inside->setContentsMargins(1, 1, 1, 1);
  Views = MakeReportView(
      panel,
      {{"Name", 0}, {"Description", 0}, {"Genre", 100}, {"Website", 100}, {"Length", 80, Qt::AlignRight}});
  Views->header()->setSectionsClickable(false);
  inside->addWidget(Views);
  column->addWidget(panel, 1);

  auto* buttons = new QHBoxLayout;
  btnLoad = new TKestrovaButton(client, QStringLiteral("Load Playlist..."));
  btnLoad->setFixedSize(kButtonWidth, kButtonHeight);
  btnPlay = new TKestrovaButton(client, QStringLiteral("Play Selection"));
  btnPlay->setFixedSize(kButtonWidth, kButtonHeight);
  buttons->addWidget(btnLoad);
  buttons->addStretch(1);
  buttons->addWidget(btnPlay);
  column->addLayout(buttons);
  setTabOrder(Views, btnLoad);
  setTabOrder(btnLoad, btnPlay);

  OpenPlaylist = new QFileDialog(this, QStringLiteral("Select a Playlist to Load..."));
  OpenPlaylist->setFileMode(QFileDialog::ExistingFile);
  OpenPlaylist->setAcceptMode(QFileDialog::AcceptOpen);
  OpenPlaylist->setDefaultSuffix(QStringLiteral("m3u"));
  OpenPlaylist->setNameFilters(
      {QStringLiteral("Compatable Playlist Files (*.m3u *.pls *.xspf *.xml)"),
       QStringLiteral("M3U Playlists (*.m3u)"), QStringLiteral("PLS Playlists (*.pls)"),
       QStringLiteral("XSPF Playlists (*.xspf *.xml)"), QStringLiteral("All Files (*)")});

  connect(btnLoad, &QAbstractButton::clicked, OpenPlaylist, qOverload<>(&QFileDialog::open));
  connect(OpenPlaylist, &QFileDialog::fileSelected, this, &TfmShowPlaylist::LoadPlaylist);
  connect(btnPlay, &QAbstractButton::clicked, this, &TfmShowPlaylist::btnPlayClick);
  OnRowChosen(Views, [this] { btnPlayClick(); });
  connect(Views, &QTreeWidget::itemSelectionChanged, this,
          [this] { btnPlay->setEnabled(SelectedEntry() >= 0); });
  btnPlay->setEnabled(false);
  Views->setFocus();
}

void TfmShowPlaylist::ShowPlaylist(tPlaylist& playlist, int32_t index) {
  Playlist = &playlist;
  FillList();
  SelectEntry(index);
}

void TfmShowPlaylist::FillList() {
  QList<QStringList> rows;
  if (Playlist) {
    for (const tPlayListEntry& entry : Playlist->Items) {
      rows.push_back({QString::fromStdString(entry.Title), QString::fromStdString(entry.Annotation),
                      QString::fromStdString(entry.Genre), QString::fromStdString(entry.Info),
                      PlaylistLength(entry.Duration)});
    }
  }
  SetReportRows(Views, rows);
  btnPlay->setEnabled(SelectedEntry() >= 0);
}

int TfmShowPlaylist::SelectedEntry() const {
  return SelectedRow(Views);
}

void TfmShowPlaylist::SelectEntry(int index) {
  SelectRow(Views, index >= 0 && index < Views->topLevelItemCount() ? index : -1);
}

void TfmShowPlaylist::LoadPlaylist(const QString& fileName) {
  if (!Playlist) return;
  // Read into a list of its own: a file that is no playlist (an Ogg file is taken as one entry) leaves the
  // programme and the rows as they were, so the rows always match the list the caller plays from.
  tPlaylist loaded;
  if (!loaded.LoadFromFile(fileName.toStdString())) {
    MyMessageBox(QStringLiteral("Unable to load playlist."), QStringLiteral("Error"), MB_ICONINFORMATION,
                 this);
    return;
  }
  *Playlist = std::move(loaded);
  FillList();
}

void TfmShowPlaylist::btnPlayClick() {
  if (SelectedEntry() >= 0) SetModalResult(mrOk);
}

bool ShowPlaylistDialog(TfmShowPlaylist& form, tPlaylist& playlist, int32_t& index) {
  form.ShowPlaylist(playlist, index);
  if (form.ShowModal() != mrOk) return false;
  index = form.SelectedEntry();
  return index >= 0;
}

}  // namespace ktv
