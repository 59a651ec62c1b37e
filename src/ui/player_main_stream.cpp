// TfrmPlayerMain as the stream controller's view: the back-end made for each stream, sizing, titles and error
// boxes; the status line, the volume and the settings.
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
#include "ui/player_popup_menu.h"
#include "ui/player_texts.h"
#include "ui/tv_stand_form.h"

namespace ktv {

namespace {

constexpr uint32_t kCaptionHoldMs = 2500;  // a notification stays in the console's caption this long

}  // namespace

// --- Streams and back-end --------------------------------------------------------------------------------

void TfrmPlayerMain::OpenStream(const QString& url) {
  if (url.trimmed().isEmpty())
    Controller->Stop();
  else
    Controller->OpenByUser(url.toStdString());
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
  tOggThreadManager* stream = Controller ? Controller->Stream() : nullptr;
  if (useDirectX)
    PlayerPanel = new tDirectXOggPlayer9(this, stream, SoundDevice);
  else
    PlayerPanel = new tGDIWavePlayback(this, stream, SoundDevice);
  if (VideoToTV && stream) PointVideoAtTV();
  ConfigurePlayer();
}

void TfrmPlayerMain::ConfigurePlayer() {
  PlayerPanel->Visualisation->Configure(Settings.MaxRenderW, Settings.MaxRenderH, Settings.LowPriority,
                                        Settings.VisEnabled);
  // The panel covers the window before it shapes it.
  PlayerPanel->AlignToClient();
  // In full screen the picture has no frame, whatever the setting.
  PlayerPanel->SetShowTVBorder(BorderShown && !FullScreen);
  PlayerPanel->OnDblClick = [this] { ToggleFullScreen(); };
  PlayerPanel->SetVolume(CurrentVolume);
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
  Controller->Stream()->OnVideoFrame = [stand](const yuv_buffer* frame, const bool* key) {
    stand->ShowTrayVideoFrame(frame, key);
  };
}

// --- The stream controller's view ----------------------------------------------------------------------

void TfrmPlayerMain::StreamClosing(tOggThreadManager& stream) {
  stream.ClearEvents();
  if (PlayerPanel) PlayerPanel->Attach(nullptr);
  // The information dialog reads the stream it was opened on, which goes now.
  if (TfrmAboutstreamDlg* info = InfoDialog.data()) {
    InfoDialog = nullptr;
    info->SetModalResult(mrCancel);
  }
}

void TfrmPlayerMain::StreamOpened(tOggThreadManager*) {
  // Local files are files already: Record is for network streams only.
  PopupMenu->Record1->setEnabled(Controller->CanRecord());
  if (PlayerPanel) PlayerPanel->Shutdown();
  RestartPlayer = false;  // the back-end is made afresh in any case
  CreateBackEnd(WantDirectX());
  emit PlayerStateChanged();
}

void TfrmPlayerMain::RecordingChanged(bool recording) {
  PopupMenu->Record1->setChecked(recording);
}

void TfrmPlayerMain::ToggleRecording() {
  Controller->ToggleRecording();
  PopupMenu->Record1->setChecked(Controller->IsRecording());
}

void TfrmPlayerMain::Notify(const std::string& text) {
  SendCommand(Stand.get(), CM_NOTIFY, 0, 0, QString::fromStdString(text));
}

void TfrmPlayerMain::TitleChanged(const std::string& title) {
  emit PlayerStateChanged();
  if (title.empty()) return;
  const QString shown = QString::fromStdString(title);
  pnlNotify->setText(shown);
  SendCommand(Stand.get(), CM_NOTIFY, 0, 0, shown);
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

void TfrmPlayerMain::ErrorBox(const std::string& text) {
  ErrorBox(QString::fromStdString(text));
}

void TfrmPlayerMain::PictureSizeChanged() {
  if (FullScreen)
    LayOut();
  else
    SizeToPicture();
}

void TfrmPlayerMain::SuppressVisualisation(bool suppressed) {
  if (PlayerPanel) PlayerPanel->Visualisation->SetSuppressed(suppressed);
}

void TfrmPlayerMain::PlaylistEnded() {
  emit PlayerStateChanged();
  if (FullScreen) PostCommand(this, CM_FULL_SCREEN);
}

void TfrmPlayerMain::ErrorBox(const QString& text) {
  Stand->HoldFade();
  MyMessageBox(text, QStringLiteral("Error"), MB_ICONEXCLAMATION, this);
  if (Stand) Stand->ReleaseFade();
}

// --- Status line, notifications, volume ----------------------------------------------------------------

void TfrmPlayerMain::StatusWatcherTimer() {
  StatusWatcher.stop();
  const uint32_t now = timeGetTime();
  const QString title = QString::fromLatin1(kPlayerTitle);
  if (now - NotifyTick > kCaptionHoldMs && Stand->windowTitle() != title) Stand->setWindowTitle(title);
  // The console's clock: it redraws only when the shown second changes.
  Stand->SetPlayTime(Controller->Position());
  const QString text = QString::fromStdString(Controller->StatusText());
  if (FullScreen)
    UpdateNotifyPanel();
  else
    pnlNotify->hide();
  if (!text.isEmpty()) ShowStatus(text);
  StatusWatcher.start();
}

void TfrmPlayerMain::ShowStatus(const QString& text) {
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
  ShowStatus(QStringLiteral("Volume Changed to %1%").arg(volume * 100 / 65535));
  emit PlayerStateChanged();
}

void TfrmPlayerMain::ChangeVolume(uint16_t volume) {
  Stand->SetKnobValue(volume);
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
    Stand->HoldFade();
    MyMessageBox(QStringLiteral("Some of your changes will not be applied until you restart this stream."),
                 QStringLiteral("Stream Restart Required"), MB_ICONINFORMATION, this);
    Stand->ReleaseFade();
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
  if (!url.trimmed().isEmpty()) OpenStream(url);
}

void TfrmPlayerMain::PlaySources(const QStringList& sources) {
  std::vector<std::string> urls;
  for (const QString& source : sources)
    if (!source.trimmed().isEmpty()) urls.push_back(source.toStdString());
  Controller->OpenAll(urls);
}

}  // namespace ktv
