#include "ui/kestrova_panel.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/skin_look.h"

namespace ktv {

namespace {

// The text of disabled children.
constexpr uint32_t kGrayText = 0x808080;
// The title's distance from the strip's left end.
constexpr int kTitleIndent = 5;

// The strip paints itself: black, the title in white bold.
class tTitleStrip : public QWidget {
 public:
  tTitleStrip(QWidget* parent, const QString* text) : QWidget(parent), Text(text) {
    setFont(DesignFont("Tahoma", 8, true));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setPen(Qt::white);
    const QRect box = rect().adjusted(kTitleIndent, 0, -kTitleIndent, 0);
    const QString shown = fontMetrics().elidedText(*Text, Qt::ElideRight, box.width());
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
  }

 private:
  const QString* Text;
};

}  // namespace

TKestrovaPanel::TKestrovaPanel(QWidget* parent, const QString& title)
    : QWidget(parent), Strip(new tTitleStrip(this, &TitleText)) {
  QPalette colors = palette();
  for (auto role : {QPalette::Window, QPalette::Base}) colors.setColor(role, Qt::white);
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    colors.setColor(role, Qt::black);
    colors.setColor(QPalette::Disabled, role, WinColor(kGrayText));
  }
  setPalette(colors);
  setAutoFillBackground(true);
  Strip->installEventFilter(this);
  Strip->setMouseTracking(true);
  SetTitle(title);
}

void TKestrovaPanel::SetTitle(const QString& title) {
  TitleText = title;
  PlaceStrip();
  Strip->update();
}

void TKestrovaPanel::SetTitleCursor(const QCursor& cursor) {
  Strip->setCursor(cursor);
}

void TKestrovaPanel::SetBorderWidth(int width) {
  Border = width;
}

QRect TKestrovaPanel::ContentRect() const {
  QRect inside = rect().adjusted(Border, Border, -Border, -Border);
  if (!TitleText.isEmpty()) inside.setTop(kTitleHeight + Border);
  return inside;
}

void TKestrovaPanel::PlaceStrip() {
  // Without a title the strip moves out of sight above the panel.
  const bool shown = !TitleText.isEmpty();
  Strip->setGeometry(0, shown ? 0 : -kTitleHeight, width(), kTitleHeight);
  Strip->setVisible(shown);
}

void TKestrovaPanel::resizeEvent(QResizeEvent*) {
  PlaceStrip();
}

void TKestrovaPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(Qt::black);
  painter.drawRect(0, 0, width() - 1, height() - 1);
}

bool TKestrovaPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched != Strip) return QWidget::eventFilter(watched, event);
  auto* mouse = static_cast<QMouseEvent*>(event);
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      StripPressed = mouse->button() == Qt::LeftButton;
      emit TitleMouseDown(mouse);
      return true;
    case QEvent::MouseMove:
      emit TitleMouseMove(mouse);
      return true;
    case QEvent::MouseButtonRelease: {
      emit TitleMouseUp(mouse);
      const bool click = StripPressed && mouse->button() == Qt::LeftButton &&
                         Strip->rect().contains(mouse->position().toPoint());
      StripPressed = false;
      if (click) emit TitleClick();
      return true;
    }
    default:
      return QWidget::eventFilter(watched, event);
  }
}

}  // namespace ktv
