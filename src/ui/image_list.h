// A list of equally sized images cut from one strip, as the skinned buttons draw them.
#pragma once

#include <QImage>
#include <QPoint>
#include <vector>

class QPainter;

namespace ktv {

class TImageList {
 public:
  TImageList() = default;
  // Cuts the strip into images `width` pixels wide (as many as fit); a null strip gives an empty list.
  TImageList(const QImage& strip, int width);

  int Count() const { return static_cast<int>(Images.size()); }
  int Width() const { return ImageWidth; }
  int Height() const { return ImageHeight; }
  // Draws image `index` at (x, y), greyed when not enabled; nothing for an index outside the list.
  void Draw(QPainter& painter, QPoint at, int index, bool enabled = true) const;

 private:
  std::vector<QImage> Images;
  int ImageWidth = 0, ImageHeight = 0;
};

}  // namespace ktv
