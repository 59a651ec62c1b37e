#include "ui/image_list.h"

#include <QPainter>

namespace ktv {

namespace {

// A disabled image: grey levels, lightened, keeping its transparency.
QImage Greyed(const QImage& image) {
  QImage grey = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < grey.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(grey.scanLine(y));
    for (int x = 0; x < grey.width(); ++x) {
      const int level = 128 + qGray(row[x]) / 2;
      row[x] = qRgba(level, level, level, qAlpha(row[x]));
    }
  }
  return grey;
}

}  // namespace

TImageList::TImageList(const QImage& strip, int width) {
  if (strip.isNull() || width <= 0) return;
  ImageWidth = width;
  ImageHeight = strip.height();
  for (int x = 0; x + width <= strip.width(); x += width)
    Images.push_back(strip.copy(x, 0, width, ImageHeight));
}

void TImageList::Draw(QPainter& painter, QPoint at, int index, bool enabled) const {
  if (index < 0 || index >= Count()) return;
  const QImage& image = Images[static_cast<size_t>(index)];
  painter.drawImage(at, enabled ? image : Greyed(image));
}

}  // namespace ktv
