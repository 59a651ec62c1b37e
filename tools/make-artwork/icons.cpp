// The program's icon, the directory window's category icons, the download dialog's activity stripe and the
// about box's picture.
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

#include "canvas.h"
#include "pictures.h"

namespace artwork {
namespace {

// The cool blue of lit controls, shared with the console's buttons.
const QColor kAccent(84, 170, 236);

// Rounds a rectangle's edges to whole device pixels, so small icons stay sharp.
QRectF Snap(const QRectF& r, qreal devicePixel) {
  const auto snap = [devicePixel](qreal v) { return std::round(v / devicePixel) * devicePixel; };
  return QRectF(QPointF(snap(r.left()), snap(r.top())), QPointF(snap(r.right()), snap(r.bottom())));
}

// A television in the box `box` (cabinet, glowing screen with a play mark, stand), lines no thinner than
// one device pixel.
void PaintTelevision(QPainter& p, const QRectF& box, qreal devicePixel, const QColor& glow, bool playMark,
                     bool antenna) {
  const qreal s = box.width();
  const auto at = [&](qreal x, qreal y, qreal w, qreal h) {
    return Snap(QRectF(box.left() + x * s, box.top() + y * s, w * s, h * s), devicePixel);
  };
  const qreal line = std::max(devicePixel, s / 64);
  p.setPen(Qt::NoPen);
  if (antenna) {
    p.setPen(QPen(QColor(40, 42, 48), std::max(devicePixel, s / 20), Qt::SolidLine, Qt::RoundCap));
    const QPointF base(box.left() + 0.5 * s, box.top() + 0.2 * s);
    p.drawLine(base, QPointF(box.left() + 0.22 * s, box.top() + 0.02 * s));
    p.drawLine(base, QPointF(box.left() + 0.80 * s, box.top() + 0.04 * s));
    p.setPen(Qt::NoPen);
  }
  // The stand: a neck and a brushed plinth, as the console is drawn.
  const QRectF neck = at(0.40, 0.76, 0.20, 0.12);
  const QRectF plinth = at(0.20, 0.86, 0.60, 0.10);
  p.setBrush(QColor(30, 32, 38));
  p.drawRect(neck);
  QLinearGradient metal(0, plinth.top(), 0, plinth.bottom());
  metal.setColorAt(0, QColor(236, 238, 242));
  metal.setColorAt(0.5, QColor(176, 181, 190));
  metal.setColorAt(0.51, QColor(60, 63, 72));
  metal.setColorAt(1, QColor(22, 23, 27));
  p.setBrush(metal);
  p.drawRoundedRect(plinth, plinth.height() * 0.3, plinth.height() * 0.3);
  // The cabinet: black lacquer with a bright rim.
  const QRectF cabinet = at(0.03, antenna ? 0.18 : 0.10, 0.94, antenna ? 0.62 : 0.70);
  const qreal radius = s * 0.13;
  QLinearGradient lacquer(0, cabinet.top(), 0, cabinet.bottom());
  lacquer.setColorAt(0, QColor(112, 118, 130));
  lacquer.setColorAt(0.08, QColor(54, 57, 66));
  lacquer.setColorAt(1, QColor(14, 15, 18));
  p.setBrush(QColor(8, 9, 11));
  p.drawRoundedRect(cabinet, radius, radius);
  p.setBrush(lacquer);
  p.drawRoundedRect(cabinet.adjusted(line, line, -line, -line), radius - line, radius - line);
  // The screen: a rounder tube glowing from within.
  const qreal inset = std::max(devicePixel * 2, s * 0.075);
  const QRectF screen = Snap(cabinet.adjusted(inset, inset * 0.9, -inset, -inset * 0.9), devicePixel);
  QRadialGradient tube(screen.center() - QPointF(screen.width() * 0.12, screen.height() * 0.18),
                       screen.width() * 0.75);
  tube.setColorAt(0, Darken(glow, 1.45));
  tube.setColorAt(0.45, glow);
  tube.setColorAt(1, Darken(glow, 0.22));
  p.setBrush(tube);
  const qreal screenRadius = s * 0.10;
  p.drawRoundedRect(screen, screenRadius, screenRadius);
  if (playMark) {
    const QPointF c = screen.center();
    const qreal h = screen.height() * 0.42;
    p.setBrush(QColor(255, 255, 255, 225));
    p.drawPolygon(QPolygonF({QPointF(c.x() - h * 0.38, c.y() - h / 2), QPointF(c.x() + h * 0.5, c.y()),
                             QPointF(c.x() - h * 0.38, c.y() + h / 2)}));
  }
  // The glass's reflection across its upper part.
  if (s >= 24) {
    QPainterPath reflection;
    reflection.moveTo(screen.topLeft());
    reflection.lineTo(screen.topRight());
    reflection.lineTo(screen.right(), screen.top() + screen.height() * 0.25);
    reflection.quadTo(screen.center().x(), screen.top() + screen.height() * 0.42, screen.left(),
                      screen.top() + screen.height() * 0.55);
    reflection.closeSubpath();
    QPainterPath glass;
    glass.addRoundedRect(screen, screenRadius, screenRadius);
    p.setBrush(QColor(255, 255, 255, 36));
    p.drawPath(reflection.intersected(glass));
  }
}

QImage Icon(int size, int scale, const DrawFunction& draw) {
  return Paint(QSize(size, size), scale, Qt::transparent, draw);
}

void PaintStar(QPainter& p) {
  QPolygonF star;
  for (int i = 0; i < 10; ++i) {
    const qreal r = i % 2 ? 3.1 : 7.2;
    const qreal a = -M_PI / 2 + i * M_PI / 5;
    star << QPointF(8 + r * std::cos(a), 8.6 + r * std::sin(a));
  }
  QLinearGradient gold(0, 1, 0, 15);
  gold.setColorAt(0, QColor(255, 236, 140));
  gold.setColorAt(1, QColor(232, 150, 20));
  p.setPen(QPen(QColor(120, 70, 0), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(gold);
  p.drawPolygon(star);
}

void PaintClock(QPainter& p) {
  const QPointF c(8, 8);
  QRadialGradient face(QPointF(6.5, 6), 8);
  face.setColorAt(0, Qt::white);
  face.setColorAt(1, QColor(212, 222, 234));
  p.setPen(QPen(QColor(34, 60, 96), 1.4));
  p.setBrush(face);
  p.drawEllipse(c, 6.6, 6.6);
  p.setPen(QPen(QColor(30, 30, 36), 1.3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(c, QPointF(8, 3.6));
  p.drawLine(c, QPointF(11.2, 9.4));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(210, 40, 30));
  p.drawEllipse(c, 1.1, 1.1);
}

void PaintRadio(QPainter& p) {
  p.setPen(QPen(QColor(60, 62, 70), 1.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(4, 5.5), QPointF(12.5, 1.2));
  const QRectF body(0.5, 5.5, 15, 9.5);
  QLinearGradient wood(0, body.top(), 0, body.bottom());
  wood.setColorAt(0, QColor(206, 120, 60));
  wood.setColorAt(1, QColor(120, 56, 22));
  p.setPen(QPen(QColor(64, 28, 8), 1));
  p.setBrush(wood);
  p.drawRoundedRect(body, 2, 2);
  // Speaker grille and tuning dial.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 30, 26));
  p.drawEllipse(QPointF(5.2, 10.25), 3.2, 3.2);
  p.setBrush(QColor(120, 96, 80));
  for (int i = -1; i <= 1; ++i) p.drawRect(QRectF(3, 10 + i * 1.4 - 0.3, 4.4, 0.6));
  p.setBrush(QColor(250, 236, 190));
  p.drawRoundedRect(QRectF(9.5, 7.5, 4.5, 3), 0.8, 0.8);
  p.setBrush(QColor(40, 30, 26));
  p.drawEllipse(QPointF(11.75, 12.6), 1.3, 1.3);
}

// The public directory's mark: a small globe with a light rim that keeps it apart from what it sits on.
void PaintGlobe(QPainter& p, const QPointF& c, qreal r) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 235));
  p.drawEllipse(c, r + 0.8, r + 0.8);
  QRadialGradient sea(c - QPointF(r * 0.35, r * 0.4), r * 1.4);
  sea.setColorAt(0, QColor(150, 214, 255));
  sea.setColorAt(0.5, QColor(40, 128, 210));
  sea.setColorAt(1, QColor(12, 52, 120));
  p.setPen(QPen(QColor(10, 40, 90), 0.8));
  p.setBrush(sea);
  p.drawEllipse(c, r, r);
  // A meridian and the equator, as a globe is drawn on a sign.
  p.setPen(QPen(QColor(255, 255, 255, 200), 0.9));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, r * 0.42, r);
  p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
}

}  // namespace

QImage DrawAppIcon(int size, int scale) {
  return Icon(size, scale, [size, scale](QPainter& p) {
    PaintTelevision(p, QRectF(0, 0, size, size), 1.0 / scale, kAccent, true, false);
  });
}

QImage DrawDirCategory(int index, int scale) {
  return Icon(16, scale, [index, scale](QPainter& p) {
    const QRectF box(0, 0, 16, 16);
    switch (index) {
      case 0:  // our own channels: the program's own set
        PaintTelevision(p, box, 1.0 / scale, kAccent, true, false);
        break;
      case 1:  // the directory's television stations
        PaintTelevision(p, box, 1.0 / scale, QColor(240, 150, 50), false, true);
        break;
      case 2:  // the directory's radio stations
        PaintRadio(p);
        break;
      case 3:  // bookmarks
        PaintStar(p);
        break;
      case 4:  // recently played
        PaintClock(p);
        break;
      case 5:  // the public Icecast directory's television streams: a green screen and the globe
        PaintTelevision(p, QRectF(0, 0, 14, 14), 1.0 / scale, QColor(70, 200, 120), false, true);
        PaintGlobe(p, QPointF(11.5, 11.5), 4);
        break;
      default:  // the public Icecast directory's radio streams
        p.save();
        p.translate(0, -1);
        PaintRadio(p);
        p.restore();
        PaintGlobe(p, QPointF(11.5, 11.5), 4);
        break;
    }
  });
}

QImage DrawDownloadStripe(int scale) {
  // Diagonal bands that repeat every 27 pixels, five times across the picture, so the picture tiles and
  // scrolls without a seam.
  constexpr qreal kWidth = 135, kHeight = 18, kPeriod = 27;
  return Opaque(Paint(QSize(kWidth, kHeight), scale, Qt::black, [](QPainter& p) {
    p.fillRect(QRectF(0, 0, kWidth, kHeight), QColor(26, 78, 142));
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    for (int k = -1; k * kPeriod < kWidth + kPeriod; ++k) {
      const qreal x = k * kPeriod;
      p.drawPolygon(QPolygonF({QPointF(x, kHeight), QPointF(x + kPeriod / 2, kHeight),
                               QPointF(x + kPeriod / 2 + kHeight, 0), QPointF(x + kHeight, 0)}));
    }
    // Gloss above, shade below: a rounded glass tube.
    QLinearGradient tube(0, 0, 0, kHeight);
    tube.setColorAt(0, QColor(255, 255, 255, 150));
    tube.setColorAt(0.45, QColor(255, 255, 255, 40));
    tube.setColorAt(0.5, QColor(0, 0, 0, 0));
    tube.setColorAt(1, QColor(0, 0, 0, 90));
    p.fillRect(QRectF(0, 0, kWidth, kHeight), tube);
  }));
}

QImage DrawAboutPicture(int scale) {
  const QSize size(267, 112);
  return Opaque(Paint(size, scale, Qt::black, [size, scale](QPainter& p) {
    const QRectF all(QPointF(0, 0), size);
    QLinearGradient night(0, 0, 0, size.height());
    night.setColorAt(0, QColor(30, 36, 48));
    night.setColorAt(0.62, QColor(12, 14, 20));
    night.setColorAt(0.621, QColor(22, 24, 30));
    night.setColorAt(1, QColor(8, 9, 12));
    p.fillRect(all, night);
    // Light from the screen falling on the table.
    QRadialGradient spill(QPointF(58, 56), 80);
    spill.setColorAt(0, QColor(84, 170, 236, 80));
    spill.setColorAt(1, QColor(84, 170, 236, 0));
    p.fillRect(all, spill);
    PaintTelevision(p, QRectF(14, 10, 92, 92), 1.0 / scale, kAccent, true, false);

    // The name, as large as fits beside the set.
    const qreal left = 118, right = size.width() - 10;
    QFont name = Font(30, true);
    for (int px = 30; px > 12; --px) {
      name = Font(px, true);
      if (QFontMetricsF(name).horizontalAdvance(QStringLiteral("Kestrova.TV")) <= right - left) break;
    }
    const QFontMetricsF metrics(name);
    const qreal baseline = 54;
    const QString first = QStringLiteral("Kestrova"), second = QStringLiteral(".TV");
    p.setFont(name);
    p.setPen(QColor(0, 0, 0, 160));
    p.drawText(QPointF(left + 1, baseline + 1.5), first + second);
    p.setPen(QColor(244, 246, 250));
    p.drawText(QPointF(left, baseline), first);
    p.setPen(kAccent);
    p.drawText(QPointF(left + metrics.horizontalAdvance(first), baseline), second);
    p.setFont(Font(17, false));
    p.setPen(QColor(200, 206, 216));
    p.drawText(QPointF(left + 1, baseline + 22), QStringLiteral("Player"));
    p.setFont(Font(9, false));
    p.setPen(QColor(130, 140, 156));
    p.drawText(QPointF(left + 1, baseline + 41), QStringLiteral("Ogg Theora & Vorbis streams"));
  }));
}

}  // namespace artwork
