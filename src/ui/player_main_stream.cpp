// TfrmPlayerMain: the controller of streams and playlists: opening and closing, the back-end, the decoding
// thread's progress, the next playlist entry, the status line, the volume and the settings.
#include <QLabel>
#include <QPointer>

#include "library/player_settings.h"
#include "platform/clock.h"
#include "playback/qt/directx_ogg_player9.h"
#include "playback/qt/gdi_wave_playback.h"
#include "stream/ogg_thread_manager.h"
#include "stream/stream_title.h"
#include "ui/about_stream_dialog.h"
#include "ui/my_message_box.h"
#include "ui/player_main_form.h"
#include "ui/player_texts.h"
#include "ui/tv_stand_form.h"

namespace ktv {

namespace {

constexpr uint32_t kCaptionHoldMs = 2500;  // a notification stays in the console's caption this long

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

// --- Streams and back-end --------------------------------------------------------------------------------

void TfrmPlayerMain::OpenStream(const QString& url) {
  UserClosed = false;
  if (CurrentPlaylist.Count() == 0) {
    CurrentPlaylist.SetSingleEntry(url.toStdString());
    // The entry opened now is played: when it ends the list has run out (it is not opened again).
    PlaylistIndex = 1;
  }
  if (!url.isEmpty())
    SendCommand(Stand.get(), CM_NOTIFY, 0, 0,
                QStringLiteral("Opening ") + url + QStringLiteral(", Please Wait..."));
  const QString trimmed = url.trimmed();
  if (!trimmed.isEmpty()) CurrentURL = trimmed;

  if (Manager) Manager->ClearEvents();
  if (PlayerPanel) PlayerPanel->Attach(nullptr);
  // The information dialog reads the stream it was opened on, which goes now.
  if (TfrmAboutstreamDlg* info = InfoDialog.data()) {
    InfoDialog = nullptr;
    info->SetModalResult(mrCancel);
  }
  Manager.reset();
  if (!trimmed.isEmpty()) {
    tReceiverOptions options;
    options.BufferSeconds = Settings.BufferSeconds;
    options.ReconnectAttempts = Settings.ReconnectAttempts;
    Manager =
        std::make_unique<tOggThreadManager>(trimmed.toStdString(), CM_PROGRESS, MessageTarget.get(), options);
  }
  if (PlayerPanel) PlayerPanel->Shutdown();
  RestartPlayer = false;  // the back-end is made afresh below in any case
  CreateBackEnd(WantDirectX());
}

bool TfrmPlayerMain::WantDirectX() const {
  return ForcedDirectX.value_or(Settings.UseDirectX);
}

bool TfrmPlayerMain::BackEndIsDirectX() const {
  return dynamic_cast<tDirectXOggPlayer9*>(PlayerPanel) != nullptr;
}

void TfrmPlayerMain::CreateBackEnd(bool useDirectX) {
  useDirectX = useDirectX && CanUseDirectX();
  delete PlayerPanel;
  PlayerPanel = nullptr;
  if (useDirectX)
    PlayerPanel = new tDirectXOggPlayer9(this, Manager.get(), SoundDevice);
  else
    PlayerPanel = new tGDIWavePlayback(this, Manager.get(), SoundDevice);
  if (VideoToTV && Manager) PointVideoAtTV();
  ConfigurePlayer();
}

void TfrmPlayerMain::ConfigurePlayer() {
  PlayerPanel->Visualisation->Configure(Settings.MaxRenderW, Settings.MaxRenderH, Settings.LowPriority,
                                        Settings.VisEnabled);
  // In full screen the picture has no frame, whatever the setting.
  PlayerPanel->SetShowTVBorder(BorderShown && !FullScreen);
  PlayerPanel->OnDblClick = [this] { ToggleFullScreen(); };
  PlayerPanel->SetVolume(CurrentVolume);
  PlayerPanel->AlignToClient();
  PlayerPanel->HighQuality = Settings.HighQualityVideo;
  PlayerPanel->SetFilmGrain(Settings.FilmGrain);
  PlayerPanel->SetFilmGrainLevel(static_cast<uint8_t>(Settings.FilmGrainValue & 0xFF));
  PlayerPanel->setMouseTracking(true);
  PlayerPanel->setCursor(CursorShown ? Qt::ArrowCursor : Qt::BlankCursor);
  PlayerPanel->show();
  PlayerPanel->lower();
  LayOut();
}

void TfrmPlayerMain::PointVideoAtTV() {
  TfrmTVStandBase* stand = Stand.get();
  Manager->OnVideoFrame = [stand](const yuv_buffer* frame, const bool* key) {
    stand->ShowTrayVideoFrame(frame, key);
  };
}

void TfrmPlayerMain::SuppressVisualisation(bool suppressed) {
  if (PlayerPanel) PlayerPanel->Visualisation->SetSuppressed(suppressed);
}

// --- Progress ------------------------------------------------------------------------------------------

void TfrmPlayerMain::Progress(int code) {
  switch (code) {
    case PROGRESS_OPENING:
      SuppressVisualisation(true);
      break;
    case PROGRESS_VIDEO:
      if (FullScreen)
        LayOut();
      else
        SizeToPicture();
      SuppressVisualisation(true);
      break;
    case PROGRESS_AUDIO:
      SuppressVisualisation(Manager->HasVideo());
      break;
    case PROGRESS_IDLE: {
      Title.clear();
      SuppressVisualisation(true);
      const QString error = Text(ReceiverErrorText(Manager->Receiver().GetErrorCode() & 0x7F));
      if (!error.isEmpty()) ErrorBox(error);
      ShowDisconnected = !UserClosed;
      if (!UserClosed) PostCommand(this, CM_NEXT_ENTRY);
      break;
    }
    case PROGRESS_TEXT:
      SuppressVisualisation(true);
      PlayTextAsPlaylist();
      Title.clear();
      break;
    case PROGRESS_STREAMS:
      StreamHeadersRead();
      break;
    default:
      break;
  }
}

void TfrmPlayerMain::StreamHeadersRead() {
  tNetworkOggReceiver& receiver = Manager->Receiver();
  Title = Text(BuildStreamTitle(receiver.GetStationName(), receiver.GetDescription(),
                                CommentTitle(Manager->VideoComments(), Manager->AudioComments()),
                                receiver.GetStreamURL()));
  pnlNotify->setText(Title);
  SendCommand(Stand.get(), CM_NOTIFY, 0, 0, Title);
  if (!OpenedByUser.isEmpty()) {
    tPlayListEntry entry;
    // A stream that redirects is remembered at the address it came from in the end; the typed address
    // stays in the recently used list.
    const std::string finalURL = receiver.GetFinalURL();
    entry.Location = finalURL.empty() ? OpenedByUser.toStdString() : finalURL;
    entry.Title = receiver.GetStationName().empty() ? receiver.GetStreamURL() : receiver.GetStationName();
    entry.Annotation = receiver.GetDescription();
    entry.Genre = receiver.GetGenre();
    entry.Info = receiver.GetStationURL();
    // The entry made when the address was opened gets the station's texts; a second entry of the same
    // address would be played again when the stream ends, and doubles the address in the recent list.
    int same = -1;
    for (int i = 0; i < CurrentPlaylist.Count() && same < 0; ++i)
      if (CurrentPlaylist[i].Location == entry.Location ||
          CurrentPlaylist[i].Location == OpenedByUser.toStdString())
        same = i;
    if (same >= 0)
      CurrentPlaylist[same] = entry;
    else
      CurrentPlaylist.Add(entry);
    Settings.AddPlaylistToRecent(CurrentPlaylist);
    OpenedByUser.clear();
  }
  // The information dialog takes a new snapshot (a new chain link), once this message is done.
  if (InfoDialog) {
    QPointer<TfrmAboutstreamDlg> dialog = InfoDialog;
    QMetaObject::invokeMethod(
        this,
        [dialog] {
          if (dialog) dialog->Refresh();
        },
        Qt::QueuedConnection);
  }
}

void TfrmPlayerMain::PlayTextAsPlaylist() {
  PlaylistIndex = 0;
  const std::string text = Manager->Receiver().GetTextData();
  if (!text.empty()) CurrentPlaylist.LoadFromText(text);
  if (!text.empty() && CurrentPlaylist.Count() > 0)
    PostCommand(this, CM_NEXT_ENTRY);
  else
    ErrorBox(QStringLiteral("The playlist specified is empty."));
}

void TfrmPlayerMain::NextEntry() {
  if (CurrentPlaylist.Count() > PlaylistIndex) {
    Settings.AddPlaylistToRecent(CurrentPlaylist);
    OpenStream(Text(CurrentPlaylist[PlaylistIndex].Location));
    ++PlaylistIndex;
    SuppressVisualisation(true);
  } else if (ShowDisconnected) {
    SendCommand(Stand.get(), CM_NOTIFY, 0, 0, QStringLiteral("Stream closed or got disconnected."));
    if (FullScreen) PostCommand(this, CM_FULL_SCREEN);
  }
  ShowDisconnected = false;
}

void TfrmPlayerMain::PlayPlaylist() {
  PlaylistIndex = 0;
  PostCommand(this, CM_NEXT_ENTRY);
  Settings.AddPlaylistToRecent(CurrentPlaylist);
}

void TfrmPlayerMain::ErrorBox(const QString& text) {
  Stand->FadeSuppressed = true;
  MyMessageBox(text, QStringLiteral("Error"), MB_ICONEXCLAMATION, this);
  if (Stand) Stand->FadeSuppressed = false;
}

// --- Status line, notifications, volume ----------------------------------------------------------------

void TfrmPlayerMain::StatusWatcherTimer() {
  StatusWatcher.stop();
  const uint32_t now = timeGetTime();
  const QString title = QString::fromLatin1(kPlayerTitle);
  if (now - NotifyTick > kCaptionHoldMs && Stand->windowTitle() != title) Stand->setWindowTitle(title);
  QString text;
  if (Manager) {
    tNetworkOggReceiver& receiver = Manager->Receiver();
    text = Text(ReceiverStatusText(receiver.GetState(), receiver.GetBufferLevel(),
                                   receiver.GetReconnectAttempt(), receiver.GetReconnectAttempts()));
  }
  if (FullScreen)
    UpdateNotifyPanel();
  else
    pnlNotify->hide();
  if (!text.isEmpty()) Notify(text);
  StatusWatcher.start();
}

void TfrmPlayerMain::Notify(const QString& text) {
  if (FullScreen)
    pnlNotify->setText(text);
  else
    Stand->setWindowTitle(text);
  NotifyTick = timeGetTime();
}

void TfrmPlayerMain::SetVolume(uint16_t volume) {
  CurrentVolume = volume;
  if (PlayerPanel) PlayerPanel->SetVolume(volume);
  Settings.LastVolume = volume;
  Notify(QStringLiteral("Volume Changed to %1%").arg(volume * 100 / 65535));
}

// --- Settings and second instances ---------------------------------------------------------------------

void TfrmPlayerMain::ApplySettings(int32_t oldBufferSeconds) {
  if (Settings.ShowTVBorder != BorderShown && !FullScreen) SetBorder(Settings.ShowTVBorder, true);
  PlayerPanel->Visualisation->Configure(Settings.MaxRenderW, Settings.MaxRenderH, Settings.LowPriority,
                                        Settings.VisEnabled);
  ApplyStayOnTop();
  bool restart = Settings.BufferSeconds != oldBufferSeconds;
  if (BackEndIsDirectX() == (WantDirectX() && CanUseDirectX())) {
    PlayerPanel->SetFilmGrainLevel(static_cast<uint8_t>(Settings.FilmGrainValue & 0xFF));
    PlayerPanel->SetFilmGrain(Settings.FilmGrain);
    PlayerPanel->HighQuality = Settings.HighQualityVideo;
    PlayerPanel->PresentFrame();
  } else {
    restart = true;
  }
  if (restart) {
    Stand->FadeSuppressed = true;
    MyMessageBox(QStringLiteral("Some of your changes will not be applied until you restart this stream."),
                 QStringLiteral("Stream Restart Required"), MB_ICONINFORMATION, this);
    Stand->FadeSuppressed = false;
  }
  RestartPlayer = restart;
}

void TfrmPlayerMain::SecondInstance(const QByteArray& text) {
  if (Stand->InTray()) Stand->RestoreApplication();
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  const QString url = QString::fromUtf8(text);
  if (url.isEmpty()) return;
  OpenedByUser = url;
  CurrentPlaylist.Clear();
  OpenStream(url);
}

void TfrmPlayerMain::PlaySources(const QStringList& sources) {
  if (sources.isEmpty()) return;
  OpenedByUser = sources.first();
  CurrentPlaylist.Clear();
  for (const QString& source : sources) {
    tPlaylist single;
    single.SetSingleEntry(source.toStdString());
    CurrentPlaylist.Add(single[0]);
  }
  PlaylistIndex = 1;  // the first is opened now; the next entry follows when it ends
  OpenStream(sources.first());
}

}  // namespace ktv
