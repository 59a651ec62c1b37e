// TfrmPlayerMain: the window's size and place: sizing to the video, the aspect rule while resizing, full
// screen, maximise, the television border, the console below the window and staying on top.
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include "library/player_settings.h"
#include "platform/clock.h"
#include "playback/qt/player_base_class.h"
#include "stream/ogg_thread_manager.h"
#include "ui/application_signals.h"
#include "ui/player_main_form.h"
#include "ui/player_texts.h"
#include "ui/skinned_form.h"
#include "ui/tv_stand_form.h"
#include "ui/window_drag.h"
#include "ui/window_geometry.h"

namespace ktv {

namespace {

constexpr uint32_t kCursorHideMs = 2001;  // the cursor goes after this long without movement in full screen

QRect ScreenArea(const QWidget* window, bool whole) {
  const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return window->geometry();
  return whole ? screen->geometry() : screen->availableGeometry();
}

}  // namespace

QSize TfrmPlayerMain::VideoSize() const {
  theora_info info{};
  double frameRate = 0, aspect = 0;
  tOggThreadManager* stream = ThreadManager();
  if (!stream || !stream->GetVideoInfo(info, frameRate, aspect)) return {0, 0};
  return {static_cast<int>(info.frame_width), static_cast<int>(info.frame_height)};
}

double TfrmPlayerMain::VideoRatio() const {
  theora_info info{};
  double frameRate = 0, aspect = 0;
  tOggThreadManager* stream = ThreadManager();
  if (!stream || !stream->GetVideoInfo(info, frameRate, aspect)) return 0;
  return PictureRatio(static_cast<int>(info.frame_width), static_cast<int>(info.frame_height), aspect);
}

void TfrmPlayerMain::SizeToPicture() {
  const QSize picture = VideoSize();
  if (picture.isEmpty() || !PlayerPanel) return;
  const int insetX = PlayerPanel->BorderInsetX(), insetY = PlayerPanel->BorderInsetY();
  // The window and the console below it fit the work area together; a picture too large for it is shown
  // smaller, in its own shape.
  QRect area = ScreenArea(this, false);
  if (Stand && !Stand->InTray()) area.setHeight(std::max(area.height() - Stand->height(), minimumHeight()));
  const QSize client = FitPictureSize(ClientSizeForPicture(picture.width(), picture.height(), insetX, insetY),
                                      area.size(), insetX, insetY)
                           .expandedTo(minimumSize());
  Maximize.Forget();
  setGeometry(PlaceInArea(client, geometry().center(), area));
  Stand->VideoAspect = VideoRatio();
}

void TfrmPlayerMain::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Where the window system sizes the window, the aspect rule applies once the new size arrives.
  if (SystemOwnsGeometry() && !FullScreen && !IsMaximized() && !Drag->Active()) {
    const QSize wanted = ConstrainSize(size(), Drag->Edges());
    if (wanted != size()) resize(wanted);
  }
  LayOut();
}

void TfrmPlayerMain::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  PlaceTVStand();
}

void TfrmPlayerMain::LayOut() {
  if (!PlayerPanel) return;
  if (FullScreen) {
    const double ratio = VideoRatio();
    if (Stand) Stand->VideoAspect = ratio;
    PlayerPanel->setGeometry(ratio > 0 ? FitPicture(size(), ratio) : rect());
    UpdateNotifyPanel();
  } else {
    PlayerPanel->setGeometry(rect());
    PlaceTVStand();
  }
}

void TfrmPlayerMain::PlaceTVStand() {
  if (!Stand || FullScreen) return;
  const QRect bounds = geometry();
  // Client areas on both sides: a window manager may put a frame (or an invisible margin) around either
  // window, and moving a window places its frame.
  Stand->setGeometry(QRect(
      QPoint(bounds.left() + bounds.width() / 2 - Stand->width() / 2, bounds.bottom() + 1), Stand->size()));
}

QSize TfrmPlayerMain::ConstrainSize(QSize proposed, Qt::Edges edges) const {
  if (FullScreen) return proposed;
  return KeepAspect(proposed.expandedTo(minimumSize()), VideoRatio(), minimumSize(), DragSizesByWidth(edges));
}

// --- Moving and sizing with the mouse ------------------------------------------------------------------

void TfrmPlayerMain::StartZoneDrag(int zone, QPoint globalPos) {
  // The panel's zones, left to right and top to bottom; the middle one moves the window.
  static const Qt::Edges kZoneEdges[9] = {Qt::LeftEdge | Qt::TopEdge,
                                          Qt::TopEdge,
                                          Qt::RightEdge | Qt::TopEdge,
                                          Qt::LeftEdge,
                                          {},
                                          Qt::RightEdge,
                                          Qt::LeftEdge | Qt::BottomEdge,
                                          Qt::BottomEdge,
                                          Qt::RightEdge | Qt::BottomEdge};
  if (zone < 0 || zone > 8) return;
  Drag->Begin(kZoneEdges[zone], globalPos);
}

// --- Full screen, maximise, minimise -------------------------------------------------------------------

void TfrmPlayerMain::ToggleFullScreen() {
  if (FullScreen)
    LeaveFullScreen();
  else
    EnterFullScreen();
}

void TfrmPlayerMain::EnterFullScreen() {
  Drag->Stop();
  FullScreen = true;
  SavedBounds = geometry();
  Stand->hide();
  SetBorder(true, false);
  if (PlayerPanel) PlayerPanel->SetShowTVBorder(false);
  LastCursorPos = QCursor::pos();
  CursorMoveTick = timeGetTime();
  // The bounds are ours, for a display without a window manager (which ignores the state); a manager is
  // told as well, so that it stacks the window above its panels and keeps it there. The state goes last:
  // placing a top-level widget clears it.
  setGeometry(ScreenArea(this, true));
  setWindowState(windowState() | Qt::WindowFullScreen);
  LayOut();
  raise();
}

void TfrmPlayerMain::LeaveFullScreen() {
  FullScreen = false;
  pnlNotify->hide();
  if (!CursorShown) SetCursorShown(true);
  SetBorder(Settings.ShowTVBorder, true);
  // The manager puts back the bounds it remembers first; ours follow and win.
  setWindowState(windowState() & ~Qt::WindowFullScreen);
  setGeometry(SavedBounds);
  LayOut();
  if (!Stand->InTray()) Stand->show();
  ApplyStayOnTop();
}

void TfrmPlayerMain::ToggleMaximized() {
  if (FullScreen) return;
  Drag->Stop();
  // The available area less the console, which stays below the window.
  setGeometry(Maximize.Toggle(geometry(), ScreenArea(this, false).adjusted(0, 0, 0, -Stand->height())));
}

void TfrmPlayerMain::MinimizeWindow() {
  tApplicationSignals::Instance().RequestMinimize();
}

// --- Border, stacking, notification panel --------------------------------------------------------------

void TfrmPlayerMain::SetBorder(bool shown, bool tellBackEnd) {
  // The window never has a frame of the window system's: the resize zones of the picture size it.
  BorderShown = shown;
  if (tellBackEnd && PlayerPanel) PlayerPanel->SetShowTVBorder(shown);
  LayOut();
}

void TfrmPlayerMain::ApplyStayOnTop() {
  for (QWidget* window : {static_cast<QWidget*>(this), static_cast<QWidget*>(Stand.get())}) {
    if (!window) continue;
    // Once the window exists its flag changes in place: changing the widget's flags would make the window
    // (and the picture's OpenGL surface) anew.
    if (QWindow* handle = window->windowHandle())
      handle->setFlag(Qt::WindowStaysOnTopHint, Settings.StayOnTop);
    else
      window->setWindowFlag(Qt::WindowStaysOnTopHint, Settings.StayOnTop);
  }
}

void TfrmPlayerMain::UpdateNotifyPanel() {
  if (!FullScreen) {
    pnlNotify->hide();
    return;
  }
  const uint32_t now = timeGetTime();
  const QPoint cursor = QCursor::pos();
  if (cursor != LastCursorPos) {
    LastCursorPos = cursor;
    CursorMoveTick = now;
    if (!CursorShown) SetCursorShown(true);
    pnlNotify->setGeometry(0, height() - pnlNotify->height(), width(), pnlNotify->height());
    if (pnlNotify->geometry().contains(mapFromGlobal(cursor))) {
      pnlNotify->show();
      pnlNotify->raise();
    } else {
      pnlNotify->hide();
    }
    QString text = Title();
    if (text.isEmpty() && ThreadManager())
      text = QString::fromStdString(ThreadManager()->Receiver().GetStreamURL());
    if (text.isEmpty()) text = QString::fromLatin1(kPlayerTitle);
    pnlNotify->setText(text);
  } else if (CursorShown && now - CursorMoveTick >= kCursorHideMs) {
    SetCursorShown(false);
  }
}

}  // namespace ktv
