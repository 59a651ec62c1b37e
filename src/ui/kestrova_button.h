// The skinned push button: a blue face that lightens under the pointer and when pressed, an optional image
// beside the caption, a dotted focus rectangle. A click sets the form's modal result (closing a modal form)
// before the click handlers run. Enter clicks the active button (the focused one, or the default one while
// no other button has the focus) and Escape a Cancel one, both only without shift keys.
#pragma once

#include <QAbstractButton>

#include "ui/image_list.h"

namespace ktv {

enum class tButtonImagePosition { bipLeft, bipRight };

class TKestrovaButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit TKestrovaButton(QWidget* parent = nullptr, const QString& caption = QString());

  int ModalResult() const { return Result; }
  void SetModalResult(int result) { Result = result; }
  bool Cancel() const { return IsCancel; }
  void SetCancel(bool cancel) { IsCancel = cancel; }
  bool Default() const { return IsDefault; }
  void SetDefault(bool isDefault);
  // Takes Enter: focused, or the default button while the focus is not on another button.
  bool IsActive() const { return Active; }

  const TImageList* ImageList() const { return Images; }
  void SetImageList(const TImageList* images);
  int ImageIndex() const { return Index; }
  void SetImageIndex(int index);
  tButtonImagePosition Layout() const { return Position; }
  void SetLayout(tButtonImagePosition position);
  Qt::Alignment TextAlignment() const { return Alignment; }
  void SetTextAlignment(Qt::Alignment alignment);

  // True when the typed text is the caption's accelerator character (case ignored).
  bool IsAccelerator(const QString& typed) const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void FocusChanged(QWidget* now);

  int Result = 0;
  bool IsCancel = false;
  bool IsDefault = false;
  bool Active = false;
  bool Hover = false;
  bool SpaceDown = false;
  const TImageList* Images = nullptr;
  int Index = -1;
  tButtonImagePosition Position = tButtonImagePosition::bipLeft;
  Qt::Alignment Alignment = Qt::AlignHCenter;
};

}  // namespace ktv
