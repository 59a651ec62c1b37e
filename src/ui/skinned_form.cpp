#include "ui/skinned_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "ui/application_signals.h"
#include "ui/caption_button.h"
#include "ui/command_events.h"
#include "ui/custom_hint_window.h"
#include "ui/kestrova_button.h"
#include "ui/skin_look.h"
#include "ui/window_drag.h"
#include "ui/window_menu.h"

namespace ktv {

namespace {

// Frame metrics, fixed where the design reads the system's: frame bands of a fixed and of a sizeable border,
// and the caption heights of normal and tool windows.
constexpr int kFixedFrame = 3;
constexpr int kSizingFrame = 4;
constexpr int kCaptionHeight = 19;
constexpr int kSmallCaptionHeight = 15;

// Caption colours: active, inactive (0x00BBGGRR).
constexpr uint32_t kActiveCaption = 0x000000, kActiveText = 0xFFFFFF;
constexpr uint32_t kInactiveCaption = 0x404040, kInactiveText = 0xC0C0C0;
constexpr uint32_t kOutline = 0x000000;

bool IsSizeable(tBorderStyle style) {
  return style == tBorderStyle::bsSizeable || style == tBorderStyle::bsSizeToolWin;
}

Qt::Edges EdgesOf(int hit) {
  switch (hit) {
    case HTLEFT:
      return Qt::LeftEdge;
    case HTRIGHT:
      return Qt::RightEdge;
    case HTTOP:
      return Qt::TopEdge;
    case HTBOTTOM:
      return Qt::BottomEdge;
    case HTTOPLEFT:
      return Qt::TopEdge | Qt::LeftEdge;
    case HTTOPRIGHT:
      return Qt::TopEdge | Qt::RightEdge;
    case HTBOTTOMLEFT:
      return Qt::BottomEdge | Qt::LeftEdge;
    case HTBOTTOMRIGHT:
      return Qt::BottomEdge | Qt::RightEdge;
    default:
      return {};
  }
}

Qt::CursorShape CursorOf(int hit) {
  switch (hit) {
    case HTLEFT:
    case HTRIGHT:
      return Qt::SizeHorCursor;
    case HTTOP:
    case HTBOTTOM:
      return Qt::SizeVerCursor;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
      return Qt::SizeFDiagCursor;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
      return Qt::SizeBDiagCursor;
    case HTCLOSE:
    case HTMAXBUTTON:
    case HTMINBUTTON:
    case HTSYSMENU:
      return Qt::PointingHandCursor;
    default:
      return Qt::ArrowCursor;
  }
}

int ElementOf(int hit) {
  switch (hit) {
    case HTCLOSE:
      return kCloseButton;
    case HTMINBUTTON:
      return kMinimizeButton;
    case HTMAXBUTTON:
      return kMaximizeButton;
    case HTSYSMENU:
      return kIconButton;
    default:
      return kNoButton;
  }
}

}  // namespace

tSkinnedForm::tSkinnedForm(QWidget* owner, tBorderStyle style, int borderIcons)
    : QWidget(owner), Style(style), Icons(borderIcons), Owner(owner), ClientArea(new QWidget(this)) {
  Qt::WindowFlags flags = Qt::FramelessWindowHint;
  const bool tool = style == tBorderStyle::bsToolWindow || style == tBorderStyle::bsSizeToolWin;
  flags |= tool ? Qt::Tool : (owner ? Qt::Dialog : Qt::Window);
  setWindowFlags(flags);
  setMouseTracking(true);
  setFont(DesignFont("Tahoma", 8));
  // Wherever the program's windows are, their hints come in the program's own look.
  TCustomHintWindow::Install();

  switch (style) {
    case tBorderStyle::bsNone:
      break;
    case tBorderStyle::bsSingle:
    case tBorderStyle::bsDialog:
    case tBorderStyle::bsToolWindow:
      Fx = Fy = kFixedFrame;
      break;
    case tBorderStyle::bsSizeable:
    case tBorderStyle::bsSizeToolWin:
      Fx = Fy = kSizingFrame;
      break;
  }
  if (style != tBorderStyle::bsNone) Ch = tool ? kSmallCaptionHeight : kCaptionHeight;
  const bool system = style != tBorderStyle::bsNone && (Icons & biSystemMenu);
  ShowClose = system;
  // Tool windows have only the close box, and dialog frames never have minimise and maximise.
  const bool boxes = system && !tool && style != tBorderStyle::bsDialog;
  ShowMax = boxes && (Icons & biMaximize);
  ShowMin = boxes && (Icons & biMinimize);
  ShowIcon = system && style == tBorderStyle::bsSingle;

  Drag = new tWindowDrag(this);
  // Dialogs have no sizing rules of their own beyond the frame: the window system may size them.
  Drag->SystemSizing = true;
  Drag->Constrain = [this](QSize proposed, Qt::Edges) {
    return proposed.expandedTo(QSize(2 * Fx + 1, Ch + 2 * Fy + 1));
  };
  const int items = (ShowMax ? TWindowMenu::wmRestore | TWindowMenu::wmMaximize : 0) |
                    (ShowMin ? TWindowMenu::wmMinimize : 0);
  SystemMenu = new TWindowMenu(this, this, items);
  // The menu offers no move or size: the caption and the bands do that.
  WindowActions.IsMaximized = [this] { return IsMaximized(); };
  WindowActions.ToggleMaximized = [this] { ToggleMaximized(); };
  WindowActions.Minimize = [] { tApplicationSignals::Instance().RequestMinimize(); };

  ClientArea->setAutoFillBackground(true);
  ClientArea->installEventFilter(this);
  SetColor(kDialogColor);
}

tSkinnedForm::~tSkinnedForm() = default;

void tSkinnedForm::SetClientSize(int w, int h) {
  const QSize size(w + 2 * Fx, h + Ch + 2 * Fy);
  if (IsSizeable(Style)) {
    resize(size);
  } else {
    setFixedSize(size);
  }
  LayOutFrame();  // a hidden widget hears of its size only when shown
}

void tSkinnedForm::SetColor(uint32_t color) {
  QPalette palette = ClientArea->palette();
  palette.setColor(QPalette::Window, WinColor(color));
  palette.setColor(QPalette::WindowText, Qt::white);
  ClientArea->setPalette(palette);
}

// ---------------------------------------------------------------------------------------------------------------
// Frame

void tSkinnedForm::LayOutFrame() {
  const int w = width();
  ClientArea->setGeometry(Fx, Ch + Fy, std::max(0, w - 2 * Fx), std::max(0, height() - Ch - 2 * Fy));
  CloseBox = MaxBox = MinBox = IconBox = QRect();
  if (Style == tBorderStyle::bsNone) return;
  int textStart = Fx;
  if (ShowIcon) {
    IconBox = QRect(QPoint(Fx, Fx), QPoint(Ch - 1, Ch - 1));
    textStart = Fx + Ch;
  }
  const int side = Ch - Fx;
  int x = w - Fx;
  for (auto [shown, box] : {std::pair{ShowClose, &CloseBox}, {ShowMax, &MaxBox}, {ShowMin, &MinBox}}) {
    if (!shown) continue;
    *box = QRect(x - side, Fx, side, side);
    x -= side + Fx;
  }
  TextBox = QRect(textStart, 0, std::max(0, x - 1 - textStart), Ch + Fx);
}

void tSkinnedForm::ComposeCaption() {
  if (Style == tBorderStyle::bsNone || width() <= 0) return;
  const bool active = isActiveWindow();
  // Composed at the screen's pixel density, so that the caption text stays crisp on dense screens.
  const qreal density = devicePixelRatioF();
  CaptionBitmap = QImage(QSize(width(), Ch + Fy) * density, QImage::Format_RGB32);
  CaptionBitmap.setDevicePixelRatio(density);
  CaptionBitmap.fill(WinRgb(active ? kActiveCaption : kInactiveCaption));
  QPainter painter(&CaptionBitmap);
  if (ShowIcon) {
    const QIcon icon = windowIcon().isNull() ? ApplicationIcon() : windowIcon();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // Drawn from the double-size picture so that the small one is smoothed.
    painter.drawPixmap(IconBox, icon.pixmap(QSize(2 * Ch, 2 * Ch)));
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  }
  DrawCaptionButton(painter, CloseBox, kCloseGlyph, kCloseButton);
  DrawCaptionButton(painter, MaxBox, kMaximizeGlyph, kMaximizeButton);
  DrawCaptionButton(painter, MinBox, kMinimizeGlyph, kMinimizeButton);

  painter.setFont(DesignFont("Arial", 10));
  painter.setPen(WinColor(active ? kActiveText : kInactiveText));
  const QString text = painter.fontMetrics().elidedText(windowTitle(), Qt::ElideRight, TextBox.width());
  painter.drawText(TextBox, Qt::AlignCenter | Qt::TextSingleLine, text);
}

void tSkinnedForm::DrawCaptionButton(QPainter& painter, const QRect& box, int glyph, int element) const {
  if (box.isEmpty()) return;
  const int state = (isActiveWindow() && Hover == element) ? (Pressed ? 2 : 1) : 0;
  // Pixel glyphs: enlarged without smoothing on dense screens.
  painter.drawImage(box, CaptionButtonPicture(box.width(), glyph, state, IsMaximized()));
}

void tSkinnedForm::paintEvent(QPaintEvent*) {
  if (Style == tBorderStyle::bsNone || isMinimized()) return;
  if (CaptionBitmap.deviceIndependentSize().toSize().width() != width() ||
      CaptionBitmap.devicePixelRatio() != devicePixelRatioF())
    ComposeCaption();
  QPainter painter(this);
  const int w = width(), h = height();
  const QColor band = WinColor(isActiveWindow() ? kActiveCaption : kInactiveCaption);
  painter.fillRect(0, 0, 1, h, WinColor(kOutline));
  painter.fillRect(0, h - 1, w, 1, WinColor(kOutline));
  painter.fillRect(w - 1, 0, 1, h, WinColor(kOutline));
  painter.fillRect(1, 0, Fx - 1, h - 1, band);
  painter.fillRect(1, h - Fy, w - 2, Fy - 1, band);
  painter.fillRect(w - Fx, 0, Fx - 1, h - 1, band);
  painter.drawImage(0, 0, CaptionBitmap);
}

void tSkinnedForm::resizeEvent(QResizeEvent*) {
  LayOutFrame();
  ComposeCaption();
}

int tSkinnedForm::HitTest(QPoint point) const {
  if (!rect().contains(point)) return HTNOWHERE;
  if (Style == tBorderStyle::bsNone) return HTCLIENT;
  if (CloseBox.contains(point)) return HTCLOSE;
  if (MaxBox.contains(point)) return HTMAXBUTTON;
  if (MinBox.contains(point)) return HTMINBUTTON;
  if (IconBox.contains(point)) return HTSYSMENU;
  const int w = width(), h = height(), x = point.x(), y = point.y();
  const bool left = x < Fx, right = x >= w - Fx, top = y < Fy, bottom = y >= h - Fy;
  if (left || right || top || bottom) {
    if (!IsSizeable(Style) || IsMaximized())
      return y < Ch + Fy && !bottom && !left && !right ? HTCAPTION : HTBORDER;
    // The corners reach as far along the edges as the caption is high.
    const int corner = Ch + Fy;
    const bool nearTop = y < corner, nearBottom = y >= h - corner;
    const bool nearLeft = x < corner, nearRight = x >= w - corner;
    if ((top && nearLeft) || (left && nearTop)) return HTTOPLEFT;
    if ((top && nearRight) || (right && nearTop)) return HTTOPRIGHT;
    if ((bottom && nearLeft) || (left && nearBottom)) return HTBOTTOMLEFT;
    if ((bottom && nearRight) || (right && nearBottom)) return HTBOTTOMRIGHT;
    return left ? HTLEFT : right ? HTRIGHT : top ? HTTOP : HTBOTTOM;
  }
  return y < Ch + Fy ? HTCAPTION : HTCLIENT;
}

void tSkinnedForm::SetHover(int element) {
  if (element == Hover) return;
  Hover = element;
  ComposeCaption();
  update(0, 0, width(), Ch + Fy);
}

// ---------------------------------------------------------------------------------------------------------------
// Mouse on the frame

void tSkinnedForm::mouseMoveEvent(QMouseEvent* event) {
  if (Drag->Active()) return;  // the drag places the window
  // While the button is held the element pressed stays the hovered one, wherever the pointer goes.
  if (Pressed) return;
  const int hit = HitTest(event->position().toPoint());
  setCursor(CursorOf(IsSizeable(Style) || hit < HTLEFT || hit > HTBOTTOMRIGHT ? hit : HTBORDER));
  SetHover(ElementOf(hit));
}

void tSkinnedForm::mousePressEvent(QMouseEvent* event) {
  const int hit = HitTest(event->position().toPoint());
  if (hit == HTCLIENT || hit == HTNOWHERE) {
    event->ignore();
    return;
  }
  if (event->button() == Qt::RightButton) {
    if (hit == HTCAPTION) SystemMenu->PopupAt(event->globalPosition().toPoint(), IsMaximized());
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  switch (hit) {
    case HTCLOSE:
    case HTMAXBUTTON:
    case HTMINBUTTON:
      SetHover(ElementOf(hit));
      Pressed = true;
      ComposeCaption();
      update(0, 0, width(), Ch + Fy);
      break;
    case HTSYSMENU:
      SystemMenu->PopupAt(mapToGlobal(IconBox.bottomLeft() + QPoint(0, 1 + Fy)), IsMaximized());
      break;
    case HTBORDER:
      break;
    default:
      BeginDrag(hit, event->globalPosition().toPoint());
      break;
  }
}

void tSkinnedForm::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !Pressed) return;
  Pressed = false;
  const int element = Hover;
  ComposeCaption();
  update(0, 0, width(), Ch + Fy);
  switch (element) {
    case kCloseButton:
      close();
      break;
    case kMinimizeButton:
      tApplicationSignals::Instance().RequestMinimize();
      break;
    case kMaximizeButton:
      ToggleMaximized();
      break;
    default:
      break;
  }
}

void tSkinnedForm::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const int hit = HitTest(event->position().toPoint());
  if (hit == HTSYSMENU) close();
  if (hit == HTCAPTION && ShowMax) ToggleMaximized();
}

void tSkinnedForm::leaveEvent(QEvent*) {
  if (!Pressed) SetHover(kNoButton);
}

void tSkinnedForm::BeginDrag(int hit, QPoint globalPos) {
  if (hit == HTCAPTION) {
    if (!IsMaximized()) Drag->Begin({}, globalPos);
  } else if (IsSizeable(Style)) {
    Drag->Begin(EdgesOf(hit), globalPos);
  }
}

void tSkinnedForm::ToggleMaximized() {
  QScreen* area = screen();
  if (!ShowMax || !area) return;
  Drag->Stop();
  setGeometry(Maximize.Toggle(geometry(), area->availableGeometry()));
  ComposeCaption();
  update();
}

// ---------------------------------------------------------------------------------------------------------------
// Events, keys, modal showing

bool tSkinnedForm::event(QEvent* event) {
  if (event->type() == tSysCommandEvent::EventType()) {
    const auto* command = static_cast<tSysCommandEvent*>(event);
    RunSysCommand(*this, WindowActions, command->Command, command->Pos);
    return true;
  }
  if (event->type() == QEvent::WindowIconChange) ComposeCaption();
  return QWidget::event(event);
}

bool tSkinnedForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ClientArea && event->type() == QEvent::Enter && !Pressed && !Drag->Active()) {
    SetHover(kNoButton);
    unsetCursor();
  }
  if (KeyPreview && event->type() == QEvent::KeyPress) {
    // Application-wide filter: take the key once, at its first stop (the focused control of this form).
    QWidget* focus = QApplication::focusWidget();
    auto* widget = qobject_cast<QWidget*>(watched);
    const bool first = watched == focus || watched == this;
    if (widget && first && widget->window() == this && PreviewKeyPress(static_cast<QKeyEvent*>(event)))
      return true;
  }
  return QWidget::eventFilter(watched, event);
}

void tSkinnedForm::SetKeyPreview(bool on) {
  if (on == KeyPreview) return;
  KeyPreview = on;
  if (on) {
    qApp->installEventFilter(this);
  } else {
    qApp->removeEventFilter(this);
  }
}

void tSkinnedForm::changeEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::ActivationChange:
      Hover = kNoButton;
      Pressed = false;
      [[fallthrough]];
    case QEvent::WindowTitleChange:
    case QEvent::WindowStateChange:
      ComposeCaption();
      update();
      break;
    default:
      break;
  }
  QWidget::changeEvent(event);
}

void tSkinnedForm::showEvent(QShowEvent* event) {
  if (!Centred && !testAttribute(Qt::WA_Moved)) {
    Centred = true;
    QWidget* owner = Owner ? Owner->window() : nullptr;
    QScreen* area = owner ? owner->screen() : screen();
    QRect bounds = owner && owner->isVisible() ? owner->frameGeometry() : area->availableGeometry();
    QRect r(QPoint(0, 0), size());
    r.moveCenter(bounds.center());
    // Kept on the screen, its caption first.
    const QRect available = area->availableGeometry();
    r.moveLeft(std::max(available.left(), std::min(r.left(), available.right() + 1 - r.width())));
    r.moveTop(std::max(available.top(), std::min(r.top(), available.bottom() + 1 - r.height())));
    move(r.topLeft());
  }
  QWidget::showEvent(event);
}

void tSkinnedForm::closeEvent(QCloseEvent* event) {
  if (!CanClose()) {
    event->ignore();
    return;
  }
  event->accept();
  if (ModalShowing) {
    ModalShowing = false;
    if (Result == mrNone) Result = mrCancel;
    emit Finished(Result);
  }
}

bool tSkinnedForm::DialogKey(QKeyEvent* event) {
  const Qt::KeyboardModifiers shifts =
      event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  const int key = event->key();
  for (TKestrovaButton* button : findChildren<TKestrovaButton*>()) {
    if (!button->isVisibleTo(this) || !button->isEnabled()) continue;
    const bool enter = (key == Qt::Key_Return || key == Qt::Key_Enter) && !shifts && button->IsActive();
    const bool escape = key == Qt::Key_Escape && !shifts && button->Cancel();
    const bool accelerator = !(shifts & ~Qt::AltModifier) && button->IsAccelerator(event->text());
    if (enter || escape || accelerator) {
      button->click();
      return true;
    }
  }
  return false;
}

void tSkinnedForm::keyPressEvent(QKeyEvent* event) {
  // Keys no control took: Enter for the active button, Escape for a Cancel one, accelerator characters.
  if (DialogKey(event)) return;
  QWidget::keyPressEvent(event);
}

void tSkinnedForm::SetModalResult(int result) {
  Result = result;
  // Like a click's other handlers, the close waits until the current event is done.
  if (result != mrNone && ModalShowing) QTimer::singleShot(0, this, &tSkinnedForm::CheckModalClose);
}

void tSkinnedForm::CheckModalClose() {
  if (!ModalShowing || Result == mrNone) return;
  if (!close()) Result = mrNone;
}

void tSkinnedForm::Open() {
  Result = mrNone;
  if (isVisible() && windowModality() != Qt::ApplicationModal) hide();
  setWindowModality(Qt::ApplicationModal);
  ModalShowing = true;
  if (isVisible()) raise();  // a window being mapped comes up on top anyway
  show();
  activateWindow();
}

int tSkinnedForm::ShowModal() {
  QPointer<tSkinnedForm> self(this);
  QEventLoop loop;
  connect(this, &tSkinnedForm::Finished, &loop, &QEventLoop::quit);
  Open();
  if (ModalShowing) loop.exec(QEventLoop::DialogExec);
  return self ? Result : mrCancel;
}

}  // namespace ktv
