// Our own move and size drag of a frameless window, for window systems that refuse the system's (X11
// without a window manager) and for sizing, where the player's own rules (minimum size, aspect ratio) must
// apply while the pointer moves. The drag follows the pointer from a press until the button is released,
// or, when started from the window menu, until the next click; Esc puts the window back.
//
// Thread contract: main thread only.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>

namespace ktv {

class tWindowDrag : public QObject {
  Q_OBJECT

 public:
  // The edges a drag moves (none: the whole window moves).
  enum : int { Left = 1, Top = 2, Right = 4, Bottom = 8 };

  explicit tWindowDrag(QWidget* window);
  ~tWindowDrag() override;

  // Starts following the pointer from a global position. untilClick: no button is held (the window menu).
  void Start(int edges, QPoint globalStart, bool untilClick);
  void Stop();
  bool Active() const { return Dragging; }
  int Edges() const { return DragEdges; }

  // Corrects a proposed size while sizing (minimum, aspect); the edges opposite the dragged ones stay put.
  std::function<QSize(QSize proposed, int edges)> Constrain;

  // The bounds for the pointer at a global position (also what the drag applies).
  QRect BoundsFor(QPoint global) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> Window;
  bool Dragging = false;
  bool UntilClick = false;
  int DragEdges = 0;
  QPoint StartPos;
  QRect StartBounds;
};

}  // namespace ktv
