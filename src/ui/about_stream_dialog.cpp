#include "ui/about_stream_dialog.h"

#include <QBoxLayout>
#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QTreeWidget>

#include "platform/message_target.h"
#include "stream/ogg_thread_manager.h"
#include "ui/kestrova_button.h"
#include "ui/kestrova_panel.h"
#include "ui/link.h"
#include "ui/skin_look.h"

namespace ktv {

namespace {

// The identifications of the streams whose names the codec-name rule mangles (it drops the first letter):
// listed under their own names.
constexpr char kSpeexSignature[] = "Speex   ";
constexpr char kOpusSignature[] = "OpusHead";
// The value label keeps its whole text here; what shows may be shortened to fit.
constexpr const char* kWholeText = "ktvWholeText";
constexpr int kFieldColumnWidth = 100;
constexpr int kStreamListWidth = 89;

// A comment line as a row: the first character upper-cased, split at the first "=".
std::pair<QString, QString> CommentRow(const std::string& line) {
  QString text = QString::fromStdString(line);
  if (!text.isEmpty()) text[0] = text[0].toUpper();
  const qsizetype equals = text.indexOf('=');
  return {text.left(equals).trimmed(), text.mid(equals + 1).trimmed()};
}

// A decoder's rows: its vendor, its format, then its comments.
void AddDecoderRows(tDetailRows& rows, const char* codecField, const std::vector<std::string>& comments,
                    const tDetailRows& format) {
  const bool vendor = !comments.empty() && comments.front().find('=') == std::string::npos;
  rows.emplace_back(QString::fromLatin1(codecField),
                    vendor ? QString::fromStdString(comments.front()) : QString());
  rows.emplace_back(QString(), QString());
  rows.insert(rows.end(), format.begin(), format.end());
  rows.emplace_back(QString(), QString());
  for (const std::string& line : comments)
    if (line.find('=') != std::string::npos) rows.push_back(CommentRow(line));
}

bool HasSignature(const tStreamSnapshot& snapshot, int index, const char* signature) {
  return index >= 0 && index < static_cast<int>(snapshot.StreamSignatures.size()) &&
         snapshot.StreamSignatures[static_cast<size_t>(index)].rfind(signature, 0) == 0;
}

bool IsSpeex(const tStreamSnapshot& snapshot, int index) {
  return HasSignature(snapshot, index, kSpeexSignature);
}

// Shows as much of the label's whole text as fits.
void Elide(QLabel* label) {
  label->setText(label->fontMetrics().elidedText(label->property(kWholeText).toString(), Qt::ElideRight,
                                                 label->width()));
}

QLabel* AddField(QGridLayout* grid, int row, const char* caption, QLabel* value) {
  auto* label = new QLabel(QString::fromLatin1(caption));
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  grid->addWidget(label, row, 0);
  value->setTextFormat(Qt::PlainText);
  value->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // The value shrinks with the dialog; its text is shortened to fit instead of widening the window.
  value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  grid->addWidget(value, row, 1);
  return value;
}

}  // namespace

tStreamSnapshot TakeStreamSnapshot(tOggThreadManager& manager) {
  tStreamSnapshot s;
  tNetworkOggReceiver& receiver = manager.Receiver();
  s.Name = receiver.GetStationName();
  s.Description = receiver.GetDescription();
  s.Genre = receiver.GetGenre();
  s.StationURL = receiver.GetStationURL();
  s.IsPublic = receiver.GetIsPublic();
  s.Bitrate = receiver.GetBitrate();
  s.Server = receiver.GetServer();
  s.ContentType = receiver.GetContentType();
  s.Address = receiver.GetStreamURL();
  const int32_t count = receiver.StreamCount();
  for (int32_t i = 0; i < count; ++i) {
    s.StreamNames.push_back(receiver.StreamName(i));
    s.StreamSignatures.push_back(receiver.StreamSignature(i));
  }
  s.AudioIndex = manager.AudioStreamIndex();
  s.VideoIndex = manager.VideoStreamIndex();
  s.AudioComments = manager.AudioComments();
  s.VideoComments = manager.VideoComments();
  manager.GetAudioFormat(s.Rate, s.Channels);
  theora_info info{};
  double aspect = 1;
  if (manager.GetVideoInfo(info, s.FrameRate, aspect)) {
    s.FrameWidth = static_cast<int32_t>(info.frame_width);
    s.FrameHeight = static_cast<int32_t>(info.frame_height);
  }
  return s;
}

tDetailRows StreamDetailRows(const tStreamSnapshot& s, int index) {
  tDetailRows rows;
  if (index < 0) return rows;
  if (s.AudioIndex == index) {
    AddDecoderRows(rows, "Audio Codec", s.AudioComments,
                   {{"Channels", QString::number(s.Channels)}, {"Rate", QString::number(s.Rate) + " Hz"}});
  }
  if (s.VideoIndex == index) {
    AddDecoderRows(rows, "Video Codec", s.VideoComments,
                   {{"Size", QString::number(s.FrameWidth) + "x" + QString::number(s.FrameHeight)},
                    {"Frame Rate", QString::number(s.FrameRate, 'f', 3).trimmed() + " frames/second"}});
  }
  if (s.AudioIndex == index || s.VideoIndex == index || index >= static_cast<int>(s.StreamNames.size()))
    return rows;
  const QString name = QString::fromStdString(s.StreamNames[static_cast<size_t>(index)]).toUpper();
  const QString note = QStringLiteral("Unsupported.");
  if (name == "FLAC") {
    rows = {{"Audio Codec", "Free Lossless Audio Codec"}, {"Note", note}};
  } else if (name == "WRIT") {
    rows = {{"Text Stream", "Subtitles Codec"}, {"Note", note}};
  } else if (name == "XML") {
    rows = {{"Text Stream", "Stream Metadata"}, {"Note", note}};
  } else if (name == "SPEEX" || IsSpeex(s, index)) {
    rows = {{"Audio Codec", "A Free Codec for Free Speech"}, {"Note", note}};
  }
  return rows;
}

QString ShownStreamName(const tStreamSnapshot& snapshot, int index) {
  if (IsSpeex(snapshot, index)) return QStringLiteral("Speex");
  if (HasSignature(snapshot, index, kOpusSignature)) return QStringLiteral("Opus");
  return QString::fromStdString(snapshot.StreamNames[static_cast<size_t>(index)]);
}

TfrmAboutstreamDlg::TfrmAboutstreamDlg(QWidget* owner, tStreamSource stream)
    : tSkinnedForm(owner, tBorderStyle::bsSizeable, biSystemMenu | biMinimize | biMaximize),
      Stream(std::move(stream)) {
  setWindowTitle(QStringLiteral("About Current Stream"));
  SetClientSize(492, 440);
  setMinimumSize(500, 440);
  auto* column = new QVBoxLayout(Client());
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(4);

  pnlInfo = new TKestrovaPanel(Client(), QStringLiteral("Ogg Stream Information"));
  auto* grid = new QGridLayout(pnlInfo);
  grid->setContentsMargins(8, TKestrovaPanel::kTitleHeight + 5, 8, 6);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(2);
  grid->setColumnStretch(1, 1);
  lblName = AddField(grid, 0, "Stream Name:", new QLabel);
  lblDesc = AddField(grid, 1, "Stream Description:", new QLabel);
  lblGenre = AddField(grid, 2, "Stream Genre:", new QLabel);
  lnkUrl = static_cast<TLink*>(AddField(grid, 3, "Stream URL:", new TLink));
  lblDist = AddField(grid, 4, "Stream Distribution:", new QLabel);
  lblBitrate = AddField(grid, 5, "Stream Bitrate:", new QLabel);
  lblSoftware = AddField(grid, 6, "Server Software:", new QLabel);
  lblType = AddField(grid, 7, "Stream Type:", new QLabel);
  lblAddress = AddField(grid, 8, "Stream Address:", new QLabel);
  for (QLabel* value : {lblName, lblDesc, lblGenre, static_cast<QLabel*>(lnkUrl), lblDist, lblBitrate,
                        lblSoftware, lblType, lblAddress})
    value->installEventFilter(this);
  column->addWidget(pnlInfo);

  pnlStreams = new TKestrovaPanel(Client(), QStringLiteral("Encapsulated Streams"));
  auto* inside = new QVBoxLayout(pnlStreams);
  inside->setContentsMargins(6, TKestrovaPanel::kTitleHeight + 3, 6, 6);
  inside->setSpacing(3);
  lblStreamCount = new QLabel(pnlStreams);
  lblStreamCount->setTextFormat(Qt::PlainText);
  inside->addWidget(lblStreamCount);
  auto* splitter = new QSplitter(Qt::Horizontal, pnlStreams);
  lblStreams = new QListWidget(splitter);
  lblStreams->setSelectionMode(QAbstractItemView::SingleSelection);
  lvStuff = new QTreeWidget(splitter);
  lvStuff->setColumnCount(2);
  lvStuff->setHeaderLabels({QStringLiteral("Field"), QStringLiteral("Value")});
  lvStuff->setColumnWidth(0, kFieldColumnWidth);
  lvStuff->setRootIsDecorated(false);
  lvStuff->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvStuff->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvStuff->setUniformRowHeights(true);
  lvStuff->header()->setSectionsClickable(false);
  lvStuff->header()->setStretchLastSection(true);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({kStreamListWidth, 480});
  inside->addWidget(splitter, 1);
  column->addWidget(pnlStreams, 1);

  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  btnOK = new TKestrovaButton(Client(), QStringLiteral("&OK"));
  btnOK->setFixedSize(88, 25);
  btnOK->SetModalResult(mrOk);
  btnOK->SetDefault(true);
  bottom->addWidget(btnOK);
  column->addLayout(bottom);

  setTabOrder(lblStreams, lvStuff);
  setTabOrder(lvStuff, btnOK);
  connect(lblStreams, &QListWidget::currentRowChanged, this, &TfrmAboutstreamDlg::FillStreamDetails);
  ShowSnapshot(0);
}

void TfrmAboutstreamDlg::Refresh() {
  ShowSnapshot(std::max(lblStreams->currentRow(), 0));
}

void TfrmAboutstreamDlg::ShowSnapshot(int selected) {
  tOggThreadManager* stream = Stream ? Stream() : nullptr;
  Snapshot = stream ? TakeStreamSnapshot(*stream) : tStreamSnapshot();
  SetValue(lblName, Snapshot.Name);
  SetValue(lblDesc, Snapshot.Description);
  SetValue(lblGenre, Snapshot.Genre);
  lnkUrl->SetURL(QString::fromStdString(Snapshot.StationURL));
  SetValue(lnkUrl, Snapshot.StationURL);
  SetValue(lblDist, Snapshot.IsPublic ? "Public" : "Private");
  SetValue(lblBitrate, std::to_string(Snapshot.Bitrate) + "kbps");
  SetValue(lblSoftware, Snapshot.Server);
  SetValue(lblType, Snapshot.ContentType);
  SetValue(lblAddress, Snapshot.Address);
  const int count = static_cast<int>(Snapshot.StreamNames.size());
  lblStreamCount->setText(QStringLiteral("  Number of Streams: ") + QString::number(count));
  {
    const QSignalBlocker quiet(lblStreams);
    lblStreams->clear();
    for (int i = 0; i < count; ++i) lblStreams->addItem(ShownStreamName(Snapshot, i));
  }
  lvStuff->clear();
  if (count > 0) lblStreams->setCurrentRow(selected < count ? selected : 0);
}

void TfrmAboutstreamDlg::FillStreamDetails(int index) {
  lvStuff->clear();
  for (const auto& [field, value] : StreamDetailRows(Snapshot, index))
    lvStuff->addTopLevelItem(new QTreeWidgetItem(QStringList{field, value}));
}

tDetailRows TfrmAboutstreamDlg::ShownRows() const {
  tDetailRows rows;
  for (int i = 0; i < lvStuff->topLevelItemCount(); ++i)
    rows.emplace_back(lvStuff->topLevelItem(i)->text(0), lvStuff->topLevelItem(i)->text(1));
  return rows;
}

void TfrmAboutstreamDlg::SetValue(QLabel* label, const std::string& value) {
  const QString whole = QString::fromStdString(value);
  label->setProperty(kWholeText, whole);
  label->setToolTip(whole);  // the hint shows what does not fit
  Elide(label);
}

bool TfrmAboutstreamDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    if (auto* label = qobject_cast<QLabel*>(watched); label && label->property(kWholeText).isValid())
      Elide(label);
  }
  return tSkinnedForm::eventFilter(watched, event);
}

}  // namespace ktv
