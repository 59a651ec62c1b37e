#include "ui/kestrova_image_button.h"

#include <gtest/gtest.h>

#include <QTest>

namespace ktv {
namespace {

// Four 10 x 10 images, each one grey level: image i is (i + 1) * 50.
TImageList Levels() {
  QImage strip(40, 10, QImage::Format_ARGB32);
  for (int i = 0; i < 4; ++i)
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x)
        strip.setPixel(i * 10 + x, y, qRgb((i + 1) * 50, (i + 1) * 50, (i + 1) * 50));
  return TImageList(strip, 10);
}

// The grey level shown; 0 where the button drew nothing and its background shows.
int ShownLevel(TKestrovaImageButton& button) {
  const QRgb shown = button.grab().toImage().pixel(5, 5);
  return shown == button.palette().color(QPalette::Window).rgb() ? 0 : qRed(shown);
}

TEST(KestrovaImageButton, ImageFollowsPointerAndButton) {
  const TImageList images = Levels();
  struct Row {
    int Index, Glyphs;
    int Normal, Over, Held;  // grey level shown, 0 = nothing
  } rows[] = {
      {0, 3, 50, 100, 150},
      {1, 3, 100, 150, 200},
      {1, 2, 100, 150, 150},  // capped at NumGlyphs - 1
      {2, 3, 150, 200, 0},    // beyond the list: nothing
  };
  for (const Row& row : rows) {
    TKestrovaImageButton button;
    button.SetImageList(&images);
    EXPECT_EQ(button.size(), QSize(10, 10)) << "sized to one image";
    button.SetImageIndex(row.Index);
    button.SetNumGlyphs(row.Glyphs);
    button.show();
    EXPECT_EQ(ShownLevel(button), row.Normal);
    QTest::mouseMove(&button, QPoint(5, 5));
    EXPECT_EQ(ShownLevel(button), row.Over);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(ShownLevel(button), row.Held);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));
  }
  TKestrovaImageButton bare;
  bare.resize(10, 10);
  EXPECT_EQ(ShownLevel(bare), 0) << "no image list draws nothing";
}

}  // namespace
}  // namespace ktv
