// The preview sheet: the pictures put together the way the player does, so a person can judge the whole.
// The television is composed as the software back-end composes it (mirrored corners, stretched edge
// pieces, the window shape cut from the frame's non-blue pixels).
#include <QLinearGradient>
#include <QPainterPath>
#include <QRegion>
#include <array>

#include <QFontMetricsF>
#include <cmath>

#include "canvas.h"
#include "console.h"
#include "pictures.h"

namespace artwork {
namespace {

// A made-up scene to judge the frame against: sky, sun, hills and a row of colour bars.
QImage TestPicture(QSize size) {
  return Paint(size, 1, Qt::black, [size](QPainter& p) {
    const qreal w = size.width(), h = size.height();
    QLinearGradient sky(0, 0, 0, h * 0.7);
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(250, 190, 130));
    p.fillRect(QRectF(0, 0, w, h), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 240, 200));
    p.drawEllipse(QPointF(w * 0.7, h * 0.45), h * 0.08, h * 0.08);
    QPainterPath hills;
    hills.moveTo(0, h * 0.62);
    hills.cubicTo(w * 0.3, h * 0.45, w * 0.5, h * 0.75, w, h * 0.58);
    hills.lineTo(w, h);
    hills.lineTo(0, h);
    p.setBrush(QColor(40, 90, 50));
    p.drawPath(hills);
    const QColor bars[] = {Qt::white,   Qt::yellow, Qt::cyan, Qt::green,
                           Qt::magenta, Qt::red,    Qt::blue, Qt::black};
    for (int i = 0; i < 8; ++i) p.fillRect(QRectF(w * i / 8, h * 0.88, w / 8 + 1, h * 0.12), bars[i]);
  });
}

// The four corners as the back-end mirrors them: top-left, top-right, bottom-left, bottom-right.
std::array<QImage, 4> Mirrored(const QImage& corner) {
  return {corner, corner.mirrored(true, false), corner.mirrored(false, true), corner.mirrored(true, true)};
}

// Each pixel's colour scaled by its alpha, as the back-end prepares its blended corners.
QImage Premultiplied(const QImage& image) {
  QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      const int a = qAlpha(c);
      out.setPixel(x, y, qRgba(qRed(c) * a >> 8, qGreen(c) * a >> 8, qBlue(c) * a >> 8, a));
    }
  }
  return out;
}

// The television of size w x h with `picture` (or, when null, the empty screen), cut to the window shape.
QImage ComposeTelevision(const QImage& picture, int w, int h) {
  const QImage frameKeyed = DrawTvFrame(1);
  const QImage mask = DrawTvMask(1);
  // The frame with its outside recoloured and the mask's red as alpha.
  QImage frame = frameKeyed.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < frame.height(); ++y) {
    for (int x = 0; x < frame.width(); ++x) {
      QRgb c = frame.pixel(x, y);
      if ((c & 0xffffff) == 0x0000ff) c = qRgb(108, 109, 72);
      frame.setPixel(x, y, qRgba(qRed(c), qGreen(c), qBlue(c), qRed(mask.pixel(x, y))));
    }
  }
  const std::array<QImage, 4> corners = Mirrored(frame);
  enum { TL, TR, BL, BR };
  const bool blended = !picture.isNull();
  QImage source[4];
  for (int i = 0; i < 4; ++i) {
    source[i] = blended ? Premultiplied(corners[i])
                        : corners[i]
                              .convertToFormat(QImage::Format_RGB32)
                              .convertToFormat(QImage::Format_ARGB32_Premultiplied);
  }

  QImage back(w, h, QImage::Format_ARGB32_Premultiplied);
  back.fill(Qt::black);
  QPainter p(&back);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  const int halfW = w / 2, halfH = h / 2;
  if (blended) p.drawImage(QRect(6, 5, w - 12, h - 10), picture);
  p.drawImage(0, 0, source[TL]);
  p.drawImage(w - 64, 0, source[TR]);
  p.drawImage(0, h - 56, source[BL]);
  p.drawImage(w - 64, h - 56, source[BR]);
  struct Piece {
    QRect to;
    int corner;
    QRect from;
  };
  const Piece pieces[] = {
      {{64, 0, halfW - 64, 56}, TR, {0, 0, 15, 56}},
      {{halfW, 0, halfW - 63, 56}, TL, {49, 0, 15, 56}},
      {{64, h - 56, halfW - 64, 56}, BR, {0, 0, 15, 56}},
      {{halfW, h - 56, halfW - 63, 56}, BL, {49, 0, 15, 56}},
      {{0, 56, 64, halfH - 56}, BL, {0, 0, 64, 14}},
      {{0, halfH, 64, halfH - 55}, TL, {0, 42, 64, 14}},
      {{w - 64, 56, 64, halfH - 56}, BR, {0, 0, 64, 14}},
      {{w - 64, halfH, 64, halfH - 55}, TR, {0, 42, 64, 14}},
  };
  for (const Piece& piece : pieces) p.drawImage(piece.to, source[piece.corner], piece.from);
  if (!blended) {
    // The empty screen: the inner corners of the four pieces stretched over the middle.
    QImage patch(30, 28, QImage::Format_ARGB32_Premultiplied);
    QPainter q(&patch);
    q.drawImage(QRect(0, 0, 15, 14), source[BR], QRect(0, 0, 15, 14));
    q.drawImage(QRect(15, 14, 15, 14), source[TL], QRect(49, 42, 15, 14));
    q.drawImage(QRect(15, 0, 15, 14), source[BL], QRect(49, 0, 15, 14));
    q.drawImage(QRect(0, 14, 15, 14), source[TR], QRect(0, 42, 15, 14));
    q.end();
    p.drawImage(QRect(64, 56, w - 128, h - 112), patch);
  }
  p.end();

  // The window shape: the straight parts and the non-blue pixels of the four mirrored corners.
  QRegion shape = QRegion(63, 0, w - 126, h) + QRegion(0, 55, w, h - 110);
  const std::array<QImage, 4> keyed = Mirrored(frameKeyed);
  const QPoint at[4] = {{0, 0}, {w - 64, 0}, {0, h - 56}, {w - 64, h - 56}};
  for (int i = 0; i < 4; ++i) {
    for (int y = 0; y < 56; ++y) {
      for (int x = 0; x < 64; ++x) {
        if ((keyed[i].pixel(x, y) & 0xffffff) != 0x0000ff) shape += QRect(at[i].x() + x, at[i].y() + y, 1, 1);
      }
    }
  }
  QImage cut(w, h, QImage::Format_ARGB32_Premultiplied);
  cut.fill(Qt::transparent);
  QPainter c(&cut);
  c.setClipRegion(shape);
  c.drawImage(0, 0, back);
  c.end();
  return cut;
}

// The console as the program composes it at a scale: background, pointer at `knob` (0..65535), caption,
// clock, information line and the buttons (the one at `hover` under the pointer, the one at `pressed` held).
QImage ComposeConsole(int scale, int knob, int hover, int pressed) {
  using namespace console;
  const QImage background = ComposeBackground(scale);
  const QImage gadgets = DrawTvGadgets(scale);
  return Paint(QSize(kWidth, kHeight), scale, Qt::transparent, [&](QPainter& p) {
    p.drawImage(QRectF(0, 0, kWidth, kHeight), background);
    // The pointer, mapped as the console maps it.
    const qreal theta = ((knob * 270) >> 16) + 45;
    const qreal s = std::sin(theta * M_PI / 180), c = std::cos(theta * M_PI / 180);
    QPolygonF pointer;
    for (const QPointF& q :
         {QPointF(-10, -4), QPointF(15, -4), QPointF(22, 0), QPointF(15, 4), QPointF(-10, 4)}) {
      pointer << QPointF(std::round(q.y() * c - q.x() * s) + kKnobCentre.x(),
                         std::round(q.y() * s + q.x() * c) + kKnobCentre.y());
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x40, 0x33, 0x1e));
    p.drawPolygon(pointer);
    // Caption, 9 pt black.
    p.setFont(Font(12, false));
    p.setPen(Qt::black);
    p.drawText(QRectF(18, 17, 317 - 18, 14), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Kestrova.TV - Evening News (Ogg Theora 512 kbps)"));
    // Clock, bold 12 pt, one character every 10 pixels, a shadow under each.
    p.setFont(Font(16, true));
    const QString clock = QStringLiteral("01:23:45");
    for (int k = 0; k < clock.size(); ++k) {
      const bool colon = clock[k] == QLatin1Char(':');
      const qreal x = 10 + 10 * k + (colon ? 2 : 0), y = 61 + (colon ? -1 : 0);
      const QRectF cell(x + 1, y + 1, 20, 20);
      p.setPen(Qt::black);
      p.drawText(cell, Qt::AlignLeft | Qt::AlignTop, QString(clock[k]));
      p.setPen(QColor(0xc0, 0xc0, 0xc0));
      p.drawText(cell.translated(-1, -1), Qt::AlignLeft | Qt::AlignTop, QString(clock[k]));
    }
    // The information line, bold 15 pt.
    p.setFont(Font(20, true));
    const QString info = QStringLiteral("Now playing: the late film, live from the studio");
    p.save();
    p.setClipRect(QRect(7, 35, 265, 26));
    p.setPen(Qt::black);
    p.drawText(QPointF(7 + 3 + 1, 35 + 1 + QFontMetricsF(p.font()).ascent()), info);
    p.setPen(QColor(0xc0, 0xc0, 0xc0));
    p.drawText(QPointF(7 + 3, 35 + QFontMetricsF(p.font()).ascent()), info);
    p.restore();
    const std::vector<Button>& buttons = Buttons();
    for (int i = 0; i < int(buttons.size()); ++i) {
      const Button& b = buttons[i];
      const int state = i == pressed ? 2 : i == hover ? 1 : 0;
      const QPoint from = b.glyph != Glyph::Label ? QPoint(14 * state, 14 * (b.firstImage / 3))
                                                  : QPoint(0, 84 + 14 * (b.firstImage + state));
      p.drawImage(QRectF(b.place), gadgets, QRectF(from * scale, b.place.size() * scale));
    }
  });
}

}  // namespace

QImage DrawPreview() {
  const QSize sheet(1460, 1140);
  return Paint(sheet, 1, QColor(92, 104, 120), [&](QPainter& p) {
    QLinearGradient desk(0, 0, 0, sheet.height());
    desk.setColorAt(0, QColor(120, 132, 150));
    desk.setColorAt(1, QColor(70, 78, 92));
    p.fillRect(QRect(QPoint(0, 0), sheet), desk);
    // The player as it stands: the framed picture and the console under it.
    const QImage big = ComposeTelevision(TestPicture({320, 240}), 640, 480);
    p.drawImage(20, 20, big);
    p.drawImage(20 + 320 - console::kWidth / 2, 20 + 480 + 6, ComposeConsole(1, 40000, -1, -1));
    // The console drawn at twice the size (one button under the pointer, one held), the empty screen
    // and a small set.
    p.drawImage(QRectF(700, 20, console::kWidth * 2, console::kHeight * 2), ComposeConsole(2, 20000, 9, 4));
    p.drawImage(700, 520, ComposeTelevision(QImage(), 320, 240));
    p.drawImage(1060, 520, ComposeTelevision(TestPicture({160, 120}), 200, 150));

    // Close-ups, pixels enlarged, to judge single pixels.
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRect(20, 650, 480, 240), big, QRect(0, 0, 160, 80));
    p.drawImage(QRect(700, 270, console::kWidth * 2, console::kHeight * 2), ComposeConsole(1, 0, 1, 12));
    p.drawImage(QRect(1060, 690, 64 * 3, 56 * 3), DrawTvFrame(1));
    p.drawImage(QRect(1260, 690, 64 * 3, 56 * 3), DrawTvMask(1));
    p.drawImage(QRect(1300, 520, 50 * 2, 84 * 2), DrawTvGadgets(1), QRect(0, 0, 50, 84));
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);

    // The program's icon at its sizes, the about box's picture, the category icons and the stripe.
    int x = 20;
    for (int size : {16, 24, 32, 48, 64, 128}) {
      p.drawImage(x, 1120 - size, DrawAppIcon(size, 1));
      x += size + 10;
    }
    p.drawImage(QRectF(x, 1120 - 128, 128, 128), DrawAppIcon(64, 2));
    p.drawImage(560, 1008, DrawAboutPicture(1));
    p.drawImage(QRectF(840, 896, 267, 112), DrawAboutPicture(2));
    for (int i = 0; i < kDirCategories; ++i) {
      p.fillRect(QRect(1130 + 24 * i, 900, 20, 20), Qt::white);
      p.drawImage(1132 + 24 * i, 902, DrawDirCategory(i, 1));
      p.drawImage(QRectF(1130 + 40 * i, 930, 32, 32), DrawDirCategory(i, 2));
      // Enlarged pixel for pixel on the tree's white, to judge the small size.
      p.save();
      p.setRenderHint(QPainter::SmoothPixmapTransform, false);
      p.fillRect(QRect(880 + 80 * i, 1040, 72, 72), Qt::white);
      p.drawImage(QRect(884 + 80 * i, 1044, 64, 64), DrawDirCategory(i, 1));
      p.restore();
    }
    const QImage stripe = DrawDownloadStripe(1);
    p.fillRect(QRect(1130, 990, 245, 25), Qt::white);
    p.fillRect(QRect(1134, 994, 237, 17), Qt::black);
    p.setClipRect(QRect(1135, 995, 235, 15));
    for (int sx = -40; sx < 240; sx += stripe.width()) p.drawImage(1135 + sx, 995, stripe);
    p.setClipping(false);
  });
}

}  // namespace artwork
