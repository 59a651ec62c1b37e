// TV_GADGETS: every console button in its three states (normal, under the pointer, pressed). Six rows of
// three 14 x 14 images (menu, close, minimise, maximise, play, stop), then 21 images 50 x 14 (seven labelled
// buttons, three states each). The buttons are opaque pictures, so each is drawn over the piece of the
// composed console it covers.
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>

#include "canvas.h"
#include "console.h"
#include "pictures.h"

namespace artwork {
namespace {

using console::Button;
using console::Glyph;

constexpr int kSmall = 14;
constexpr int kWideWidth = 50;
constexpr int kWideTop = 6 * kSmall;
const QSize kGadgetsSize(50, kWideTop + 21 * kSmall);

enum State { kNormal, kHover, kPressed };

// The cool blue that lights a button under the pointer.
const QColor kAccent(84, 170, 236);
const QColor kGlyph(226, 230, 236);

struct Look {
  QColor top, bottom, glyph;
};

Look LookOf(State state, Glyph glyph) {
  switch (state) {
    case kHover:
      if (glyph == Glyph::Close) return {QColor(236, 96, 80), QColor(150, 30, 22), Qt::white};
      return {Mix(QColor(100, 106, 120), kAccent, 0.35), QColor(30, 44, 60), Qt::white};
    case kPressed:
      if (glyph == Glyph::Close) return {QColor(110, 20, 14), QColor(196, 60, 46), QColor(236, 220, 218)};
      return {QColor(16, 18, 22), QColor(58, 64, 76), QColor(200, 214, 228)};
    case kNormal:
      break;
  }
  return {QColor(96, 101, 113), QColor(26, 28, 33), kGlyph};
}

// The button's body: a glossy dark shape with a thin dark edge and a light line along its top.
void PaintBody(QPainter& p, const QPainterPath& shape, const QRectF& box, State state, const Look& look) {
  QLinearGradient fill(0, box.top(), 0, box.bottom());
  fill.setColorAt(0, look.top);
  fill.setColorAt(0.5, Mix(look.top, look.bottom, 0.7));
  fill.setColorAt(1, look.bottom);
  p.setPen(QPen(QColor(8, 9, 11), 1));
  p.setBrush(fill);
  p.drawPath(shape);
  if (state != kPressed) {
    // The gloss on the upper half.
    QLinearGradient gloss(0, box.top(), 0, box.center().y());
    gloss.setColorAt(0, QColor(255, 255, 255, 90));
    gloss.setColorAt(1, QColor(255, 255, 255, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.setClipPath(shape);
    p.drawRect(QRectF(box.left(), box.top(), box.width(), box.height() / 2));
    p.setClipping(false);
  }
  if (state == kHover) {
    QColor ring = kAccent;
    ring.setAlpha(150);
    p.setPen(QPen(ring, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
  }
}

void PaintGlyph(QPainter& p, Glyph glyph, const QColor& colour, State state) {
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  switch (glyph) {
    case Glyph::Menu:
      for (int y : {3, 6, 9}) p.drawRect(QRectF(4, y, 6, 2));
      break;
    case Glyph::Close: {
      p.setPen(QPen(colour, 1.7, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(4.5, 4.5), QPointF(9.5, 9.5));
      p.drawLine(QPointF(9.5, 4.5), QPointF(4.5, 9.5));
      break;
    }
    case Glyph::Minimise:
      p.drawRect(QRectF(4, 8.5, 6, 2));
      break;
    case Glyph::Maximise: {
      QPainterPath window;
      window.addRect(QRectF(3.5, 3.5, 7, 7));
      window.addRect(QRectF(4.5, 6, 5, 3.5));
      window.setFillRule(Qt::OddEvenFill);
      p.drawPath(window);
      break;
    }
    case Glyph::Play: {
      QColor c = state == kHover ? QColor(140, 236, 140) : colour;
      p.setBrush(c);
      p.drawPolygon(QPolygonF({QPointF(5.5, 3.8), QPointF(10.6, 7), QPointF(5.5, 10.2)}));
      break;
    }
    case Glyph::Stop: {
      QColor c = state == kHover ? QColor(255, 128, 112) : colour;
      p.setBrush(c);
      p.drawRoundedRect(QRectF(4.5, 4.5, 5, 5), 0.6, 0.6);
      break;
    }
    case Glyph::Label:
      break;
  }
}

// The largest font (in pixels) in which every label fits a wide button with room on both sides.
QFont LabelFont() {
  for (qreal size = 10; size > 6; size -= 0.5) {
    const QFont font = Font(size, true);
    QFontMetricsF metrics(font);
    bool fits = true;
    for (const Button& button : console::Buttons()) {
      if (button.glyph == Glyph::Label && metrics.horizontalAdvance(button.label) > kWideWidth - 10)
        fits = false;
    }
    if (fits) return font;
  }
  return Font(6, true);
}

void PaintButton(QPainter& p, const Button& button, State state, int scale) {
  const QRectF box(0.5, 0.5, button.place.width() - 1, button.place.height() - 1);
  const Look look = LookOf(state, button.glyph);
  QPainterPath shape;
  switch (button.glyph) {
    case Glyph::Play:
    case Glyph::Stop:
      shape.addEllipse(box);
      break;
    case Glyph::Label:
      shape.addRoundedRect(box, box.height() / 2, box.height() / 2);
      break;
    default:
      shape.addRoundedRect(box, 3, 3);
      break;
  }
  PaintBody(p, shape, box, state, look);
  // Pressed, the glyph sinks by one device pixel.
  if (state == kPressed) p.translate(0, 1.0 / scale);
  if (button.glyph != Glyph::Label) {
    PaintGlyph(p, button.glyph, look.glyph, state);
    return;
  }
  // Whole-pixel text boxes keep the small label sharp.
  const QRectF textBox(0, 0, button.place.width(), button.place.height());
  p.setFont(LabelFont());
  p.setPen(QColor(0, 0, 0, 130));
  p.drawText(textBox.translated(0, 1), Qt::AlignCenter, button.label);
  p.setPen(look.glyph);
  p.drawText(textBox, Qt::AlignCenter, button.label);
}

}  // namespace

QImage DrawTvGadgets(int scale) {
  const QImage console = console::ComposeBackground(scale);
  return Opaque(Paint(kGadgetsSize, scale, console::BodyColour(40), [&](QPainter& p) {
    for (const Button& button : console::Buttons()) {
      for (int state = kNormal; state <= kPressed; ++state) {
        const bool small = button.glyph != Glyph::Label;
        const QPoint at = small ? QPoint(kSmall * state, kSmall * (button.firstImage / 3))
                                : QPoint(0, kWideTop + kSmall * (button.firstImage + state));
        const QRect source(button.place.topLeft() * scale, button.place.size() * scale);
        p.drawImage(QRectF(at, button.place.size()), console, source);
        p.save();
        p.translate(at);
        PaintButton(p, button, static_cast<State>(state), scale);
        p.restore();
      }
    }
  }));
}

}  // namespace artwork
