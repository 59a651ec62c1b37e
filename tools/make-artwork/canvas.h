// Drawing helpers shared by every picture of the artwork generator. Pictures are drawn in logical pixels (the
// size the program knows) on a painter scaled by 1 or 2, so the @2x pictures are drawn, not enlarged.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSize>
#include <functional>

namespace artwork {

// The key colours the program cuts away: pure blue around the frame corner and the stand's neck, lime
// around the knob's scale dots.
inline const QColor kBlueKey(0, 0, 255);
inline const QColor kLimeKey(0, 255, 0);

using DrawFunction = std::function<void(QPainter&)>;

// A picture of logical size `size` drawn at `scale` on a canvas first filled with `fill`; the painter is
// antialiased and works in logical units.
QImage Paint(QSize size, int scale, const QColor& fill, const DrawFunction& draw);

// Turns a picture drawn on a transparent canvas into a keyed one: pixels at least half covered become
// opaque (their soft edge laid over `backdrop`), all others become exactly `key`. An edge thus never
// blends toward the key colour, which would show as a coloured fringe once the key is cut away.
QImage FlattenToKey(const QImage& painted, const QColor& key, const QColor& backdrop);

// The picture without alpha (the console's pictures are plain 24-bit ones).
QImage Opaque(const QImage& painted);

// Liberation Sans at a size in logical pixels.
QFont Font(qreal pixelSize, bool bold);

// Linear mix of two colours, t = 0 gives a, t = 1 gives b.
QColor Mix(const QColor& a, const QColor& b, qreal t);

// The colour scaled toward black (factor below 1) or toward white (factor above 1, as a lighten amount).
QColor Darken(const QColor& c, qreal factor);

// A colour at position t of a gradient given as stops (position, colour), positions ascending.
QColor Sample(std::initializer_list<std::pair<qreal, QColor>> stops, qreal t);

}  // namespace artwork
