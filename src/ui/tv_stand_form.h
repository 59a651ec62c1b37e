// The console under the video window, drawn as the base of a television set: the caption (station name),
// caption buttons, play/stop and function buttons, the volume knob, the play-time clock and the scrolling
// information line. It fades in while the program is active and out while another program is, and it owns
// the tray icon, which can show the running video.
//
// It decides nothing about the stream: every command goes to the main window (OwnerWindow) as a command
// event, and the main window answers with events (volume, information line) and the fields below.
//
// The fixed body (stand, sides, knob, scale, caption) is composed once into a picture of its own and again
// only when the size or the caption changes. ComposedBitmap is that body with the knob's pointer, the clock
// and the information line drawn over it; when one of those changes only its region is redrawn from the body
// and only that region is repainted. paintEvent only copies the repainted region. The console never asks for
// the play time: the main window pushes it (SetPlayTime).
//
// Thread contract: main thread only; ShowTrayVideoFrame runs there too (the decoding thread's synchronised
// frame event).
#pragma once

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "ogg/codec_libraries.h"
#include "ui/image_list.h"

namespace ktv {

class TKestrovaImageButton;
class TWindowMenu;
class tPlayerSettings;
class tTrayIcon;

class TfrmTVStandBase : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 367;
  static constexpr int kKnobSize = 53;
  static constexpr uint16_t kWheelStep = 3072;  // volume change per wheel notch
  // The information line (its hint is the whole text while the pointer is over it).
  static constexpr QRect kMarqueeRect{7, 35, 265, 26};

  // owner: the main window; it receives the commands and is the window the window menu acts on. tray: the
  // notification area (null: the desktop's).
  TfrmTVStandBase(QWidget* owner, tPlayerSettings& settings, std::unique_ptr<tTrayIcon> tray = nullptr);
  ~TfrmTVStandBase() override;

  // --- Kept up to date by the main window ----------------------------------------------------------------
  QPointer<QWidget> OwnerWindow;
  double VideoAspect = 0;  // the video's height / width (0 without video)
  // Held around the main window's dialogs and message boxes, which may nest: nothing fades until the last
  // hold is released.
  void HoldFade() { ++FadeHolds; }
  void ReleaseFade() {
    if (FadeHolds > 0) --FadeHolds;
  }
  bool FadeSuppressed() const { return FadeHolds > 0; }
  // Whether a fade-in may show the console (not while the main window is in full screen or in the tray).
  std::function<bool()> MayShow;
  // Whether the main window is maximised (the window menu's items follow it).
  std::function<bool()> OwnerMaximized;
  // The console's key presses go to the main window's handler.
  std::function<void(QKeyEvent*)> OnKeyPress;

  // --- Handlers the main window shares -------------------------------------------------------------------
  // One wheel notch up / down: volume +/- kWheelStep, clamped, posted to the main window and to the console.
  void MouseWheelUp();
  void MouseWheelDown();
  // The knob to `value` (clamped to 0..65535): posted to the main window and to the console.
  void SetKnobValue(int value);
  // A wheel turn of `delta` eighths of a degree (120 a notch); parts of a notch add up to one.
  void Wheel(int delta);
  // The window menu, left-aligned below the icon button.
  void imIconClick();
  // The decoding thread's frame event while the player sits in the tray.
  void ShowTrayVideoFrame(const yuv_buffer* frame, const bool* keyframe);
  // The whole program is minimised / restored (the console's handlers of the application's events).
  void ApplicationMinimize();
  void ApplicationRestore();
  // Shows the main window and the console again and brings them to the front.
  void RestoreApplication();
  // The program became active (fade in) or another one did (fade out).
  void ApplicationActivation(bool active);

  // --- Timers (public so that tests can step them with their own clock) ----------------------------------
  void ClockUpdateTimer();
  void FadeInTimer();
  // The millisecond clock the fades and the information line run on.
  void SetClock(std::function<uint32_t()> now);

  // The play time in seconds, pushed by the main window when it may have changed; a negative or unknown
  // time shows as 0. The clock is redrawn only when its text changes.
  void SetPlayTime(double seconds);

  // --- What is shown ------------------------------------------------------------------------------------
  uint16_t KnobValue() const { return Knob; }
  bool KnobDragging() const { return Dragging; }
  QString MarqueeText() const { return Marquee; }
  double MarqueePos() const { return MarqueePosition; }
  int MarqueeMin() const { return MarqueeMinimum; }
  bool InTray() const { return Tray; }
  // The clock text shown.
  QString ClockText() const { return Clock; }
  // How often the fixed body has been composed (it should not be on a clock tick or a marquee step).
  int BodyComposeCount() const { return BodyComposes; }
  // The knob's centre, in client coordinates.
  QPoint KnobCentre() const;
  const QImage& ComposedBitmap() const { return Composed; }
  const QImage& TrayBitmap() const { return TrayPicture; }
  // Fade direction: 1 in, -1 out, 0 idle.
  int FadeDirection() const { return FadeDir; }
  TWindowMenu* WindowMenu() const { return SystemMenu; }
  QMenu* TrayContextMenu() const { return TrayMenu; }
  tTrayIcon* TrayIcon() const { return TrayIconPtr.get(); }

  TKestrovaImageButton* imIcon = nullptr;
  TKestrovaImageButton* btnMinimize = nullptr;
  TKestrovaImageButton* btnMax = nullptr;
  TKestrovaImageButton* btnClose = nullptr;
  TKestrovaImageButton* btnPlay = nullptr;
  TKestrovaImageButton* btnStop = nullptr;
  TKestrovaImageButton* btnStreamInfo = nullptr;
  TKestrovaImageButton* btnPlaylist = nullptr;
  TKestrovaImageButton* btnOpen = nullptr;
  TKestrovaImageButton* btnDirectory = nullptr;
  TKestrovaImageButton* btnSettings = nullptr;
  TKestrovaImageButton* btnRate = nullptr;
  TKestrovaImageButton* btnSchedule = nullptr;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  int FadeHolds = 0;
  int WheelRest = 0;  // eighths of a degree not yet a notch
  void CreateButtons();
  TKestrovaImageButton* AddButton(const TImageList& list, int image, QRect place, const char* hint,
                                  std::function<void()> click);
  void ShapeWindow();
  // The body afresh, then everything over it.
  void Compose();
  void ComposeBody();
  // Redraws `area` of ComposedBitmap from the body and the parts over it, and repaints only that area.
  void Redraw(const QRect& area);
  QRect KnobArea() const;
  void DrawPointer(class QPainter& painter, QPoint centre) const;
  void DrawClock(class QPainter& painter);
  void DrawMarquee(class QPainter& painter);
  void StepMarquee();
  bool InCaptionBand(int y) const;
  bool OnKnob(QPoint p) const;
  void TurnKnob(QPoint p);
  void ConfineCursor(QPoint global);
  void SetNotification(const QString& text);
  bool OwnerIsMaximized() const;

  tPlayerSettings& Settings;
  std::function<uint32_t()> Now;

  // The pictures, loaded once (designed size), and the composed window picture.
  QImage StandBitmap, LeftBitmap, MiddleBitmap, RightBitmap, KnobBitmap, DotBitmap, SeparatorBitmap,
      StripBitmap;
  int Scale = 1;  // device pixels per logical pixel of the composed picture (2 on dense screens)
  QRegion StandRegion;
  int StandX = 0;
  QImage Body;      // the fixed part of the picture
  QImage Composed;  // the body with the pointer, the clock and the information line
  int BodyComposes = 0;
  TImageList IL, MiscButton;

  uint16_t Knob = 0;
  bool Dragging = false;
  QString Marquee;
  double MarqueePosition = 3.0;
  uint32_t MarqueeTurnTime = 0;
  int MarqueeDir = -1;
  int MarqueeMinimum = -3;
  QString Clock = QStringLiteral("00:00:00");

  void CreateTrayMenu();
  void UpdateTrayMenu();

  bool Tray = false;
  bool TrayShowsVideo = false;
  uint32_t TrayFrameTick = 0;  // when the icon last took a picture
  QMenu* TrayMenu = nullptr;   // the icon's context menu (child of the console)
  QAction* TrayRestore = nullptr;
  QImage FrameBitmap;  // the last video frame, in 32 bits
  QImage TrayPicture;  // 48 x 48
  std::unique_ptr<tTrayIcon> TrayIconPtr;
  TWindowMenu* SystemMenu;

  QTimer FadeIn, ClockUpdate;
  int FadeDir = 0;
  uint32_t FadeStart = 0;
  bool Closing = false;
};

}  // namespace ktv
