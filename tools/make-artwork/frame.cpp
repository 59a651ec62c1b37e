// The television frame: one top-left corner that the player mirrors into the four corners and whose inner
// strips it stretches into the four edges. The picture sits inset by 6 and 5 pixels, so the bezel is exactly
// that thick along the edges and grows toward the corners, where the tube's rounder corner meets the
// cabinet's tighter one. Beyond the corner, every column (and every row) is the same, so stretching it
// leaves no seam.
#include <QPainterPath>
#include <cmath>
#include <utility>

#include "canvas.h"
#include "pictures.h"

namespace artwork {
namespace {

const QSize kFrameSize(64, 56);
// The panel's picture inset with the border on; the opaque bezel covers exactly this band.
constexpr qreal kBezelX = 6;
constexpr qreal kBezelY = 5;
constexpr qreal kCabinetRadius = 24;
// Rounder than the cabinet, as a picture tube is: the bezel thickens toward the corners.
constexpr qreal kScreenRadius = 34;
// The glass lies in a recess whose soft shadow falls over the picture's edge.
constexpr qreal kShadowDepth = 7;
constexpr int kShadowAlpha = 180;
// The back-ends stretch column 48 (and row 41) onward into the edges; the corner's curves end before this
// column and row, and everything beyond is copied from them so the strips are exactly uniform.
constexpr int kStraightX = 44;
constexpr int kStraightY = 40;

// The dark edge the cabinet's outline is smoothed against (the window shape cuts the rest away).
const QColor kOutline(10, 11, 14);
// The empty screen: dark glass with a cool tint.
const QColor kGlass(21, 26, 30);

// A rounded rectangle reaching far to the right and down, so only its top-left corner is in view.
QPainterPath Corner(qreal left, qreal top, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(QRectF(left, top, 1000, 1000), radius, radius);
  return path;
}

// The bezel's cross-section from the cabinet's outer edge (0) to the lip around the glass (1), in bands of
// about one pixel along the edges: a dark outline that keeps the set's silhouette crisp on any desktop, a
// bright rim catching the light, the black lacquer, a chamfer, and the dark lip before the glass.
QColor Bezel(qreal t) {
  return Sample({{0.00, QColor(16, 17, 20)},
                 {0.17, QColor(30, 32, 37)},
                 {0.22, QColor(176, 182, 194)},
                 {0.36, QColor(120, 126, 138)},
                 {0.42, QColor(60, 63, 72)},
                 {0.60, QColor(26, 28, 33)},
                 {0.76, QColor(18, 19, 23)},
                 {0.82, QColor(74, 78, 88)},
                 {0.92, QColor(46, 49, 56)},
                 {1.00, QColor(6, 6, 8)}},
                t);
}

// The recess shadow's opacity at a depth (pixels) inside the glass.
qreal ShadowAlpha(qreal depth) {
  const qreal t = std::clamp(1 - depth / kShadowDepth, 0.0, 1.0);
  return kShadowAlpha * std::pow(t, 1.7);
}

// Columns past kStraightX copy that column, rows past kStraightY copy that row.
void Straighten(QImage& image, int scale) {
  const int sx = kStraightX * scale;
  const int sy = kStraightY * scale;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = sx + 1; x < image.width(); ++x) image.setPixel(x, y, image.pixel(sx, y));
  }
  for (int y = sy + 1; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, image.pixel(x, sy));
  }
}

std::pair<QImage, QImage> DrawFrameAndMask(int scale) {
  const int bezelLayers = 48 * scale;
  const int shadowLayers = 28 * scale;
  const auto screen = [](qreal depth) {
    return Corner(kBezelX + depth, kBezelY + depth, kScreenRadius - depth);
  };

  QImage painted = Paint(kFrameSize, scale, Qt::transparent, [&](QPainter& p) {
    p.setPen(Qt::NoPen);
    for (int i = 0; i <= bezelLayers; ++i) {
      const qreal t = qreal(i) / bezelLayers;
      p.setBrush(Bezel(t));
      p.drawPath(Corner(kBezelX * t, kBezelY * t, kCabinetRadius + (kScreenRadius - kCabinetRadius) * t));
    }
    // Drawn opaque (no picture) the recess reads as the shadow over the empty glass; blended by the mask
    // over a picture it darkens the picture's edge.
    for (int i = 0; i <= shadowLayers; ++i) {
      const qreal depth = kShadowDepth * i / shadowLayers;
      p.setBrush(Darken(kGlass, 1 - ShadowAlpha(depth) / 255));
      p.drawPath(screen(depth));
    }
    // A faint reflection of the room in the corner of the cabinet's gloss.
    QRadialGradient sheen(QPointF(9, 8), 16);
    sheen.setColorAt(0, QColor(255, 255, 255, 70));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(sheen);
    p.drawPath(Corner(0, 0, kCabinetRadius).subtracted(screen(0)));
  });

  QImage mask = Paint(kFrameSize, scale, Qt::white, [&](QPainter& p) {
    p.setPen(Qt::NoPen);
    for (int i = 0; i <= shadowLayers; ++i) {
      const qreal depth = kShadowDepth * i / shadowLayers;
      const int a = static_cast<int>(std::lround(ShadowAlpha(depth)));
      p.setBrush(QColor(a, a, a));
      p.drawPath(screen(depth));
    }
  });

  QImage frame = FlattenToKey(painted, kBlueKey, kOutline);
  mask = Opaque(mask);
  // Outside the cabinet the mask is empty; everywhere else on the bezel it is fully opaque, so the cut
  // window edge never shows what lies behind the frame.
  for (int y = 0; y < frame.height(); ++y) {
    for (int x = 0; x < frame.width(); ++x) {
      if (frame.pixel(x, y) == kBlueKey.rgb()) mask.setPixel(x, y, qRgb(0, 0, 0));
    }
  }
  Straighten(frame, scale);
  Straighten(mask, scale);
  return {frame, mask};
}

}  // namespace

QImage DrawTvFrame(int scale) {
  return DrawFrameAndMask(scale).first;
}
QImage DrawTvMask(int scale) {
  return DrawFrameAndMask(scale).second;
}

}  // namespace artwork
