#include "ui/caption_button.h"

#include <algorithm>
#include <cstdlib>

#include "ui/skin_look.h"

namespace ktv {

namespace {

// Colours by state 0 (normal), 1 (hovered), 2 (pressed): outline, fill, cross (0x00BBGGRR).
struct tButtonColors {
  uint32_t Outline, Fill, Cross;
};
constexpr tButtonColors kButtonColors[3] = {
    {0xC0C0C0, 0x000000, 0x0000E0},
    {0xFFFFFF, 0x800000, 0x0000FF},
    {0xFFFFFF, 0xFF0000, 0x0000FF},
};

// Pixel helpers with the window system's drawing rules: a line leaves out its end point, a rectangle's
// right and bottom edges are exclusive.
void FillBox(QImage& image, int left, int top, int right, int bottom, QRgb color) {
  for (int y = std::max(top, 0); y < std::min(bottom, image.height()); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = std::max(left, 0); x < std::min(right, image.width()); ++x) row[x] = color;
  }
}

void Line(QImage& image, int x1, int y1, int x2, int y2, QRgb color) {
  const int dx = x2 - x1, dy = y2 - y1;
  const int steps = std::max(std::abs(dx), std::abs(dy));
  for (int i = 0; i < steps; ++i) {
    const int x = x1 + dx * i / steps, y = y1 + dy * i / steps;
    if (image.rect().contains(x, y)) image.setPixel(x, y, color);
  }
}

// A window symbol of the maximise glyph: outline on three sides, a bar on top, the inside in the fill.
void WindowSymbol(QImage& image, int x, int y, int w, int h, int bar, QRgb outline, QRgb fill) {
  Line(image, x, y, x, y + h, outline);
  Line(image, x, y + h, x + w, y + h, outline);
  Line(image, x + w, y + h, x + w, y, outline);
  FillBox(image, x, y, x + w + 1, y + bar, outline);
  FillBox(image, x + 1, y + bar, x + w, y + h, fill);
}

}  // namespace

QImage CaptionButtonPicture(int side, int glyph, int state, bool maximized) {
  const tButtonColors& colors = kButtonColors[std::clamp(state, 0, 2)];
  const QRgb outline = WinRgb(colors.Outline), fill = WinRgb(colors.Fill), cross = WinRgb(colors.Cross);
  const int s = side;
  QImage square(s, s, QImage::Format_RGB32);
  square.fill(outline);
  FillBox(square, 1, 1, s - 1, s - 1, fill);
  switch (glyph) {
    case kCloseGlyph:  // a cross three pixels thick
      for (int i = 0; i < 3; ++i) {
        Line(square, i + 3, 3, s - 3, s - i - 3, cross);
        Line(square, 3, i + 3, s - i - 3, s - 3, cross);
        Line(square, s - 4, i + 3, i + 2, s - 3, cross);
        Line(square, s - i - 4, 3, 2, s - i - 3, cross);
      }
      break;
    case kMinimizeGlyph:
      FillBox(square, 3, s - 6, s - 3, s - 3, outline);
      break;
    case kMaximizeGlyph:
      if (maximized) {
        WindowSymbol(square, 5, 3, s - 9, s - 10, 2, outline, fill);
        WindowSymbol(square, 3, 6, s - 9, s - 10, 2, outline, fill);
      } else {
        WindowSymbol(square, 3, 3, s - 7, s - 7, 3, outline, fill);
      }
      break;
    default:
      break;
  }
  return square;
}

}  // namespace ktv
