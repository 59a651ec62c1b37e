// The main window's sizing rules, apart from any window: the size a video opens at, fitting into a monitor's
// available area, the aspect rule while resizing and the picture in full screen.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace ktv {

// Pictures at least this wide or high are shown at their own size; smaller ones are doubled.
constexpr int kOwnSizeWidth = 350, kOwnSizeHeight = 280;

// The client size for a video picture of w x h with the panel's border insets.
QSize ClientSizeForPicture(int w, int h, int insetX, int insetY);

// A client size whose picture (inside the insets) is scaled down uniformly, keeping its shape, until the
// whole fits `bounds`; a size that fits stays. The width and height are never limited apart: that would
// squash the picture.
QSize FitPictureSize(QSize client, QSize bounds, int insetX, int insetY);

// A window of `size` limited to the area, centred on `centre`, then moved inside the area.
QRect PlaceInArea(QSize size, QPoint centre, const QRect& area);

// The video's height / width for the aspect rule: frame height over the frame width scaled by the pixel
// aspect ratio (truncated, as the picture is laid out). 0 when there is no usable ratio.
double PictureRatio(int frameWidth, int frameHeight, double pixelAspect);

// The aspect rule while a border is dragged: with dragByWidth the height follows the width, otherwise the
// width follows the height; neither goes below the minimum.
QSize KeepAspect(QSize proposed, double ratio, QSize minimum, bool dragByWidth);

// The picture's rectangle in full screen: as high as the client, or as wide when that is too wide, centred.
QRect FitPicture(QSize client, double ratio);

}  // namespace ktv
