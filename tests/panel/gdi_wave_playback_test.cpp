// The raster back-end on Qt's offscreen platform.
#include "playback/qt/gdi_wave_playback.h"

#include <gtest/gtest.h>

#include <QPainter>

#include "panel/backend_checks.h"

namespace ktv {
namespace {

using test::RasterKind;
using test::RunEvents;
using test::tPanelWindow;

// ConvertFrame into a 32-bit picture is YUVToRGB32 itself.
constexpr int kTolerance = 1;

TEST(GDIWavePlayback, ShowsAFrameAtItsOwnSize) {
  test::CheckFrameAtItsOwnSize(RasterKind(), kTolerance);
}

TEST(GDIWavePlayback, StretchesASmallerFrame) {
  test::CheckFrameStretched(RasterKind());
}

TEST(GDIWavePlayback, DrawsTheFrameArtworkAndShapesTheWindow) {
  test::CheckFrameArtwork(RasterKind(), 2);
}

TEST(GDIWavePlayback, VisualisationPictureReplacesVideoAndAnEmptyOneBlanksIt) {
  test::CheckVisualisationPictures(RasterKind(), 2);
}

TEST(GDIWavePlayback, ShowsThePictureLinkAfterASoundOnlyLink) {
  test::CheckPictureAfterASoundOnlyLink(RasterKind());
}

TEST(GDIWavePlayback, PlaysAClipEndToEnd) {
  test::CheckPlaysClipEndToEnd(RasterKind());
}

TEST(GDIWavePlayback, EdgesAreStretchedFromTheCornersInnerStrips) {
  // A frame whose inner strips are graded: columns 49..63 get redder to the right, rows 42..55 greener
  // downwards, so every edge piece shows which strip it came from and which way round.
  tFrameArtwork art = test::tTestArtwork::Make();
  for (int y = 0; y < 56; ++y)
    for (int x = 0; x < 64; ++x)
      if (!test::tTestArtwork::Outside(x, y) && (x >= 49 || y >= 42)) {
        art.Frame.setPixel(x, y,
                           qRgb(x >= 49 ? 100 + (x - 49) * 10 : 0, y >= 42 ? 100 + (y - 42) * 10 : 0, 0));
        art.Mask.setPixel(x, y, qRgb(255, 0, 0));
      }
  const test::tScopedArtwork artwork(art);
  tPanelWindow window(RasterKind(), true);
  window.Player->HighQuality = false;  // nearest: each stretched column keeps its own colour
  window.Player->ShowVisualFrame(nullptr, 0, 0);
  const QImage shown = window.Grab();
  struct {
    QPoint At;
    int Red, Green;  // -1: not checked
    const char* Note;
  } rows[] = {
      {{64, 45}, 240, -1, "top edge starts at 64 with the mirrored strip's outer column"},
      {{319, 45}, 100, -1, "and runs inward to 320"},
      {{320, 45}, 100, -1, "the right half starts at 320 with the strip's inner column"},
      {{575, 45}, 240, -1, "and reaches the corner at 576"},
      {{64, 434}, 240, -1, "bottom edge, left half"},
      {{575, 434}, 240, -1, "bottom edge, right half"},
      {{45, 56}, -1, 230, "left edge starts at 56 with the mirrored strip's outer row"},
      {{45, 239}, -1, 100, "and runs inward to 240"},
      {{45, 240}, -1, 100, "the lower half starts at 240"},
      {{45, 423}, -1, 230, "and reaches the corner at 424"},
      {{594, 56}, -1, 230, "right edge, upper half"},
      {{594, 423}, -1, 230, "right edge, lower half"},
  };
  for (const auto& row : rows) {
    const QRgb p = shown.pixel(row.At);
    if (row.Red >= 0) {
      EXPECT_NEAR(qRed(p), row.Red, 12) << row.Note;
    }
    if (row.Green >= 0) {
      EXPECT_NEAR(qGreen(p), row.Green, 12) << row.Note;
    }
  }
}

TEST(GDIWavePlayback, EdgesMeetTheCornersWithoutBlendingTwice) {
  // A half-transparent band over an even picture: wherever a piece overlapped a corner, the band would be
  // blended twice there and show darker.
  tFrameArtwork art = test::tTestArtwork::Make();
  for (int y = 0; y < 56; ++y)
    for (int x = 0; x < 64; ++x)
      if (qRed(art.Mask.pixel(x, y)) == 255) art.Mask.setPixel(x, y, qRgb(128, 0, 0));
  const test::tScopedArtwork artwork(art);
  for (QSize size : {QSize(640, 480), QSize(641, 481)}) {
    tPanelWindow window(RasterKind(), true, size);
    std::vector<uint32_t> grey(16 * 16, 0x00C0C0C0u);
    window.Player->ShowVisualFrame(grey.data(), 16, 16);
    const QImage shown = window.Grab();
    const int w = size.width(), h = size.height();
    const QRgb band = shown.pixel(w / 2, 10);
    for (QPoint at : {QPoint(w - 64, 10), QPoint(w - 64, h - 11), QPoint(10, h - 56), QPoint(w - 11, h - 56),
                      QPoint(w - 65, h - 11), QPoint(w - 11, h - 57)})
      EXPECT_LE(test::ColourDistance(shown.pixel(at), band), 1)
          << w << " x " << h << " at " << at.x() << "," << at.y();
  }
}

TEST(GDIWavePlayback, GrainChangesThePictureOnlyFromLevelTwo) {
  test::tOwnedFrame frame = test::ClipFrame({"--width", "320", "--height", "240"});
  ASSERT_TRUE(frame.Valid);
  const QImage reference = test::ReferencePicture(frame);
  tPanelWindow window(RasterKind(), true);
  auto& player = static_cast<tGDIWavePlayback&>(*window.Player);
  player.SetFilmGrain(true);
  for (uint8_t level : {0, 1, 128, 255}) {
    player.SetFilmGrainLevel(level);
    player.ShowVideoFrame(&frame.Buffer, nullptr);
    const test::tDifference d = test::Difference(player.Picture(), reference.rect(), reference, {0, 0}, 0);
    if (level < 2)
      EXPECT_EQ(d.Max, 0) << "level " << int(level) << " draws no grain";
    else
      EXPECT_GT(d.Over, 0.3) << "level " << int(level) << " grains most pixels";
    EXPECT_LE(d.Max, level * 20 / 255 + 1) << "grain is at most its alpha away";
  }
  player.SetFilmGrain(false);
  player.ShowVideoFrame(&frame.Buffer, nullptr);
  EXPECT_EQ(test::Difference(player.Picture(), reference.rect(), reference, {0, 0}, 0).Max, 0);
}

// The grain is laid over the frame as it is converted, a band of rows at a time and a tile at a time: on
// coded sizes that are no multiple of the tile, every pixel must still be what the painter makes of the frame
// with a grain picture tiled over it, and each frame takes the next grain picture.
TEST(GDIWavePlayback, GrainCoversEveryPixelAsThePainterWouldBlendIt) {
  struct {
    const char *Width, *Height;
    const char* Note;
  } rows[] = {
      {"320", "240", "whole tiles and bands"},
      {"200", "150", "coded 208 x 160: part tiles on the right and at the bottom"},
      {"72", "20", "coded 80 x 32: two bands, a part tile"},
  };
  BuildYUVTables();
  for (const auto& row : rows) {
    test::tOwnedFrame frame = test::ClipFrame({"--width", row.Width, "--height", row.Height});
    ASSERT_TRUE(frame.Valid) << row.Note;
    QImage converted(frame.Buffer.y_width, frame.Buffer.y_height, QImage::Format_RGB32);
    converted.fill(Qt::black);
    YUVToRGB32(converted.bits(), static_cast<int32_t>(converted.bytesPerLine()), frame.Buffer);
    tPanelWindow window(RasterKind(), true);
    auto& player = static_cast<tGDIWavePlayback&>(*window.Player);
    player.SetFilmGrain(true);
    player.SetFilmGrainLevel(255);
    int last = -1;
    for (int shown = 0; shown < 3; ++shown) {
      player.ShowVideoFrame(&frame.Buffer, nullptr);
      ASSERT_EQ(player.Picture().size(), converted.size()) << row.Note;
      int matched = -1;
      for (int i = 0; i < tGDIWavePlayback::kGrainPictures; ++i) {
        QImage expected = converted;
        QPainter painter(&expected);
        painter.fillRect(expected.rect(), QBrush(player.Grain(i)));
        painter.end();
        if (test::Difference(player.Picture(), expected.rect(), expected, {0, 0}, 0).Max == 0) matched = i;
      }
      EXPECT_GE(matched, 0) << row.Note << ": frame " << shown << " is no grain picture tiled over the frame";
      EXPECT_NE(matched, last) << row.Note << ": the same grain twice in a row";
      last = matched;
    }
  }
}

// The picture region is found by the panel for both back-ends.
TEST(GDIWavePlayback, SourceRectangleIsThePictureRegion) {
  // A frame coded 320 x 256 with a 320 x 240 picture 8 rows down.
  std::vector<uint8_t> y(320 * 256, 128), u(160 * 128, 128), v(160 * 128, 128);
  yuv_buffer frame{320, 256, 320, 160, 128, 160, y.data(), u.data(), v.data()};
  struct {
    uint32_t OffsetY, PictureHeight;
    QRect Expected;
    const char* Note;
  } rows[] = {
      {8, 240, {0, 8, 320, 240}, "the picture 8 rows down"},
      {40, 240, {0, 16, 320, 240}, "an offset past the frame is held inside it"},
      {0, 999, {0, 0, 320, 256}, "a picture taller than the frame is cut to it"},
  };
  tPanelWindow window(RasterKind(), true);
  auto& player = static_cast<tGDIWavePlayback&>(*window.Player);
  for (const auto& row : rows) {
    theora_info info{};
    info.width = 320, info.height = 256, info.frame_width = 320, info.frame_height = row.PictureHeight;
    info.offset_y = row.OffsetY;
    player.SetVideoInfoSource([info](theora_info& out) {
      out = info;
      return true;
    });
    player.ShowVideoFrame(&frame, nullptr);
    EXPECT_EQ(player.GetSourceRect(), row.Expected) << row.Note;
  }
}

TEST(GDIWavePlayback, VideoFrameSuppressesTheVisualisationAndShutdownEmptiesThePicture) {
  test::tOwnedFrame frame = test::ClipFrame({"--width", "320", "--height", "240"});
  ASSERT_TRUE(frame.Valid);
  const test::tScopedArtwork artwork(test::tTestArtwork::Make());
  tPanelWindow window(RasterKind(), true);
  window.Player->Visualisation->SetSuppressed(false);
  window.Player->ShowVideoFrame(&frame.Buffer, nullptr);
  EXPECT_TRUE(window.Player->Visualisation->IsSuppressed());
  window.Player->Shutdown();
  RunEvents(20);
  EXPECT_LE(test::ColourDistance(window.Grab().pixel(320, 240), test::tTestArtwork::kScreen), 2)
      << "the empty screen";
}

TEST(GDIWavePlayback, ScreenshotWithTheFrame) {
  test::tOwnedFrame frame = test::ClipFrame({"--width", "628", "--height", "470"});
  ASSERT_TRUE(frame.Valid);
  tPanelWindow window(RasterKind(), true);
  window.Player->SetFilmGrain(true);
  window.Player->SetVideoInfoSource([&frame](theora_info& info) {
    info = frame.Info;
    return true;
  });
  window.Player->ShowVideoFrame(&frame.Buffer, nullptr);
  EXPECT_FALSE(test::SaveScreenshot(test::ShapedGrab(window), "panel_raster_border").empty());
}

}  // namespace
}  // namespace ktv
