// The one move and size drag of our windows: which edges follow the pointer, the rules that correct the
// size, and how a drag from the window menu ends.
#include "ui/window_drag.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include "support/qt/qt_test_support.h"

namespace ktv {
namespace {

constexpr QRect kStart(100, 80, 300, 200);

// A plain window at kStart with a 120 x 90 minimum.
class tDragged {
 public:
  tDragged() : Drag(&Window) {
    Window.setMinimumSize(120, 90);
    Window.setGeometry(kStart);
  }
  QWidget Window;
  tWindowDrag Drag;
};

TEST(WindowDrag, EdgesFollowThePointerAndTheOthersStay) {
  const QPoint press(250, 180);
  struct {
    Qt::Edges edges;
    QPoint by;
    QRect expect;
    const char* note;
  } rows[] = {
      {{}, {30, -20}, {130, 60, 300, 200}, "no edges: the whole window moves"},
      {Qt::RightEdge, {40, 25}, {100, 80, 340, 200}, "the right edge only: the height stays"},
      {Qt::LeftEdge, {-40, 25}, {60, 80, 340, 200}, "the left edge: the right one stays"},
      {Qt::TopEdge, {10, 30}, {100, 110, 300, 170}, "the top edge: the bottom stays"},
      {Qt::RightEdge | Qt::BottomEdge, {50, 60}, {100, 80, 350, 260}, "a corner moves two edges"},
      {Qt::LeftEdge | Qt::TopEdge,
       {400, 400},
       {280, 190, 120, 90},
       "pushed past the opposite edges: the minimum, kept against the right and bottom edges"},
  };
  for (const auto& r : rows) {
    tDragged dragged;
    dragged.Drag.Start(r.edges, press, false);
    EXPECT_EQ(dragged.Drag.BoundsFor(press + r.by), r.expect) << r.note;
    EXPECT_EQ(dragged.Drag.Edges(), r.edges) << r.note;
  }
}

TEST(WindowDrag, ConstrainSeesTheEdgesAndItsSizeIsKept) {
  tDragged dragged;
  Qt::Edges seen;
  // A rule that keeps the height at half the width, as the main window's aspect rule does.
  dragged.Drag.Constrain = [&](QSize proposed, Qt::Edges edges) {
    seen = edges;
    return QSize(proposed.width(), proposed.width() / 2);
  };
  const QPoint press(100, 180);
  dragged.Drag.Start(Qt::LeftEdge, press, false);
  const QRect bounds = dragged.Drag.BoundsFor(press + QPoint(-100, 0));
  EXPECT_EQ(seen, Qt::LeftEdge);
  EXPECT_EQ(bounds, QRect(0, 80, 400, 200)) << "the rule's size, with the right and top edges in place";
  dragged.Drag.Start({}, press, false);
  seen = {};
  EXPECT_EQ(dragged.Drag.BoundsFor(press + QPoint(5, 5)).size(), kStart.size());
  EXPECT_EQ(seen, Qt::Edges()) << "a move asks no rule";
}

TEST(WindowDrag, PressedDragFollowsTheButtonUntilReleased) {
  tDragged dragged;
  dragged.Window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dragged.Window));
  const QRect start = dragged.Window.geometry();
  const QPoint grip(150, 100);
  QTest::mousePress(&dragged.Window, Qt::LeftButton, {}, grip);
  dragged.Drag.Begin(Qt::RightEdge | Qt::BottomEdge, dragged.Window.mapToGlobal(grip));
  ASSERT_TRUE(dragged.Drag.Active()) << "the offscreen platform sizes nothing itself";
  QTest::mouseMove(&dragged.Window, grip + QPoint(20, 10));
  EXPECT_EQ(dragged.Window.size(), start.size() + QSize(20, 10));
  QTest::mouseRelease(&dragged.Window, Qt::LeftButton, {}, grip + QPoint(20, 10));
  EXPECT_FALSE(dragged.Drag.Active());
  const QSize released = dragged.Window.size();
  QTest::mouseMove(&dragged.Window, grip + QPoint(60, 60));
  EXPECT_EQ(dragged.Window.size(), released) << "after the release the pointer moves nothing";
}

TEST(WindowDrag, MenuDragEndsWithAClickAndEscapePutsTheWindowBack) {
  for (const bool escape : {false, true}) {
    tDragged dragged;
    dragged.Window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dragged.Window));
    const QRect start = dragged.Window.geometry();
    const QPoint grip(150, 100);
    // Each round to a place of its own: without a button held, moving the pointer to where it already is
    // would send nothing.
    const QPoint by = escape ? QPoint(-25, 35) : QPoint(30, 15);
    dragged.Drag.Start({}, dragged.Window.mapToGlobal(grip), true);
    // No button is held while the window follows the pointer.
    QTest::mouseMove(&dragged.Window, grip + by);
    EXPECT_EQ(dragged.Window.geometry(), start.translated(by)) << escape;
    EXPECT_TRUE(dragged.Drag.Active());
    if (escape) {
      QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(&dragged.Window, &key);
      EXPECT_EQ(dragged.Window.geometry(), start) << "Esc: back where it was";
    } else {
      QTest::mouseClick(&dragged.Window, Qt::LeftButton, {}, grip);
      EXPECT_EQ(dragged.Window.geometry(), start.translated(by)) << "the click leaves it there";
    }
    EXPECT_FALSE(dragged.Drag.Active()) << escape;
  }
}

}  // namespace
}  // namespace ktv
