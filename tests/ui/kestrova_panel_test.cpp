#include "ui/kestrova_panel.h"

#include <gtest/gtest.h>

#include <QTest>

namespace ktv {
namespace {

TEST(KestrovaPanel, TitleStripComesAndGoesWithTheTitle) {
  TKestrovaPanel panel(nullptr, "Playback Method");
  panel.resize(200, 80);
  panel.show();
  QImage picture = panel.grab().toImage();
  EXPECT_EQ(picture.pixel(150, 8) & 0xFFFFFF, 0x000000u) << "the black title strip";
  EXPECT_EQ(picture.pixel(100, 40) & 0xFFFFFF, 0xFFFFFFu) << "white inside";
  EXPECT_EQ(picture.pixel(100, 79) & 0xFFFFFF, 0x000000u) << "black outline";
  EXPECT_EQ(panel.ContentRect().top(), TKestrovaPanel::kTitleHeight);

  panel.resize(260, 80);
  EXPECT_EQ(panel.TitleStrip()->width(), 260) << "the strip follows the panel's width";

  panel.SetTitle("");
  picture = panel.grab().toImage();
  EXPECT_EQ(picture.pixel(150, 8) & 0xFFFFFF, 0xFFFFFFu) << "no title, no strip";
  EXPECT_EQ(panel.ContentRect().top(), 0);
}

TEST(KestrovaPanel, TitleMouseEventsComeFromTheStrip) {
  TKestrovaPanel panel(nullptr, "Drag me");
  panel.resize(200, 80);
  panel.show();
  QStringList seen;
  QObject::connect(&panel, &TKestrovaPanel::TitleMouseDown, [&](QMouseEvent*) { seen << "down"; });
  QObject::connect(&panel, &TKestrovaPanel::TitleMouseUp, [&](QMouseEvent*) { seen << "up"; });
  QObject::connect(&panel, &TKestrovaPanel::TitleClick, [&] { seen << "click"; });
  QTest::mouseClick(panel.TitleStrip(), Qt::LeftButton, {}, QPoint(20, 8));
  QTest::mouseClick(&panel, Qt::LeftButton, {}, QPoint(20, 50));
  EXPECT_EQ(seen.join(' '), "down up click") << "clicks below the strip are not title clicks";
}

}  // namespace
}  // namespace ktv
