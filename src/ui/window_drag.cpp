#include "ui/window_drag.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

namespace ktv {

bool SystemOwnsGeometry() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool WindowOpacityAvailable() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

tWindowDrag::tWindowDrag(QWidget* window) : QObject(window), Window(window) {}

tWindowDrag::~tWindowDrag() {
  Stop();
}

void tWindowDrag::Begin(Qt::Edges edges, QPoint globalStart) {
  if (!Window) return;
  Stop();
  DragEdges = edges;
  if (QWindow* handle = Window->windowHandle()) {
    // A press on another of our windows (the console's caption moves the main window) stays ours where we
    // may place windows: a window manager starts such a move by centring the window under the pointer.
    const bool pressedOnWindow = Window->frameGeometry().contains(globalStart);
    if (!edges && (pressedOnWindow || SystemOwnsGeometry()) && handle->startSystemMove()) return;
    if (edges && (SystemSizing || SystemOwnsGeometry()) && handle->startSystemResize(edges)) return;
  }
  // The window system does not move or size for us (X11 without a window manager): our own drag.
  Start(edges, globalStart, false);
}

void tWindowDrag::Start(Qt::Edges edges, QPoint globalStart, bool untilClick) {
  if (!Window) return;
  Stop();
  DragEdges = edges;
  StartPos = globalStart;
  StartBounds = Window->geometry();
  UntilClick = untilClick;
  Dragging = true;
  // Every pointer event of the program passes here, whichever of our windows holds the pointer.
  qApp->installEventFilter(this);
  if (untilClick) Window->grabMouse();
}

void tWindowDrag::Stop() {
  if (!Dragging) return;
  Dragging = false;
  qApp->removeEventFilter(this);
  if (UntilClick && Window) Window->releaseMouse();
}

QRect tWindowDrag::BoundsFor(QPoint global) const {
  const QPoint delta = global - StartPos;
  QRect bounds = StartBounds;
  if (!DragEdges) return bounds.translated(delta);
  if (DragEdges & Qt::LeftEdge) bounds.setLeft(bounds.left() + delta.x());
  if (DragEdges & Qt::RightEdge) bounds.setRight(bounds.right() + delta.x());
  if (DragEdges & Qt::TopEdge) bounds.setTop(bounds.top() + delta.y());
  if (DragEdges & Qt::BottomEdge) bounds.setBottom(bounds.bottom() + delta.y());
  QSize size = bounds.size().expandedTo(Window ? Window->minimumSize() : QSize());
  if (Constrain) size = Constrain(size, DragEdges);
  // The edges not dragged stay where they were.
  const int left = (DragEdges & Qt::LeftEdge) ? StartBounds.right() + 1 - size.width() : StartBounds.left();
  const int top = (DragEdges & Qt::TopEdge) ? StartBounds.bottom() + 1 - size.height() : StartBounds.top();
  return {QPoint(left, top), size};
}

bool tWindowDrag::eventFilter(QObject* watched, QEvent* event) {
  // Each pointer event reaches one window first; its widgets then see it as usual. Events given to the
  // dragged widget straight (synthesised ones) count too: the bounds depend only on the global position, so
  // seeing an event twice places the window once.
  if (!Dragging || !Window || !(watched->isWindowType() || watched == Window))
    return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseMove: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (!UntilClick && !(mouse->buttons() & Qt::LeftButton))
        Stop();
      else
        Window->setGeometry(BoundsFor(mouse->globalPosition().toPoint()));
      return false;
    }
    case QEvent::MouseButtonRelease:
      if (!UntilClick) Stop();
      return false;
    case QEvent::MouseButtonPress:
      if (!UntilClick) return false;
      Stop();
      return true;  // the click that ends a menu move acts on nothing else
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape) return false;
      Window->setGeometry(StartBounds);
      Stop();
      return true;
    default:
      return false;
  }
}

}  // namespace ktv
