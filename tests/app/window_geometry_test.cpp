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

}  // namespace
}  // namespace ktv
