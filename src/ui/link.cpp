#include "ui/link.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

#include "ui/skin_look.h"

namespace ktv {

namespace {
constexpr uint32_t kLinkColor = 0xFF0000;
}  // namespace

TLink::TLink(QWidget* parent, const QString& caption, const QString& url)
    : QLabel(caption, parent), Target(url) {
  setTextFormat(Qt::PlainText);
  setCursor(Qt::PointingHandCursor);
  QFont underlined = DesignFont("Tahoma", 8);
  underlined.setUnderline(true);
  setFont(underlined);
  SetFontColor(WinColor(kLinkColor));
}

void TLink::SetFontColor(const QColor& color) {
  QPalette colors = palette();
  colors.setColor(QPalette::WindowText, color);
  setPalette(colors);
}

QString TLink::OpenTarget() const {
  const QString url = Target.trimmed();
  return url.isEmpty() ? text().trimmed() : url;
}

void TLink::mousePressEvent(QMouseEvent* event) {
  Held = true;
  SavedColor = palette().color(QPalette::WindowText);
  SetFontColor(WinColor(ActiveColor));
  event->accept();
}

void TLink::mouseReleaseEvent(QMouseEvent* event) {
  if (!Held) return;
  Held = false;
  SetFontColor(SavedColor);
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
  emit Clicked();
  const QString target = OpenTarget();
  if (!target.isEmpty()) QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

}  // namespace ktv
