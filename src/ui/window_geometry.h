// The sizing rules of our windows, apart from any window: the size a video opens at, fitting into a
// monitor's available area, the aspect rule while resizing, the picture in full screen and our own maximise.
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

// The aspect rule's lead for a drag of these edges: the top or the bottom edge alone sizes by height, every
// other edge or corner (and the window system's sizing, whose edges we do not know) by width.
bool DragSizesByWidth(Qt::Edges edges);

// The picture's rectangle in full screen: as high as the client, or as wide when that is too wide, centred.
QRect FitPicture(QSize client, double ratio);

// Our own maximise, where no window manager may do it: the window covers an area (its monitor's available
// area, less what must stay visible), and restoring gives back the bounds it had before.
class tMaximizer {
 public:
  bool IsMaximized() const { return Maximized; }
  // The bounds the window takes: maximising remembers `current` and gives `area`; restoring gives the
  // remembered bounds back.
  QRect Toggle(const QRect& current, const QRect& area);
  // The window was placed anew (sized to a new picture): it is no longer maximised, and nothing is restored.
  void Forget() { Maximized = false; }

 private:
  bool Maximized = false;
  QRect RestoreBounds;
};

}  // namespace ktv
