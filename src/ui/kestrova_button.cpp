#include "ui/kestrova_button.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>

#include "ui/skin_look.h"
#include "ui/skinned_form.h"

namespace ktv {

namespace {

// Face, text and outline colours (0x00BBGGRR).
constexpr uint32_t kDisabledFace = 0xC0C0C0, kDisabledText = 0xFFFFFF, kDisabledOutline = 0xE8E8E8;
constexpr uint32_t kNormalFace = 0xC63C3C, kNormalText = 0xE8E8E8;
constexpr uint32_t kHoverFace = 0xCE5959, kHoverText = 0xFFFFFF;
constexpr uint32_t kPressedFace = 0xDF6767, kPressedText = 0xFFFFFF;
constexpr uint32_t kOutline = 0x9E1919;
// Room between the edge, the image and the caption.
constexpr int kInset = 2;

}  // namespace

TKestrovaButton::TKestrovaButton(QWidget* parent, const QString& caption) : QAbstractButton(parent) {
  setFont(DesignFont("Tahoma", 8));
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setText(caption);
  // Connected first, so the modal result is set before any other click handler runs.
  connect(this, &QAbstractButton::clicked, this, [this] {
    if (auto* form = qobject_cast<tSkinnedForm*>(window()); form && Result != 0) form->SetModalResult(Result);
  });
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FocusChanged(now); });
}

void TKestrovaButton::SetDefault(bool isDefault) {
  IsDefault = isDefault;
  QWidget* focus = QApplication::focusWidget();
  if (focus && focus->window() == window()) {
    FocusChanged(focus);
  } else {
    Active = isDefault;  // the form has no focus yet: as at its creation
  }
}

void TKestrovaButton::FocusChanged(QWidget* now) {
  if (!now || now->window() != window()) return;
  Active = now == this || (IsDefault && !qobject_cast<TKestrovaButton*>(now));
}

void TKestrovaButton::SetImageList(const TImageList* images) {
  Images = images;
  update();
}

void TKestrovaButton::SetImageIndex(int index) {
  Index = index;
  update();
}

void TKestrovaButton::SetLayout(tButtonImagePosition position) {
  Position = position;
  update();
}

void TKestrovaButton::SetTextAlignment(Qt::Alignment alignment) {
  Alignment = alignment;
  update();
}

bool TKestrovaButton::IsAccelerator(const QString& typed) const {
  if (typed.size() != 1 || !typed[0].isPrint()) return false;
  const QString caption = text();
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return caption[i + 1].toUpper() == typed[0].toUpper();
  }
  return false;
}

QSize TKestrovaButton::sizeHint() const {
  const int image = Images && Index >= 0 && Index < Images->Count() ? Images->Width() + kInset : 0;
  QString caption = text();
  caption.remove('&');
  return QSize(fontMetrics().horizontalAdvance(caption) + image + 6 * kInset, 25);
}

void TKestrovaButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const bool enabled = isEnabled();
  const bool pressed = isDown();  // the mouse held over it, or Space held
  uint32_t face = kNormalFace, textColor = kNormalText;
  if (!enabled) {
    face = kDisabledFace, textColor = kDisabledText;
  } else if (pressed) {
    face = kPressedFace, textColor = kPressedText;
  } else if (Hover || SpaceDown) {
    face = kHoverFace, textColor = kHoverText;
  }
  const int w = width(), h = height();
  painter.fillRect(rect(), WinColor(enabled ? kOutline : kDisabledOutline));
  painter.fillRect(1, 1, w - 2, h - 2, WinColor(face));

  QRect content = rect();
  if (pressed) content.translate(1, 1);
  content.adjust(kInset, kInset, -kInset, -kInset);
  if (Images && Index >= 0 && Index < Images->Count()) {
    const int iw = Images->Width();
    int x = kInset;
    if (Position == tButtonImagePosition::bipRight) {
      content.setRight(content.right() - (iw + kInset));
      x = w - (iw + kInset);
    } else {
      content.setLeft(content.left() + iw + kInset);
    }
    int y = h / 2 - Images->Height() / 2;
    if (pressed) ++x, ++y;
    Images->Draw(painter, QPoint(x, y), Index, enabled);
  }

  painter.setPen(WinColor(textColor));
  const QString caption =
      painter.fontMetrics().elidedText(text(), Qt::ElideRight, content.width(), Qt::TextShowMnemonic);
  painter.drawText(content,
                   static_cast<int>(Alignment) | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic,
                   caption);

  if (hasFocus()) {
    painter.setPen(QPen(WinColor(textColor), 1, Qt::DotLine));
    painter.drawRect(2, 2, w - 5, h - 5);
  }
}

void TKestrovaButton::enterEvent(QEnterEvent* event) {
  Hover = true;
  update();
  QAbstractButton::enterEvent(event);
}

void TKestrovaButton::leaveEvent(QEvent* event) {
  Hover = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void TKestrovaButton::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) SpaceDown = true;
  QAbstractButton::keyPressEvent(event);
}

void TKestrovaButton::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) SpaceDown = false;
  QAbstractButton::keyReleaseEvent(event);
}

void TKestrovaButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QAbstractButton::changeEvent(event);
}

}  // namespace ktv
