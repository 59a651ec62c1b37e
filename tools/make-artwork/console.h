// The console window's layout as the program composes it, so its pictures can be drawn to fit together:
// the knob's corners, the buttons' edges and the divider strip all show the body behind them.
#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <QString>
#include <vector>

class QPainter;

namespace artwork::console {

constexpr int kWidth = 367;
constexpr int kHeight = 116;
constexpr int kStandWidth = 84;
constexpr int kStandHeight = 17;
constexpr int kBodyTop = kStandHeight - 1;  // the body covers the neck's last row
constexpr int kBodyHeight = 100;
constexpr int kEndWidth = 7;      // TV_LEFT, TV_RIGHT
constexpr int kMiddleWidth = 25;  // TV_MIDDLE, repeated
constexpr int kKnobSize = 53;
constexpr int kKnobX = kWidth - (kKnobSize + 20);
constexpr int kKnobY = 46;
inline const QPointF kKnobCentre(kKnobX + kKnobSize / 2, kKnobY + kKnobSize / 2);
constexpr int kDotSize = 4;
const QRect kSeparator(kKnobX - 23, 35, 8, 81);
// The dark glass panel: black at alpha 0x5A over the body.
const QRect kGlass(7, 35, kKnobX - 29, 74);
constexpr int kGlassAlpha = 0x5a;
const QRect kHStrip(5, 83, kKnobX - 26, 6);
constexpr int kHStripWidth = 37;

// Body row r (0 at the body's top) of the plain middle piece.
QColor BodyColour(qreal row);

// The body's rows across `area`, body row 0 at window y `top` (logical pixels; one fill per device row).
void PaintBody(QPainter& p, const QRectF& area, qreal top, int scale);

// The background as the console composes it before its texts and pointer: stand, body, knob, separator,
// glass, divider strip and scale dots.
QImage ComposeBackground(int scale);

// The buttons on the console, with the images the program cuts for them from TV_GADGETS.
enum class Glyph { Menu, Close, Minimise, Maximise, Play, Stop, Label };
struct Button {
  Glyph glyph;
  QString label;   // the wide buttons' text
  QRect place;     // window coordinates
  int firstImage;  // normal state; hover and pressed follow (small buttons: 3 x gadget row)
};
const std::vector<Button>& Buttons();

}  // namespace artwork::console
