// TfrmPlayerMain: creation, showing and closing, the command events, keys, mouse, the popup menu and the
// dialogs. (Streams: player_main_stream.cpp; sizes and full screen: player_main_geometry.cpp.)
#include "ui/player_main_form.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QWheelEvent>
#include <QWindow>
#include <cmath>

#include "library/player_settings.h"
#include "platform/clock.h"
#include "playback/qt/player_base_class.h"
#include "stream/ogg_thread_manager.h"
#include "ui/about_form.h"
#include "ui/about_stream_dialog.h"
#include "ui/application_signals.h"
#include "ui/config_dialog.h"
#include "ui/directory_form.h"
#include "ui/link.h"
#include "ui/open_ogg_dialog.h"
#include "ui/open_url_form.h"
#include "ui/player_popup_menu.h"
#include "ui/player_texts.h"
#include "ui/show_playlist_form.h"
#include "ui/skin_look.h"
#include "ui/tray_icon.h"
#include "ui/tv_stand_form.h"
#include "ui/window_drag.h"

namespace ktv {

namespace {

constexpr int kRunDelayMs = 200;       // the command-line argument opens this long after start
constexpr int kStartupFadeMs = 10;     // the opening fade's timer
constexpr int kStatusWatcherMs = 100;  // the status line is polled this often
constexpr int kNotifyPanelHeight = 20;
constexpr uint32_t kNotifyPanelColour = 0x101010;

}  // namespace

TfrmPlayerMain::TfrmPlayerMain(tPlayerSettings& settings, tPlayerStart start)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      Settings(settings),
      Argument(start.Argument),
      ForcedDirectX(start.UseDirectX),
      SoundDevice(std::move(start.SoundDevice)),
      MessageTarget(std::make_unique<tQtMessageTarget>(this)),
      Controller(
          std::make_unique<tStreamController>(static_cast<tStreamView&>(*this), *MessageTarget, &settings)) {
  setWindowTitle(QString::fromLatin1(kPlayerTitle));
  setWindowIcon(ApplicationIcon());
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);

  Settings.LoadSettings();
  CurrentVolume = Settings.LastVolume;

  pnlNotify = new QLabel(this);
  pnlNotify->setAutoFillBackground(true);
  QPalette notifyColours = pnlNotify->palette();
  notifyColours.setColor(QPalette::Window, WinColor(kNotifyPanelColour));
  notifyColours.setColor(QPalette::WindowText, QColor(0, 255, 0));
  pnlNotify->setPalette(notifyColours);
  pnlNotify->setFont(DesignFont("Arial", 10, true));
  pnlNotify->setIndent(6);
  pnlNotify->setFixedHeight(kNotifyPanelHeight);
  pnlNotify->hide();
  lnkSchedule = new TLink(this, QString(), QString::fromStdString(Settings.WebSite + "/schedule.php"));
  lnkSchedule->hide();
  lnkRate = new TLink(this, QString(), QString::fromStdString(Settings.WebSite + "/rate.php"));
  lnkRate->hide();

  PopupMenu = new TPlayerPopupMenu(this, Settings);
  PopupMenu->OnOpenLocalFile = [this] { OpenLocalFile(); };
  PopupMenu->OnAddBookmark = [this] { AddBookmark(); };
  PopupMenu->OnCloseStream = [this] { Controller->Stop(); };
  PopupMenu->OnRecord = [this] { ToggleRecording(); };
  PopupMenu->OnOpenBookmark = [this](int index) { OpenBookmark(index); };
  // The menu's shortcuts work while the main window has the keyboard.
  addActions(PopupMenu->actions());

  Drag = new tWindowDrag(this);
  Drag->Constrain = [this](QSize proposed, Qt::Edges edges) { return ConstrainSize(proposed, edges); };
  WindowActions.IsMaximized = [this] { return IsMaximized(); };
  WindowActions.ToggleMaximized = [this] { ToggleMaximized(); };
  WindowActions.Minimize = [this] { MinimizeWindow(); };
  WindowActions.Drag = Drag;
  WindowActions.Fixed = [this] { return IsMaximized() || FullScreen; };

  SetBorder(Settings.ShowTVBorder, false);
  setMinimumSize(kMinWidth, kMinHeight);
  Stand = std::make_unique<TfrmTVStandBase>(this, Settings, std::move(start.Tray));
  Stand->MayShow = [this] { return isVisible() && !isMinimized() && !FullScreen && !Stand->InTray(); };
  Stand->OwnerMaximized = [this] { return IsMaximized(); };
  // Every form's minimise goes to the console, which may take the program to the tray; the connection goes
  // with the console.
  connect(&tApplicationSignals::Instance(), &tApplicationSignals::MinimizeRequested, Stand.get(),
          &TfrmTVStandBase::ApplicationMinimize);
  Stand->OnKeyPress = [this](QKeyEvent* event) { keyPressEvent(event); };
  Stand->addActions(PopupMenu->actions());
  resize(kMinWidth, kMinHeight);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(kMinWidth / 2, kMinHeight / 2));
  PostCommand(Stand.get(), CM_NOTIFY, 0, 0, QStringLiteral("Welcome to the Kestrova.TV Player."));
  PostCommand(Stand.get(), CM_VOLUME, CurrentVolume);
  PlaceTVStand();
  CreateBackEnd(WantDirectX());
  ApplyStayOnTop();

  StatusWatcher.setInterval(kStatusWatcherMs);
  connect(&StatusWatcher, &QTimer::timeout, this, &TfrmPlayerMain::StatusWatcherTimer);
  StatusWatcher.start();
  tmrRun.setSingleShot(true);
  tmrRun.setInterval(kRunDelayMs);
  connect(&tmrRun, &QTimer::timeout, this, [this] {
    if (!Argument.trimmed().isEmpty()) OpenStream(Argument);
  });
  tmrRun.start();
  StartupFade.setInterval(kStartupFadeMs);
  connect(&StartupFade, &QTimer::timeout, this, [this] {
    const uint32_t elapsed = timeGetTime() - FadeStartTick;
    if (elapsed < 256) {
      setWindowOpacity(elapsed / 255.0);
      return;
    }
    setWindowOpacity(1.0);
    StartupFade.stop();
  });
}

TfrmPlayerMain::~TfrmPlayerMain() {
  StatusWatcher.stop();
  Drag->Stop();
  // The decoding thread calls nothing of ours from here on (its frames may go to the console).
  if (tOggThreadManager* stream = Controller->Stream()) StreamClosing(*stream);
  delete InfoDialog.data();
  Stand.reset();
  Settings.SaveSettings();
  Controller.reset();
  if (PlayerPanel) PlayerPanel->Shutdown();
  delete PlayerPanel;
  PlayerPanel = nullptr;
}

// --- Showing, activation, closing ------------------------------------------------------------------------

void TfrmPlayerMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!Shown) {
    Shown = true;
    if (QWindow* handle = windowHandle()) handle->installEventFilter(this);
    // The opening fade: from transparent to opaque over a quarter second.
    if (PlayerPanel) PlayerPanel->PresentFrame();
    if (WindowOpacityAvailable()) {
      setWindowOpacity(0);
      FadeStartTick = timeGetTime();
      StartupFade.start();
    }
    activateWindow();
  }
  PlaceTVStand();
  if (!FullScreen && Stand && !Stand->InTray()) Stand->show();
}

bool TfrmPlayerMain::eventFilter(QObject* watched, QEvent* event) {
  // A window manager that maps an iconified window again does not always say that it is no longer
  // minimised (the state stays behind); a window on the screen is not minimised, and the console follows.
  if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed() &&
      isMinimized()) {
    QTimer::singleShot(0, this, [this] {
      if (isMinimized() && windowHandle() && windowHandle()->isExposed())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    });
  }
  return QWidget::eventFilter(watched, event);
}

void TfrmPlayerMain::FormActivate() {
  ApplyStayOnTop();
  if (Activated) return;
  Activated = true;
  // The console hangs below the window: move up so that the two stay centred together.
  if (Stand && !FullScreen) move(x(), y() - Stand->height() / 2);
}

void TfrmPlayerMain::closeEvent(QCloseEvent* event) {
  if (Stand) Stand->close();
  QWidget::closeEvent(event);
}

void TfrmPlayerMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
  if (event->type() == QEvent::WindowStateChange && Stand) {
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool was = change->oldState() & Qt::WindowMinimized, now = windowState() & Qt::WindowMinimized;
    // A window manager iconifies the window alone and leaves the console (a tool window) on the screen;
    // the state may also come from the manager itself (a task bar), late. The console goes and comes back
    // with the window.
    if (!was && now && !Stand->InTray()) Stand->hide();
    if (was && !now) {
      Stand->ApplicationRestore();
      if (!FullScreen && !Stand->InTray()) {
        PlaceTVStand();
        Stand->show();
      }
    }
  }
}

// --- Command events ------------------------------------------------------------------------------------

bool TfrmPlayerMain::event(QEvent* event) {
  if (tCommandEvent* command = AsCommand(event)) {
    HandleCommand(*command);
    return true;
  }
  if (event->type() == tSysCommandEvent::EventType()) {
    const auto* command = static_cast<tSysCommandEvent*>(event);
    RunSysCommand(*this, WindowActions, command->Command, command->Pos);
    return true;
  }
  if (event->type() == QEvent::ContextMenu) {
    PopupMenu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
  }
  return QWidget::event(event);
}

// The controller posts its own messages through the window's target: the numbers must agree.
static_assert(CM_NEXT_ENTRY == MSG_NEXT_ENTRY && CM_RECORD_END == MSG_RECORDING_ENDED);

void TfrmPlayerMain::HandleCommand(tCommandEvent& command) {
  switch (command.Msg) {
    case CM_PROGRESS:
    case CM_NEXT_ENTRY:
    case CM_RECORD_END:
      Controller->HandleMessage(command.Msg, command.WParam, command.LParam);
      break;
    case CM_MOVE_WINDOW:
      RunSysCommand(*this, WindowActions, SC_DRAGMOVE,
                    command.LParam ? UnpackPoint(command.LParam) : QCursor::pos());
      break;
    case CM_FULL_SCREEN:
      ToggleFullScreen();
      break;
    case CM_PLACE_STAND:
      if (!FullScreen) PlaceTVStand();
      break;
    case CM_VOLUME:
      SetVolume(static_cast<uint16_t>(command.WParam & 0xFFFF));
      break;
    case CM_PLAY_STOP:
      if (command.WParam != 0)
        Controller->PlayAgain();
      else
        Controller->Stop();
      break;
    case CM_DIRECTORY:
      ShowDirectoryWindow();
      break;
    case CM_POPUP:
      PopupMenu->popup(QCursor::pos());
      break;
    case CM_STREAM_INFO:
      ShowStreamInfo();
      break;
    case CM_OPEN_URL:
      ShowOpenURL();
      break;
    case CM_ABOUT:
      ShowAbout();
      break;
    case CM_POSITION:
      if (Controller->Stream()) {
        const double seconds = Controller->Position();
        const double value = command.WParam != 0 ? seconds * 1000 : seconds;
        command.Result =
            std::isfinite(value) && value >= 0 ? static_cast<intptr_t>(std::nearbyint(value)) : 0;
      }
      break;
    case CM_TRAY_VIDEO:
      VideoToTV = command.WParam == 1;
      if (Controller->Stream()) {
        if (VideoToTV)
          PointVideoAtTV();
        else if (PlayerPanel)
          PlayerPanel->Attach(Controller->Stream());
      }
      break;
    case CM_PLAYLIST:
      ShowPlaylistViewer();
      break;
    case CM_RATE:
      ClickLink(lnkRate);
      break;
    case CM_SCHEDULE:
      ClickLink(lnkSchedule);
      break;
    case CM_SETTINGS:
      ShowSettings();
      break;
    default:
      break;
  }
}

// --- Keys and mouse ------------------------------------------------------------------------------------

void TfrmPlayerMain::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      if (FullScreen) ToggleFullScreen();
      return;
    case Qt::Key_Space:
      if (event->modifiers() & Qt::AltModifier)
        Stand->imIconClick();
      else
        SendCommand(this, CM_PLAY_STOP, 0);
      return;
    case Qt::Key_MediaStop:
      PostCommand(this, CM_PLAY_STOP, 0);
      return;
    case Qt::Key_MediaPlay:
    case Qt::Key_MediaPause:
    case Qt::Key_MediaTogglePlayPause:
      PostCommand(this, CM_PLAY_STOP, 1);
      return;
    default:
      break;
  }
  if (event->text() == QLatin1String("+")) {
    Stand->MouseWheelUp();
  } else if (event->text() == QLatin1String("-")) {
    Stand->MouseWheelDown();
  } else {
    QWidget::keyPressEvent(event);
  }
}

void TfrmPlayerMain::wheelEvent(QWheelEvent* event) {
  Stand->Wheel(event->angleDelta().y());
  event->accept();
}

void TfrmPlayerMain::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || FullScreen || !PlayerPanel || IsMaximized()) return;
  const QPoint inPanel = PlayerPanel->mapFrom(this, event->position().toPoint());
  StartZoneDrag(PlayerPanel->GetResizeZone(inPanel.x(), inPanel.y()), event->globalPosition().toPoint());
}

void TfrmPlayerMain::mouseMoveEvent(QMouseEvent* event) {
  if (!PlayerPanel || Drag->Active()) return;
  if (FullScreen) {
    if (CursorShown) PlayerPanel->setCursor(Qt::ArrowCursor);
    return;
  }
  const QPoint inPanel = PlayerPanel->mapFrom(this, event->position().toPoint());
  PlayerPanel->setCursor(IsMaximized() ? Qt::ArrowCursor
                                       : tPlayerBaseClass::ResizeZoneCursor(
                                             PlayerPanel->GetResizeZone(inPanel.x(), inPanel.y())));
}

void TfrmPlayerMain::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) ToggleFullScreen();
}

void TfrmPlayerMain::SetCursorShown(bool shown) {
  CursorShown = shown;
  const QCursor cursor(shown ? Qt::ArrowCursor : Qt::BlankCursor);
  setCursor(cursor);
  if (PlayerPanel) PlayerPanel->setCursor(cursor);
}

// --- Dialogs -------------------------------------------------------------------------------------------

void TfrmPlayerMain::ShowDialog(tSkinnedForm* dialog, std::function<void(int result)> finished) {
  Dialog = dialog;
  // The console must not fade while one of our own windows takes the focus.
  Stand->HoldFade();
  connect(dialog, &tSkinnedForm::Finished, this, [this, dialog, finished = std::move(finished)](int result) {
    if (Stand) Stand->ReleaseFade();
    if (Dialog == dialog) Dialog = nullptr;
    if (InfoDialog.data() == dialog) InfoDialog = nullptr;
    dialog->deleteLater();
    if (finished) finished(result);
  });
  dialog->Open();
}

void TfrmPlayerMain::ShowStreamInfo() {
  if (Dialog) return;
  if (!Controller->Stream()) {
    ErrorBox(QStringLiteral("There is currently no stream open."));
    return;
  }
  tStreamController* streams = Controller.get();
  auto* dialog = new TfrmAboutstreamDlg(this, [streams] { return streams->Stream(); });
  InfoDialog = dialog;
  ShowDialog(dialog, {});
}

void TfrmPlayerMain::ShowOpenURL() {
  if (Dialog) return;
  auto* dialog = new TfrmOpenURL(this, Settings);
  dialog->DirectoryRequested = false;
  ShowDialog(dialog, [this, dialog](int result) {
    if (result == mrOk) {
      OpenStream(dialog->cboURL->currentText());
    } else if (dialog->DirectoryRequested) {
      PostCommand(this, CM_DIRECTORY);
    }
  });
}

void TfrmPlayerMain::ShowAbout() {
  if (!Dialog) ShowDialog(new TfrmAbout(this, Settings), {});
}

void TfrmPlayerMain::ShowSettings() {
  if (Dialog) return;
  const int32_t bufferSeconds = Settings.BufferSeconds;
  ShowDialog(new TfrmConfigDialog(this, Settings), [this, bufferSeconds](int result) {
    if (result == mrOk) ApplySettings(bufferSeconds);
  });
}

void TfrmPlayerMain::ShowDirectoryWindow() {
  if (Dialog) return;
  auto* dialog = new TfmDirectory(this, Settings);
  // "Play Selection" fills the chosen station's playlist, which then plays.
  auto chosen = std::make_shared<tPlaylist>();
  dialog->Target = chosen.get();
  ShowDialog(dialog, [this, chosen](int result) {
    if (result == mrOk) Controller->PlayPlaylist(*chosen);
  });
}

void TfrmPlayerMain::ShowPlaylistViewer() {
  if (Dialog) return;
  auto* dialog = new TfmShowPlaylist(this);
  dialog->ShowPlaylist(Controller->EditPlaylist(), Controller->PlaylistIndex());
  ShowDialog(dialog, [this, dialog](int result) {
    if (result == mrOk && dialog->SelectedEntry() >= 0) Controller->PlayEntry(dialog->SelectedEntry());
  });
}

void TfrmPlayerMain::ClickLink(TLink* link) {
  // The link opens its page on a click, as it does when shown.
  const QPointF centre(link->width() / 2.0, link->height() / 2.0);
  QMouseEvent press(QEvent::MouseButtonPress, centre, link->mapToGlobal(centre), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, centre, link->mapToGlobal(centre), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(link, &press);
  QCoreApplication::sendEvent(link, &release);
}

// --- Local files and bookmarks -------------------------------------------------------------------------

void TfrmPlayerMain::OpenLocalFile() {
  QFileDialog* dialog = MakeOpenOggDialog(this);
  connect(dialog, &QFileDialog::fileSelected, this, &TfrmPlayerMain::OpenLocalFileChosen);
  connect(dialog, &QFileDialog::finished, dialog, &QObject::deleteLater);
  dialog->open();
}

void TfrmPlayerMain::OpenLocalFileChosen(const QString& fileName) {
  tPlaylist playlist;
  tPlayListEntry entry;
  entry.Location = "file://" + fileName.toStdString();
  entry.Title = QFileInfo(fileName).completeBaseName().toStdString();
  entry.Annotation = "Local File";
  entry.Genre = "Local File";
  playlist.Add(entry);
  Controller->PlayPlaylist(playlist);
}

void TfrmPlayerMain::OpenBookmark(int index) {
  if (index < 0 || index >= static_cast<int>(Settings.books.size())) return;
  tPlaylist playlist;
  FillPlaylist(playlist, *Settings.books[static_cast<size_t>(index)]);
  Controller->PlayPlaylist(playlist);
}

void TfrmPlayerMain::AddBookmark() {
  if (Controller->Playlist().Count() == 0) return;
  const tPlayListEntry& first = Controller->Playlist()[0];
  tRecentPlaylistEntry station;
  station.Name = first.Title;
  station.Description = first.Annotation;
  station.Genre = first.Genre;
  station.ViewURL = first.Info;
  station.Stamp = NowUTC();
  station.URLs = {first.Location};
  Settings.AddToBookmarks(station);
}

}  // namespace ktv
