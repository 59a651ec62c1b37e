// The picture of one caption button of a skinned form, drawn pixel by pixel as the frame design gives it.
#pragma once

#include <QImage>

namespace ktv {

enum : int { kCloseGlyph = 0, kMinimizeGlyph = 1, kMaximizeGlyph = 2 };

// A side x side square: state 0 normal, 1 hovered, 2 pressed; the maximise glyph shows two windows when the
// form is maximised.
QImage CaptionButtonPicture(int side, int glyph, int state, bool maximized);

}  // namespace ktv
