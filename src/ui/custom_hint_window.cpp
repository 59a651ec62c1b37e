#include "ui/custom_hint_window.h"

#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <memory>
#include <optional>

#include "ui/skin_look.h"
#include "ui/window_drag.h"

namespace ktv {

namespace {

// The fade timer's period; the opacity rises by one 255th per millisecond shown.
constexpr int kFadeTickMs = 10;
// How long a hint stays: long enough to read it.
constexpr int kHidePauseMs = 2500;
constexpr int kHidePauseMsPerCharacter = 40;
// The hint appears below the pointer, clear of the cursor picture.
constexpr int kCursorHeight = 20;

std::unique_ptr<TCustomHintWindow>& Installed() {
  static std::unique_ptr<TCustomHintWindow> window;
  return window;
}

std::optional<bool>& FadeOverride() {
  static std::optional<bool> available;
  return available;
}

QString FirstUpper(QString text) {
  if (!text.isEmpty()) text[0] = text[0].toUpper();
  return text;
}

}  // namespace

TCustomHintWindow::TCustomHintWindow() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFont(DesignFont("Tahoma", 8));
  Fade.setInterval(kFadeTickMs);
  connect(&Fade, &QTimer::timeout, this, &TCustomHintWindow::FadeStep);
  HidePause.setSingleShot(true);
  connect(&HidePause, &QTimer::timeout, this, &TCustomHintWindow::HideHint);
}

TCustomHintWindow::~TCustomHintWindow() {
  if (qApp) qApp->removeEventFilter(this);
}

TCustomHintWindow* TCustomHintWindow::Install() {
  if (!Installed()) {
    Installed() = std::make_unique<TCustomHintWindow>();
    qApp->installEventFilter(Installed().get());
    // The window goes before the application does.
    qAddPostRoutine([] { Installed().reset(); });
  }
  return Installed().get();
}

TCustomHintWindow* TCustomHintWindow::Instance() {
  return Installed().get();
}

bool TCustomHintWindow::FadeAvailable() {
  if (FadeOverride()) return *FadeOverride();
  // Platforms without real windows cannot make them translucent, nor can Wayland.
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal") &&
         WindowOpacityAvailable();
}

void TCustomHintWindow::SetFadeAvailable(bool available) {
  FadeOverride() = available;
}

void TCustomHintWindow::ActivateHint(const QString& text, QPoint globalPos, QWidget* owner) {
  Text = FirstUpper(text);
  Owner = owner;
  const QRect textBox = fontMetrics().boundingRect(QRect(0, 0, 0x7FFF, 0x7FFF), Qt::AlignLeft, Text);
  QRect box(globalPos, QSize(textBox.width() + 8, textBox.height() + 2));
  if (QScreen* area = QGuiApplication::screenAt(globalPos)) {
    const QRect screen = area->availableGeometry();
    box.moveRight(std::min(box.right(), screen.right()));
    box.moveLeft(std::max(box.left(), screen.left()));
    // No room below the pointer: above it.
    if (box.bottom() > screen.bottom()) box.moveBottom(globalPos.y() - kCursorHeight - 1);
  }
  setGeometry(box);
  Fade.stop();
  setWindowOpacity(FadeAvailable() ? 1.0 / 255 : 1.0);
  if (isVisible()) raise();
  show();
  update();
  if (FadeAvailable()) {
    ShownAt.start();
    Fade.start();
  }
  HidePause.start(kHidePauseMs + kHidePauseMsPerCharacter * static_cast<int>(Text.size()));
}

void TCustomHintWindow::HideHint() {
  Fade.stop();
  HidePause.stop();
  Owner = nullptr;
  hide();
}

void TCustomHintWindow::FadeStep() {
  const qint64 alpha = std::min<qint64>(ShownAt.elapsed(), 255);
  setWindowOpacity(static_cast<double>(alpha) / 255);
  if (alpha >= 255) Fade.stop();
}

void TCustomHintWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  painter.setPen(Qt::black);
  painter.drawText(QRect(4, 2, width() - 4, height() - 2), Qt::AlignLeft | Qt::AlignTop, Text);
  painter.drawRect(0, 0, width() - 1, height() - 1);
}

bool TCustomHintWindow::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget == this) return false;
  switch (event->type()) {
    case QEvent::ToolTip: {
      const QString hint = widget->toolTip();
      if (hint.isEmpty()) {
        if (Owner == widget) HideHint();
        return false;  // a parent's hint may answer
      }
      auto* help = static_cast<QHelpEvent*>(event);
      if (Owner != widget || !isVisible() || Text != FirstUpper(hint))
        ActivateHint(hint, help->globalPos() + QPoint(0, kCursorHeight), widget);
      return true;
    }
    case QEvent::Leave:
    case QEvent::Hide:
      if (Owner == widget) HideHint();
      break;
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress:
    case QEvent::Wheel:
      if (isVisible()) HideHint();
      break;
    default:
      break;
  }
  return false;
}

}  // namespace ktv
