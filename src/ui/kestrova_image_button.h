// A button that is only a picture: image ImageIndex + state from its image list, state 0 normal, 1 under
// the pointer, 2 under the pointer with the button held (capped at NumGlyphs - 1).
#pragma once

#include <QAbstractButton>

#include "ui/image_list.h"

namespace ktv {

class TKestrovaImageButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit TKestrovaImageButton(QWidget* parent = nullptr);

  // Also sizes the button to one image of the list.
  void SetImageList(const TImageList* images);
  const TImageList* ImageList() const { return Images; }
  void SetImageIndex(int index);
  int ImageIndex() const { return Index; }
  void SetNumGlyphs(int count);
  int NumGlyphs() const { return Glyphs; }
  // The image shown now (may lie outside the list: nothing is drawn then).
  int ShownImage() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  const TImageList* Images = nullptr;
  int Index = 0;
  int Glyphs = 3;
  bool Hover = false;
};

}  // namespace ktv
