// The one move and size drag of our frameless windows (the skinned forms and the main window). A move is a
// drag with no edges; a size drag moves the edges being dragged. Where the window system moves a window
// itself (Wayland needs that, and it is smoother elsewhere) Begin hands the move over to it; sizing stays
// ours, so that the window's own rules (minimum size, the video's aspect) apply while the pointer moves,
// unless the window system owns the geometry or the window asks for the system's sizing. Our drag follows
// the pointer from a press until the button is released, or, when started from the window menu, until the
// next click; Esc puts the window back.
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

// Window systems where a client may not place or size its own windows (Wayland): there the system moves
// and sizes them, and our rules follow once the new size arrives.
bool SystemOwnsGeometry();
// Whether the window system makes a whole window translucent (setWindowOpacity). Wayland has no such
// request: there the fades are left out and windows show at once.
bool WindowOpacityAvailable();

class tWindowDrag : public QObject {
  Q_OBJECT

 public:
  explicit tWindowDrag(QWidget* window);
  ~tWindowDrag() override;

  // A press with the left button held at a global position: the window system's move or size where it
  // takes it, otherwise our own drag.
  void Begin(Qt::Edges edges, QPoint globalStart);
  // Our own drag, whatever the window system offers. untilClick: no button is held (the window menu).
  void Start(Qt::Edges edges, QPoint globalStart, bool untilClick);
  void Stop();
  bool Active() const { return Dragging; }
  // The edges of the last drag begun, ours or the system's (none for a move).
  Qt::Edges Edges() const { return DragEdges; }

  // Corrects a proposed size while sizing (minimum, aspect); the edges opposite the dragged ones stay put.
  std::function<QSize(QSize proposed, Qt::Edges edges)> Constrain;
  // Sizing goes to the window system wherever it takes it (dialogs without rules of their own).
  bool SystemSizing = false;

  // The bounds for the pointer at a global position (also what the drag applies).
  QRect BoundsFor(QPoint global) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> Window;
  bool Dragging = false;
  bool UntilClick = false;
  Qt::Edges DragEdges;
  QPoint StartPos;
  QRect StartBounds;
};

}  // namespace ktv
