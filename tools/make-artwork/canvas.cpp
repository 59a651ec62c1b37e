#include "canvas.h"

#include <algorithm>
#include <cmath>

namespace artwork {

QImage Paint(QSize size, int scale, const QColor& fill, const DrawFunction& draw) {
  QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
  image.fill(fill);
  QPainter painter(&image);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                         QPainter::SmoothPixmapTransform);
  painter.scale(scale, scale);
  draw(painter);
  painter.end();
  return image;
}

QImage FlattenToKey(const QImage& painted, const QColor& key, const QColor& backdrop) {
  const QImage source = painted.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QImage out(source.size(), QImage::Format_RGB32);
  const QRgb keyRgb = key.rgb();
  for (int y = 0; y < source.height(); ++y) {
    const QRgb* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < source.width(); ++x) {
      const int a = qAlpha(in[x]);
      if (a < 128) {
        line[x] = keyRgb;
        continue;
      }
      // Premultiplied source over the opaque backdrop.
      const auto over = [&](int c, int b) { return std::clamp(c + b * (255 - a) / 255, 0, 255); };
      QRgb rgb = qRgb(over(qRed(in[x]), backdrop.red()), over(qGreen(in[x]), backdrop.green()),
                      over(qBlue(in[x]), backdrop.blue()));
      // A drawn pixel must never read as the key, or it would be cut away too.
      if ((rgb & 0xffffff) == (keyRgb & 0xffffff)) rgb ^= 0x010101;
      line[x] = rgb | 0xff000000;
    }
  }
  return out;
}

QImage Opaque(const QImage& painted) {
  return painted.convertToFormat(QImage::Format_RGB32);
}

QFont Font(qreal pixelSize, bool bold) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
  font.setBold(bold);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

QColor Mix(const QColor& a, const QColor& b, qreal t) {
  const auto lerp = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
  return QColor(lerp(a.red(), b.red()), lerp(a.green(), b.green()), lerp(a.blue(), b.blue()),
                lerp(a.alpha(), b.alpha()));
}

QColor Darken(const QColor& c, qreal factor) {
  if (factor <= 1) return Mix(QColor(0, 0, 0, c.alpha()), c, factor);
  return Mix(c, QColor(255, 255, 255, c.alpha()), factor - 1);
}

QColor Sample(std::initializer_list<std::pair<qreal, QColor>> stops, qreal t) {
  const auto* previous = stops.begin();
  if (t <= previous->first) return previous->second;
  for (const auto* stop = stops.begin() + 1; stop != stops.end(); ++stop) {
    if (t <= stop->first) {
      return Mix(previous->second, stop->second, (t - previous->first) / (stop->first - previous->first));
    }
    previous = stop;
  }
  return previous->second;
}

}  // namespace artwork
