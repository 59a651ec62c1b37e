// The player's main window: a borderless window whose client area is the playback back-end (the player
// panel), with the console (TfrmTVStandBase) attached below it. The streams and the playlist belong to its
// stream controller; the window is the controller's view (sizing to the picture, titles, error boxes, the
// back-end attached to each new stream), polls it for the status line, and answers the command events of the
// console, the menu and a second program instance.
//
// The class is large, so its definition is spread over three files: player_main_form.cpp (creation, events,
// keys, mouse, menu, dialogs), player_main_stream.cpp (the controller's view, the back-end, status, volume,
// settings) and player_main_geometry.cpp (sizing, aspect rule, full screen, border, console placement).
//
// Thread contract: main thread only. The decoding thread reaches the window only through posted progress
// events and the synchronised calls into the back-end.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "control/stream_controller.h"
#include "library/playlist.h"
#include "platform/sound_device.h"
#include "ui/command_events.h"
#include "ui/skinned_form.h"
#include "ui/tray_icon.h"
#include "ui/window_geometry.h"
#include "ui/window_menu.h"

class QLabel;
class QMenu;

namespace ktv {

class TLink;
class TfrmAboutstreamDlg;
class TPlayerPopupMenu;
class TfrmTVStandBase;
class tOggThreadManager;
class tPlayerBaseClass;
class tPlayerSettings;
class tWindowDrag;

// How the program starts the window.
struct tPlayerStart {
  QString Argument;                 // the first command-line argument, opened 200 ms after start
  std::optional<bool> UseDirectX;   // the back-end for this run instead of the setting (which stays)
  tSoundDeviceFactory SoundDevice;  // the sound device the back-ends open (empty: SDL)
  std::unique_ptr<tTrayIcon> Tray;  // the notification area (null: the desktop's)
};

class TfrmPlayerMain : public QWidget, private tStreamView {
  Q_OBJECT

 public:
  static constexpr int kMinWidth = 312, kMinHeight = 218;

  // settings: the record the window loads, keeps up to date and saves.
  explicit TfrmPlayerMain(tPlayerSettings& settings, tPlayerStart start = {});
  ~TfrmPlayerMain() override;

  // --- Commands ---------------------------------------------------------------------------------------
  // Opens an address the user gave (it replaces the playlist and is remembered); empty closes the stream.
  void OpenStream(const QString& url);
  // A later start handed over its argument: come to the front and play it when it is not empty.
  void SecondInstance(const QByteArray& text);
  // Plays the first source and puts all of them in the playlist, so the rest follow (several files given
  // to the program at once).
  void PlaySources(const QStringList& sources);
  void ToggleFullScreen();
  // Our own maximise (the window covers its monitor's available area) and minimise.
  void ToggleMaximized();
  void MinimizeWindow();
  // Sets the volume the way the console's knob does: the knob turns, the player and the setting follow.
  void ChangeVolume(uint16_t volume);

  // --- What the window shows --------------------------------------------------------------------------
  tStreamController& Streams() { return *Controller; }
  tOggThreadManager* ThreadManager() const { return Controller->Stream(); }
  tPlayerBaseClass* Player() const { return PlayerPanel; }
  TfrmTVStandBase* TVStand() const { return Stand.get(); }
  const tPlaylist& Playlist() const { return Controller->Playlist(); }
  QString Title() const { return QString::fromStdString(Controller->Title()); }
  TPlayerPopupMenu* Popup() const { return PopupMenu; }
  QLabel* NotifyPanel() const { return pnlNotify; }
  // The dialog opened by the last command (settings, open, information, about), while it is open.
  tSkinnedForm* OpenDialog() const { return Dialog.data(); }
  bool IsFullScreen() const { return FullScreen; }
  bool IsMaximized() const { return Maximize.IsMaximized(); }
  bool IsBorderShown() const { return BorderShown; }
  bool VideoInTray() const { return VideoToTV; }
  // A changed setting waits for the next stream.
  bool RestartPending() const { return RestartPlayer; }
  // The video's frame size (0 x 0 without video) and its height / width for the aspect rule.
  QSize VideoSize() const;
  double VideoRatio() const;
  uint16_t Volume() const { return CurrentVolume; }
  bool StartupFadeRunning() const { return StartupFade.isActive(); }
  // The back-end in use is the accelerated one.
  bool BackEndIsDirectX() const;

 signals:
  // Something the desktop's media controls show may have changed: the stream opened or closed, its title,
  // the volume, the end of the playlist.
  void PlayerStateChanged();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  // player_main_form.cpp
  void FormActivate();
  void HandleCommand(tCommandEvent& command);
  void ShowStreamInfo();
  void ShowOpenURL();
  void ShowAbout();
  void ShowSettings();
  void ShowDirectoryWindow();
  void ShowPlaylistViewer();
  void ShowDialog(tSkinnedForm* dialog, std::function<void(int result)> finished);
  void OpenLocalFile();
  void OpenLocalFileChosen(const QString& fileName);
  void OpenBookmark(int index);
  void AddBookmark();
  void ClickLink(TLink* link);
  void SetCursorShown(bool shown);

  // player_main_stream.cpp: the stream controller's view
  void StreamClosing(tOggThreadManager& stream) override;
  void StreamOpened(tOggThreadManager* stream) override;
  void Notify(const std::string& text) override;
  void TitleChanged(const std::string& title) override;
  void ErrorBox(const std::string& text) override;
  void PictureSizeChanged() override;
  void SuppressVisualisation(bool suppressed) override;
  void PlaylistEnded() override;
  void RecordingChanged(bool recording) override;
  // The Record item: starts or stops, then shows what the controller did.
  void ToggleRecording();

  // player_main_stream.cpp
  void CreateBackEnd(bool useDirectX);
  void ConfigurePlayer();
  bool WantDirectX() const;
  void PointVideoAtTV();
  void SizeToPicture();
  void StatusWatcherTimer();
  void ShowStatus(const QString& text);
  void SetVolume(uint16_t volume);
  void ApplySettings(int32_t oldBufferSeconds);
  void ErrorBox(const QString& text);

  // player_main_geometry.cpp
  void EnterFullScreen();
  void LeaveFullScreen();
  void SetBorder(bool shown, bool tellBackEnd);
  void LayOut();
  void PlaceTVStand();
  void ApplyStayOnTop();
  void StartZoneDrag(int zone, QPoint globalPos);  // a press in one of the panel's resize zones
  QSize ConstrainSize(QSize proposed, Qt::Edges edges) const;
  void UpdateNotifyPanel();

  tPlayerSettings& Settings;
  QString Argument;
  std::optional<bool> ForcedDirectX;
  tSoundDeviceFactory SoundDevice;
  std::unique_ptr<tMessageTarget> MessageTarget;
  std::unique_ptr<tStreamController> Controller;
  tPlayerBaseClass* PlayerPanel = nullptr;  // child widget, owned
  std::unique_ptr<TfrmTVStandBase> Stand;
  TPlayerPopupMenu* PopupMenu;
  QLabel* pnlNotify;
  TLink* lnkSchedule;
  TLink* lnkRate;
  tWindowDrag* Drag;
  tWindowActions WindowActions;  // what the window menu acts on
  QPointer<tSkinnedForm> Dialog;
  QPointer<TfrmAboutstreamDlg> InfoDialog;

  uint16_t CurrentVolume = 65535;
  bool BorderShown = true;
  bool FullScreen = false;
  tMaximizer Maximize;
  QRect SavedBounds;  // before full screen
  bool CursorShown = true;
  QPoint LastCursorPos;
  uint32_t CursorMoveTick = 0;
  uint32_t NotifyTick = 0;
  uint32_t FadeStartTick = 0;
  bool Shown = false;
  bool Activated = false;
  bool VideoToTV = false;      // the pictures go to the tray icon
  bool RestartPlayer = false;  // a changed setting takes effect with the next stream

  QTimer StatusWatcher;
  QTimer tmrRun;
  QTimer StartupFade;
};

}  // namespace ktv
