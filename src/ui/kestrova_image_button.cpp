#include "ui/kestrova_image_button.h"

#include <QPainter>
#include <algorithm>

namespace ktv {

TKestrovaImageButton::TKestrovaImageButton(QWidget* parent) : QAbstractButton(parent) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::NoFocus);
  // isDown follows the held button in and out of the control; each change repaints.
  connect(this, &QAbstractButton::pressed, this, qOverload<>(&QWidget::update));
  connect(this, &QAbstractButton::released, this, qOverload<>(&QWidget::update));
}

void TKestrovaImageButton::SetImageList(const TImageList* images) {
  Images = images;
  if (Images) resize(Images->Width(), Images->Height());
  update();
}

void TKestrovaImageButton::SetImageIndex(int index) {
  Index = index;
  update();
}

void TKestrovaImageButton::SetNumGlyphs(int count) {
  Glyphs = count;
  update();
}

int TKestrovaImageButton::ShownImage() const {
  const int state = Hover ? (isDown() ? 2 : 1) : 0;
  return Index + std::min(state, std::max(Glyphs - 1, 0));
}

void TKestrovaImageButton::paintEvent(QPaintEvent*) {
  if (!Images) return;
  QPainter painter(this);
  Images->Draw(painter, QPoint(0, 0), ShownImage());
}

void TKestrovaImageButton::enterEvent(QEnterEvent* event) {
  Hover = true;
  update();
  QAbstractButton::enterEvent(event);
}

void TKestrovaImageButton::leaveEvent(QEvent* event) {
  Hover = false;
  update();
  QAbstractButton::leaveEvent(event);
}

}  // namespace ktv
