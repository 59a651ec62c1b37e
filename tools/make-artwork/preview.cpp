// The preview sheet: the pictures put together the way the player does, so a person can judge the whole.
// The television is composed as the software back-end composes it (mirrored corners, stretched edge
// pieces, the window shape cut from the frame's non-blue pixels).
#include <QLinearGradient>
#include <QPainterPath>
#include <QRegion>

#include "canvas.h"
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

QImage Flipped(const QImage& image, bool horizontal, bool vertical) {
  return image.mirrored(horizontal, vertical);
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
  const QImage corners[4] = {frame, Flipped(frame, true, false), Flipped(frame, false, true),
                             Flipped(frame, true, true)};  // top-left, top-right, bottom-left, bottom-right
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
  const QImage keyed[4] = {frameKeyed, Flipped(frameKeyed, true, false), Flipped(frameKeyed, false, true),
                           Flipped(frameKeyed, true, true)};
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

}  // namespace

QImage DrawPreview() {
  const QSize sheet(1400, 760);
  return Paint(sheet, 1, QColor(92, 104, 120), [&](QPainter& p) {
    QLinearGradient desk(0, 0, 0, sheet.height());
    desk.setColorAt(0, QColor(120, 132, 150));
    desk.setColorAt(1, QColor(70, 78, 92));
    p.fillRect(QRect(QPoint(0, 0), sheet), desk);
    const QImage big = ComposeTelevision(TestPicture({320, 240}), 640, 480);
    p.drawImage(20, 20, big);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRect(20, 510, 160 * 3 / 2 * 2, 80 * 3), big, QRect(0, 0, 160, 80));
    p.drawImage(700, 20, ComposeTelevision(QImage(), 320, 240));
    p.drawImage(700, 300, ComposeTelevision(TestPicture({160, 120}), 200, 150));
    // The corner at eight times its size, to judge its pixels.
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRect(940, 300, 64 * 6, 56 * 6), DrawTvFrame(1));
    p.drawImage(QRect(940, 300 + 56 * 6 + 10, 64 * 3, 56 * 3), DrawTvMask(1));
    p.drawImage(QRect(940 + 64 * 3 + 10, 300 + 56 * 6 + 10, 64 * 3 / 2 * 2, 56 * 3), DrawTvFrame(2));
  });
}

}  // namespace artwork
