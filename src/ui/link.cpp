#include "ui/link.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

#include "ui/skin_look.h"

namespace ktv {

namespace {
constexpr uint32_t kLinkColor = 0xFF0000;

// The page a target stands for, as the browser would be asked for it ("www.x.org" is an http page).
QUrl TargetPage(const QString& target) {
  return QUrl::fromUserInput(target);
}

bool IsWebPage(const QUrl& url) {
  const QString scheme = url.scheme().toLower();
  return url.isValid() && !url.host().isEmpty() && (scheme == "http" || scheme == "https");
}
}  // namespace

TLink::TLink(QWidget* parent, const QString& caption, const QString& url)
    : QLabel(caption, parent), Target(url) {
  setTextFormat(Qt::PlainText);
  setFont(DesignFont("Tahoma", 8));
  SetFontColor(WinColor(kLinkColor));
  UpdateLook();
}

void TLink::SetURL(const QString& url) {
  Target = url;
  UpdateLook();
}

void TLink::SetURL_Caption(const QString& caption) {
  setText(caption);
  UpdateLook();
}

bool TLink::Opens() const {
  const QString target = OpenTarget();
  return !target.isEmpty() && IsWebPage(TargetPage(target));
}

void TLink::UpdateLook() {
  // A link with nothing to open yet keeps its look: its address usually follows.
  const bool looksLikeLink = OpenTarget().isEmpty() || Opens();
  QFont shown = font();
  shown.setUnderline(looksLikeLink);
  setFont(shown);
  setCursor(looksLikeLink ? Qt::PointingHandCursor : Qt::ArrowCursor);
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
  // Text that only names another scheme is no link: no press, no Clicked.
  if (!OpenTarget().isEmpty() && !Opens()) return QLabel::mousePressEvent(event);
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
  // Checked again: the address may have changed while the button was held.
  if (Opens()) QDesktopServices::openUrl(TargetPage(OpenTarget()));
}

}  // namespace ktv
