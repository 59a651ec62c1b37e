// The base of every dialog: a frameless window that paints its own caption strip, frame bands and outline
// and its close, maximise and minimise buttons, hit-tests them itself, and moves and sizes itself from the
// caption and the bands. Children go on Client(), laid out in client coordinates as the designs give them.
//
// Modal use: ShowModal() blocks until the form closes and returns its modal result; Open() shows the form
// application-modal without blocking and reports the result through Finished (the main window's screenshot
// mode uses that). Setting ModalResult while the form is shown either way closes it, unless CanClose refuses.
//
// Thread contract: main thread only.
#pragma once

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>

#include "ui/window_geometry.h"
#include "ui/window_menu.h"

class QPainter;

namespace ktv {

class tWindowDrag;

enum class tBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

// Border icons (combine with |).
enum : int { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };

// Hit-test results, numbered as the window system numbers them.
enum : int {
  HTNOWHERE = 0,
  HTCLIENT = 1,
  HTCAPTION = 2,
  HTSYSMENU = 3,
  HTMINBUTTON = 8,
  HTMAXBUTTON = 9,
  HTLEFT = 10,
  HTRIGHT = 11,
  HTTOP = 12,
  HTTOPLEFT = 13,
  HTTOPRIGHT = 14,
  HTBOTTOM = 15,
  HTBOTTOMLEFT = 16,
  HTBOTTOMRIGHT = 17,
  HTBORDER = 18,
  HTCLOSE = 20,
};

// Modal results.
enum : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7
};

// Caption elements, as HoverButton numbers them.
enum : int { kNoButton = -1, kCloseButton = 0, kMinimizeButton = 1, kMaximizeButton = 2, kIconButton = 3 };

class tSkinnedForm : public QWidget {
  Q_OBJECT

 public:
  // owner: the window the form is centred on and stays above (null: centred on the screen).
  tSkinnedForm(QWidget* owner, tBorderStyle style, int borderIcons);
  ~tSkinnedForm() override;

  // The client area: every child of a dialog is placed here.
  QWidget* Client() const { return ClientArea; }
  // Sizes the window so that its client area is w x h.
  void SetClientSize(int w, int h);
  // The background colour of the client area (0x00BBGGRR).
  void SetColor(uint32_t color);

  tBorderStyle BorderStyle() const { return Style; }
  int FrameX() const { return Fx; }
  int FrameY() const { return Fy; }
  int CaptionHeight() const { return Ch; }
  // The caption elements in window coordinates (empty when not shown).
  QRect CloseRect() const { return CloseBox; }
  QRect MaxRect() const { return MaxBox; }
  QRect MinRect() const { return MinBox; }
  QRect IconRect() const { return IconBox; }
  // What lies under a point in window coordinates (HTCLIENT, HTCAPTION, HTCLOSE, ...).
  int HitTest(QPoint point) const;
  int HoverButton() const { return Hover; }
  bool ButtonPressed() const { return Pressed; }

  int ModalResult() const { return Result; }
  void SetModalResult(int result);
  int ShowModal();
  void Open();
  bool IsShowingModal() const { return ModalShowing; }

  // Our own maximised state (no window manager needed): the form covers its screen's available area.
  bool IsMaximized() const { return Maximize.IsMaximized(); }
  void ToggleMaximized();

  // Key preview: PreviewKeyPress sees every key pressed in the form before the focused control does.
  void SetKeyPreview(bool on);

  // The window menu of the caption (right click, the icon).
  TWindowMenu* WindowMenu() const { return SystemMenu; }

 signals:
  // The form closed after ShowModal or Open, with its modal result.
  void Finished(int result);

 protected:
  // Close query: false keeps the form open.
  virtual bool CanClose() { return true; }
  // Key preview: true when the key was handled (the focused control then does not see it).
  virtual bool PreviewKeyPress(QKeyEvent*) { return false; }

  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void LayOutFrame();
  void ComposeCaption();
  void DrawCaptionButton(QPainter& painter, const QRect& box, int glyph, int element) const;
  void SetHover(int element);
  bool DialogKey(QKeyEvent* event);
  void BeginDrag(int hit, QPoint globalPos);
  void CheckModalClose();

  tBorderStyle Style;
  int Icons;
  QPointer<QWidget> Owner;
  QWidget* ClientArea;
  int Fx = 0, Fy = 0, Ch = 0;
  bool ShowClose = false, ShowMax = false, ShowMin = false, ShowIcon = false;
  QRect CloseBox, MaxBox, MinBox, IconBox, TextBox;

  int Hover = kNoButton;
  bool Pressed = false;
  QImage CaptionBitmap;  // Width x (caption + frame), redrawn when its state changes

  int Result = mrNone;
  bool ModalShowing = false;
  bool Centred = false;
  tMaximizer Maximize;
  bool KeyPreview = false;
  tWindowDrag* Drag;             // child object
  TWindowMenu* SystemMenu;       // child widget
  tWindowActions WindowActions;  // what the window menu acts on
};

}  // namespace ktv
