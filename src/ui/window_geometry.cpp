#include "ui/window_geometry.h"

#include <algorithm>
#include <cmath>

namespace ktv {

namespace {

// Rounds to the nearest integer, halves to even.
int Nearest(double value) {
  return static_cast<int>(std::nearbyint(value));
}

}  // namespace

QSize ClientSizeForPicture(int w, int h, int insetX, int insetY) {
  const int scale = (w >= kOwnSizeWidth || h >= kOwnSizeHeight) ? 1 : 2;
  return {scale * w + 2 * insetX, scale * h + 2 * insetY};
}

QSize FitPictureSize(QSize client, QSize bounds, int insetX, int insetY) {
  if (client.width() <= bounds.width() && client.height() <= bounds.height()) return client;
  const double pictureW = client.width() - 2.0 * insetX, pictureH = client.height() - 2.0 * insetY;
  if (!(pictureW > 0) || !(pictureH > 0)) return client.boundedTo(bounds);
  const double scale =
      std::min((bounds.width() - 2.0 * insetX) / pictureW, (bounds.height() - 2.0 * insetY) / pictureH);
  if (!(scale > 0)) return client.boundedTo(bounds);
  return {static_cast<int>(std::floor(pictureW * scale)) + 2 * insetX,
          static_cast<int>(std::floor(pictureH * scale)) + 2 * insetY};
}

QRect PlaceInArea(QSize size, QPoint centre, const QRect& area) {
  size = size.boundedTo(area.size());
  QRect bounds(QPoint(centre.x() - size.width() / 2, centre.y() - size.height() / 2), size);
  bounds.moveLeft(std::max(bounds.left(), area.left()));
  bounds.moveTop(std::max(bounds.top(), area.top()));
  if (bounds.right() > area.right()) bounds.moveRight(area.right());
  if (bounds.bottom() > area.bottom()) bounds.moveBottom(area.bottom());
  return bounds;
}

double PictureRatio(int frameWidth, int frameHeight, double pixelAspect) {
  if (frameWidth <= 0 || frameHeight <= 0 || !std::isfinite(pixelAspect) || pixelAspect <= 0) return 0;
  const double width = std::trunc(pixelAspect * frameWidth);
  // A pixel aspect that shrinks the picture to nothing gives no ratio rather than a division by zero.
  if (width < 1 || width > 1e6) return 0;
  return frameHeight / width;
}

QSize KeepAspect(QSize proposed, double ratio, QSize minimum, bool dragByWidth) {
  if (!(ratio > 0)) return proposed;
  int w = Nearest(proposed.height() / ratio);
  int h = Nearest(proposed.width() * ratio);
  if (w < minimum.width()) {
    w = minimum.width();
    h = Nearest(minimum.width() * ratio);
  }
  if (h < minimum.height()) {
    h = minimum.height();
    w = Nearest(minimum.height() / ratio);
  }
  return dragByWidth ? QSize(proposed.width(), h) : QSize(w, proposed.height());
}

bool DragSizesByWidth(Qt::Edges edges) {
  return edges != Qt::TopEdge && edges != Qt::BottomEdge;
}

QRect tMaximizer::Toggle(const QRect& current, const QRect& area) {
  if (Maximized) {
    Maximized = false;
    return RestoreBounds;
  }
  RestoreBounds = current;
  Maximized = true;
  return area;
}

QRect FitPicture(QSize client, double ratio) {
  if (!(ratio > 0)) return QRect(QPoint(0, 0), client);
  int height = client.height();
  int width = static_cast<int>(std::trunc(height / ratio));
  if (width > client.width()) {
    width = client.width();
    height = static_cast<int>(std::trunc(width * ratio));
  }
  return {(client.width() - width) / 2, (client.height() - height) / 2, width, height};
}

}  // namespace ktv
