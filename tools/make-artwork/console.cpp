// The console: the stand's neck, the plinth (a brushed-aluminium caption band over a glossy black body), the
// volume knob with its scale dots, and the two dividers. The body is the same in every column, so its middle
// piece repeats without a seam and the pieces laid on it can carry the body's rows in their corners.
#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

#include "canvas.h"
#include "console.h"
#include "pictures.h"

namespace artwork::console {
namespace {

// The soft edges of the keyed pieces are smoothed against this (the key cuts the rest away).
const QColor kEdge(18, 18, 21);

// A faint brushed grain in the aluminium, the same on every run (a hash of the device row).
qreal BrushGrain(int deviceRow) {
  unsigned h = static_cast<unsigned>(deviceRow) * 2654435761u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<int>(h % 9) - 4;
}

// The rounded ends of the plinth: each column's shade from the outer edge inward.
constexpr qreal kEndShade[kEndWidth] = {0.30, 1.22, 1.10, 1.04, 1.01, 1.0, 1.0};

void PaintEnd(QPainter& p, int scale, bool left) {
  PaintBody(p, QRectF(0, 0, kEndWidth, kBodyHeight), 0, scale);
  for (int column = 0; column < kEndWidth; ++column) {
    const qreal shade = kEndShade[column];
    const int amount = static_cast<int>(std::lround(std::abs(1 - shade) * 255));
    const QColor over = shade < 1 ? QColor(0, 0, 0, amount) : QColor(255, 255, 255, amount);
    p.fillRect(QRectF(left ? column : kEndWidth - 1 - column, 0, 1, kBodyHeight), over);
  }
}

// Makes every pixel of the key colour transparent, for laying keyed pieces on the composed background.
QImage CutKey(const QImage& keyed, const QColor& key) {
  QImage out = keyed.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    for (int x = 0; x < out.width(); ++x) {
      if ((out.pixel(x, y) & 0xffffff) == (key.rgb() & 0xffffff)) out.setPixel(x, y, 0);
    }
  }
  return out;
}

}  // namespace

QColor BodyColour(qreal row) {
  if (row < 1) return QColor(246, 247, 250);  // the plinth's top edge catching the light
  if (row < 17) return Sample({{1, QColor(228, 231, 236)}, {17, QColor(180, 185, 194)}}, row);
  if (row < 18) return QColor(118, 122, 131);
  if (row < 19) return QColor(28, 29, 34);  // the seam under the band
  if (row < 96) {
    // Black lacquer: the upper part mirrors the room, down to a soft horizon.
    return Sample({{19, QColor(92, 97, 108)},
                   {21, QColor(70, 74, 84)},
                   {42, QColor(50, 53, 61)},
                   {46, QColor(36, 38, 44)},
                   {96, QColor(27, 28, 33)}},
                  row);
  }
  if (row < 97) return QColor(70, 73, 81);  // the foot's upper edge
  return QColor(14, 14, 17);
}

void PaintBody(QPainter& p, const QRectF& area, qreal top, int scale) {
  const int first = static_cast<int>(std::floor(area.top() * scale));
  const int last = static_cast<int>(std::ceil(area.bottom() * scale));
  for (int deviceRow = first; deviceRow < last; ++deviceRow) {
    const qreal row = (deviceRow + 0.5) / scale - top;
    QColor c = BodyColour(row);
    if (row >= 1 && row < 17) {
      const qreal grain = BrushGrain(deviceRow);
      c = QColor::fromRgb(std::clamp<int>(c.red() + grain, 0, 255),
                          std::clamp<int>(c.green() + grain, 0, 255),
                          std::clamp<int>(c.blue() + grain, 0, 255));
    }
    p.fillRect(QRectF(area.left(), qreal(deviceRow) / scale, area.width(), 1.0 / scale), c);
  }
}

const std::vector<Button>& Buttons() {
  static const std::vector<Button> buttons = {
      {Glyph::Menu, {}, {2, 18, 14, 14}, 0},
      {Glyph::Close, {}, {351, 18, 14, 14}, 3},
      {Glyph::Minimise, {}, {319, 18, 14, 14}, 6},
      {Glyph::Maximise, {}, {335, 18, 14, 14}, 9},
      {Glyph::Play, {}, {134, 64, 14, 14}, 12},
      {Glyph::Stop, {}, {150, 64, 14, 14}, 15},
      {Glyph::Label, QStringLiteral("Directory"), {62, 92, 50, 14}, 0},
      {Glyph::Label, QStringLiteral("Settings"), {114, 92, 50, 14}, 3},
      {Glyph::Label, QStringLiteral("Open"), {10, 92, 50, 14}, 6},
      {Glyph::Label, QStringLiteral("Info"), {166, 64, 50, 14}, 9},
      {Glyph::Label, QStringLiteral("Rate"), {166, 92, 50, 14}, 12},
      {Glyph::Label, QStringLiteral("Schedule"), {218, 92, 50, 14}, 15},
      {Glyph::Label, QStringLiteral("Playlist"), {218, 64, 50, 14}, 18},
  };
  return buttons;
}

QImage ComposeBackground(int scale) {
  return Paint(QSize(kWidth, kHeight), scale, Qt::transparent, [scale](QPainter& p) {
    const int standX = kWidth / 2 - kStandWidth / 2;
    p.drawImage(QRectF(standX, 0, kStandWidth, kStandHeight), CutKey(DrawTvStand(scale), kBlueKey));
    p.drawImage(QRectF(0, kBodyTop, kEndWidth, kBodyHeight), DrawTvLeft(scale));
    const QImage middle = DrawTvMiddle(scale);
    for (int x = kEndWidth; x < kWidth; x += kMiddleWidth) {
      p.drawImage(QRectF(x, kBodyTop, kMiddleWidth, kBodyHeight), middle);
    }
    p.drawImage(QRectF(kWidth - kEndWidth, kBodyTop, kEndWidth, kBodyHeight), DrawTvRight(scale));
    p.drawImage(QRectF(kKnobX, kKnobY, kKnobSize, kKnobSize), DrawTvKnob(scale));
    p.drawImage(QRectF(kSeparator), DrawTvSeparator(scale));
    p.fillRect(kGlass, QColor(0, 0, 0, kGlassAlpha));
    p.drawImage(QRectF(kHStrip), DrawTvHStrip(scale));
    const QImage dot = CutKey(DrawTvDot(scale), kLimeKey);
    for (int i = 3; i <= 9; ++i) {
      const qreal a = M_PI / 4 * i;
      const QPointF at(kKnobCentre.x() + std::round(std::cos(a) * (kKnobSize / 2.0 + 6)),
                       kKnobCentre.y() + std::round(std::sin(a) * (kKnobSize / 2.0 + 6)));
      p.drawImage(QRectF(at.x() - kDotSize / 2.0, at.y() - kDotSize / 2.0, kDotSize, kDotSize), dot);
    }
  });
}

}  // namespace artwork::console

namespace artwork {

using namespace console;

QImage DrawTvMiddle(int scale) {
  return Opaque(Paint(QSize(kMiddleWidth, kBodyHeight), scale, Qt::black, [scale](QPainter& p) {
    PaintBody(p, QRectF(0, 0, kMiddleWidth, kBodyHeight), 0, scale);
  }));
}

QImage DrawTvLeft(int scale) {
  return Opaque(Paint(QSize(kEndWidth, kBodyHeight), scale, Qt::black,
                      [scale](QPainter& p) { PaintEnd(p, scale, true); }));
}

QImage DrawTvRight(int scale) {
  return Opaque(Paint(QSize(kEndWidth, kBodyHeight), scale, Qt::black,
                      [scale](QPainter& p) { PaintEnd(p, scale, false); }));
}

QImage DrawTvStand(int scale) {
  const QSize size(kStandWidth, kStandHeight);
  const QImage painted = Paint(size, scale, Qt::transparent, [](QPainter& p) {
    // A neck that flares out into the plinth; its last row lies under the plinth's top edge.
    const qreal top = 18, w = kStandWidth;
    QPainterPath neck;
    neck.moveTo(top, 0);
    neck.lineTo(w - top, 0);
    neck.cubicTo(w - top, 9, w - 4, 14, w, 15.5);
    neck.lineTo(w, kStandHeight + 1);
    neck.lineTo(0, kStandHeight + 1);
    neck.lineTo(0, 15.5);
    neck.cubicTo(4, 14, top, 9, top, 0);
    QLinearGradient across(0, 0, w, 0);
    across.setColorAt(0.00, QColor(20, 21, 25));
    across.setColorAt(0.30, QColor(58, 61, 70));
    across.setColorAt(0.40, QColor(128, 134, 146));
    across.setColorAt(0.47, QColor(62, 65, 74));
    across.setColorAt(0.75, QColor(34, 36, 42));
    across.setColorAt(1.00, QColor(16, 16, 19));
    p.setPen(Qt::NoPen);
    p.setBrush(across);
    p.drawPath(neck);
    // The plinth's shadow under the screen above, and light along the flare.
    QLinearGradient down(0, 0, 0, kStandHeight);
    down.setColorAt(0, QColor(0, 0, 0, 110));
    down.setColorAt(0.35, QColor(0, 0, 0, 0));
    p.setBrush(down);
    p.drawPath(neck);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 60), 0.8));
    p.drawPath(neck);
  });
  return FlattenToKey(painted, kBlueKey, kEdge);
}

QImage DrawTvKnob(int scale) {
  return Opaque(Paint(QSize(kKnobSize, kKnobSize), scale, Qt::black, [scale](QPainter& p) {
    PaintBody(p, QRectF(0, 0, kKnobSize, kKnobSize), kBodyTop - kKnobY, scale);
    const QPointF c(kKnobSize / 2.0, kKnobSize / 2.0);
    p.setPen(Qt::NoPen);
    // Shadow on the lacquer below the knob.
    QRadialGradient shadow(c + QPointF(0, 1.5), 26);
    shadow.setColorAt(0.80, QColor(0, 0, 0, 150));
    shadow.setColorAt(1.00, QColor(0, 0, 0, 0));
    p.setBrush(shadow);
    p.drawEllipse(c + QPointF(0, 1.5), 26, 26);
    // Skirt: a chrome ring lit from above.
    QLinearGradient skirt(0, c.y() - 24, 0, c.y() + 24);
    skirt.setColorAt(0, QColor(236, 238, 242));
    skirt.setColorAt(0.5, QColor(120, 124, 134));
    skirt.setColorAt(1, QColor(40, 42, 48));
    p.setBrush(skirt);
    p.drawEllipse(c, 24, 24);
    p.setBrush(QColor(22, 23, 27));
    p.drawEllipse(c, 22.2, 22.2);
    // Face: spun aluminium, its light turning with the angle.
    QConicalGradient spun(c, 30);
    const QColor light(246, 247, 250), mid(196, 200, 208), dark(150, 155, 165);
    spun.setColorAt(0.000, light);
    spun.setColorAt(0.125, mid);
    spun.setColorAt(0.250, dark);
    spun.setColorAt(0.375, mid);
    spun.setColorAt(0.500, light);
    spun.setColorAt(0.625, mid);
    spun.setColorAt(0.750, dark);
    spun.setColorAt(0.875, mid);
    spun.setColorAt(1.000, light);
    p.setBrush(spun);
    p.drawEllipse(c, 21.4, 21.4);
    // Fine turning rings.
    p.setBrush(Qt::NoBrush);
    for (qreal r = 3; r < 21; r += 1.5) {
      p.setPen(QPen(QColor(0, 0, 0, (int(r * 2) % 2) ? 10 : 16), 0.5));
      p.drawEllipse(c, r, r);
    }
    p.setPen(QPen(QColor(255, 255, 255, 150), 0.8));
    p.drawArc(QRectF(c.x() - 20.8, c.y() - 20.8, 41.6, 41.6), 20 * 16, 140 * 16);
    p.setPen(Qt::NoPen);
    // The centre cap.
    QRadialGradient cap(c - QPointF(1, 1.5), 5);
    cap.setColorAt(0, QColor(250, 250, 252));
    cap.setColorAt(1, QColor(168, 172, 182));
    p.setBrush(cap);
    p.drawEllipse(c, 4.2, 4.2);
  }));
}

QImage DrawTvDot(int scale) {
  const QImage painted = Paint(QSize(kDotSize, kDotSize), scale, Qt::transparent, [](QPainter& p) {
    QRadialGradient lamp(QPointF(1.6, 1.5), 2.2);
    lamp.setColorAt(0, QColor(255, 252, 236));
    lamp.setColorAt(0.6, QColor(236, 214, 160));
    lamp.setColorAt(1, QColor(150, 128, 84));
    p.setPen(Qt::NoPen);
    p.setBrush(lamp);
    p.drawEllipse(QPointF(2, 2), 1.95, 1.95);
  });
  return FlattenToKey(painted, kLimeKey, kEdge);
}

QImage DrawTvSeparator(int scale) {
  const QSize size = kSeparator.size();
  return Opaque(Paint(size, scale, Qt::black, [size, scale](QPainter& p) {
    PaintBody(p, QRectF(QPointF(0, 0), size), kBodyTop - kSeparator.top(), scale);
    // An etched groove, fading out before the band above and the foot below.
    const qreal top = 4, bottom = kBodyTop + 96 - kSeparator.top() - 4;
    QLinearGradient fade(0, top, 0, bottom);
    const auto groove = [&](const QColor& c, qreal x) {
      QColor clear = c;
      clear.setAlpha(0);
      fade.setColorAt(0, clear);
      fade.setColorAt(0.12, c);
      fade.setColorAt(0.88, c);
      fade.setColorAt(1, clear);
      p.fillRect(QRectF(x, top, 1, bottom - top), fade);
    };
    groove(QColor(0, 0, 0, 190), 3);
    groove(QColor(255, 255, 255, 46), 4);
  }));
}

QImage DrawTvHStrip(int scale) {
  const QSize size(kHStripWidth, kHStrip.height());
  return Opaque(Paint(size, scale, Qt::black, [size, scale](QPainter& p) {
    // Drawn over the glass, so it carries the glass's shade.
    PaintBody(p, QRectF(QPointF(0, 0), size), kBodyTop - kHStrip.top(), scale);
    p.fillRect(QRectF(QPointF(0, 0), size), QColor(0, 0, 0, kGlassAlpha));
    QLinearGradient fade(0, 0, size.width(), 0);
    const auto groove = [&](const QColor& c, qreal y) {
      QColor clear = c;
      clear.setAlpha(0);
      fade.setColorAt(0, clear);
      fade.setColorAt(0.15, c);
      fade.setColorAt(0.85, c);
      fade.setColorAt(1, clear);
      p.fillRect(QRectF(0, y, size.width(), 1), fade);
    };
    groove(QColor(0, 0, 0, 170), 2);
    groove(QColor(255, 255, 255, 40), 3);
  }));
}

}  // namespace artwork
