// The sizing rules on their own, where a window cannot show the case (screens of other sizes, odd pixel
// aspects).
#include "ui/window_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ktv {
namespace {

TEST(WindowGeometry, PlacedInsideTheAvailableArea) {
  const QRect area(100, 50, 1000, 700);  // a second monitor's work area
  struct {
    QSize size;
    QPoint centre;
    QRect expect;
    const char* note;
  } rows[] = {
      {{400, 300}, {600, 400}, {400, 250, 400, 300}, "centred on the old centre"},
      {{400, 300}, {120, 60}, {100, 50, 400, 300}, "pushed right and down into the area"},
      {{400, 300}, {1090, 740}, {700, 450, 400, 300}, "pushed left and up into the area"},
      {{1400, 900}, {600, 400}, {100, 50, 1000, 700}, "larger than the area: limited to it"},
  };
  for (const auto& r : rows) EXPECT_EQ(PlaceInArea(r.size, r.centre, area), r.expect) << r.note;
}

TEST(WindowGeometry, PictureRatioRefusesUnusableAspects) {
  EXPECT_DOUBLE_EQ(PictureRatio(320, 240, 1.0), 0.75);
  EXPECT_DOUBLE_EQ(PictureRatio(720, 576, 16.0 / 15.0), 576.0 / 768.0) << "wide pixels";
  EXPECT_EQ(PictureRatio(320, 240, 0.0), 0) << "no pixel aspect";
  EXPECT_EQ(PictureRatio(320, 240, 0.001), 0) << "a picture squeezed to nothing";
  EXPECT_EQ(PictureRatio(0, 240, 1.0), 0);
  EXPECT_EQ(PictureRatio(320, 240, std::nan("")), 0);
}

TEST(WindowGeometry, AspectRuleNeverGoesBelowTheMinimum) {
  const QSize minimum(312, 218);
  // A tall picture (ratio 2): the width following a low height would drop below the minimum width.
  EXPECT_EQ(KeepAspect({320, 300}, 2.0, minimum, false), QSize(312, 300));
  // A wide picture (ratio 0.25): the height following a narrow width would drop below the minimum height.
  EXPECT_EQ(KeepAspect({400, 230}, 0.25, minimum, true), QSize(400, 218));
  EXPECT_EQ(KeepAspect({400, 230}, 0.0, minimum, true), QSize(400, 230)) << "no video: no rule";
}

TEST(WindowGeometry, AspectRuleLeadsByWidthExceptForTheTopOrBottomEdgeAlone) {
  struct {
    Qt::Edges edges;
    bool byWidth;
  } rows[] = {
      {Qt::TopEdge, false},
      {Qt::BottomEdge, false},
      {Qt::LeftEdge, true},
      {Qt::RightEdge, true},
      {Qt::TopEdge | Qt::LeftEdge, true},      // corners follow the width
      {Qt::BottomEdge | Qt::RightEdge, true},  // the menu's Size drag
      {{}, true},                              // the window system's sizing, edges unknown
  };
  for (const auto& r : rows) EXPECT_EQ(DragSizesByWidth(r.edges), r.byWidth) << r.edges.toInt();
}

TEST(WindowGeometry, MaximiseRemembersTheBoundsAndRestoresThem) {
  const QRect area(0, 0, 1600, 1100), placed(200, 150, 640, 480);
  tMaximizer maximize;
  EXPECT_FALSE(maximize.IsMaximized());
  EXPECT_EQ(maximize.Toggle(placed, area), area);
  EXPECT_TRUE(maximize.IsMaximized());
  // While maximised the window's bounds are the area's; restoring gives the ones from before.
  EXPECT_EQ(maximize.Toggle(area, area), placed);
  EXPECT_FALSE(maximize.IsMaximized());

  EXPECT_EQ(maximize.Toggle(placed.translated(10, 10), area), area);
  maximize.Forget();  // sized to a new picture while maximised
  EXPECT_FALSE(maximize.IsMaximized());
  const QRect picture(300, 200, 352, 288);
  EXPECT_EQ(maximize.Toggle(picture, area), area) << "maximising again remembers the new place";
  EXPECT_EQ(maximize.Toggle(area, area), picture);
}

}  // namespace
}  // namespace ktv
