// What both back-ends must show, written once: the raster back-end runs these in tests/panel, the OpenGL one
// in tests/gl. Each check takes the back-end kind and the colour tolerance its conversion allows.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ogg/vorbis_codec.h"
#include "panel/panel_test_support.h"
#include "platform/message_target.h"
#include "stream/ogg_thread_manager.h"

namespace ktv::test {

// The inner part of a 640 x 480 panel that no frame artwork covers (corners are 64 x 56).
inline const QRect kInner(64, 56, 512, 368);

// A generated frame shown at its own size is the frame's picture region, pixel for pixel within the
// tolerance: with the border (inset by 6, 5) and without it, in every chroma layout (the reference is the CPU
// converter's picture of the same frame).
inline void CheckFrameAtItsOwnSize(const tBackendKind& kind, int tolerance) {
  struct {
    const char* Width;
    const char* Height;
    const char* PixelFormat;
    const char* Offset;  // null: centred
    bool Border;
    QPoint At;  // where the picture's top-left lands
    const char* Note;
  } rows[] = {
      {"628", "470", "420", nullptr, true, {6, 5}, "coded 640 x 480, the picture at (6, 4)"},
      {"640", "480", "420", nullptr, false, {0, 0}, "no border: the picture fills the panel"},
      {"628", "470", "422", "6:3", true, {6, 5}, "4:2:2, the picture on an odd row"},
      {"628", "470", "444", "5:3", true, {6, 5}, "4:4:4, the picture at an odd column and row"},
      {"640", "480", "444", nullptr, false, {0, 0}, "4:4:4 filling the panel"},
      {"640", "480", "422", nullptr, false, {0, 0}, "4:2:2 filling the panel"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(kind.Name) + ": " + row.Note);
    std::vector<std::string> options = {"--width",  row.Width,  "--height",
                                        row.Height, "--pixfmt", row.PixelFormat};
    if (row.Offset) options.insert(options.end(), {"--offset", row.Offset});
    tOwnedFrame frame = ClipFrame(options);
    ASSERT_TRUE(frame.Valid);
    ASSERT_EQ(frame.Info.pixelformat, row.PixelFormat == std::string("420")   ? OC_PF_420
                                      : row.PixelFormat == std::string("422") ? OC_PF_422
                                                                              : OC_PF_444);
    tPanelWindow window(kind, row.Border);
    window.Player->SetVideoInfoSource([&frame](theora_info& info) {
      info = frame.Info;
      return true;
    });
    window.Player->ShowVideoFrame(&frame.Buffer, nullptr);
    const QImage shown = window.Grab();
    ASSERT_EQ(shown.size(), QSize(640, 480));
    const QRect area = row.Border ? kInner : shown.rect();
    const QImage reference = ReferencePicture(frame);
    const tDifference d = Difference(shown, area, reference, row.At, tolerance);
    EXPECT_LE(d.Max, tolerance) << "mean " << d.Mean;
    // The edge of the picture: one pixel off would show the picture shifted against the reference.
    EXPECT_LE(ColourDistance(shown.pixel(row.At), reference.pixel(0, 0)), tolerance);
    EXPECT_LE(ColourDistance(shown.pixel(row.At + QPoint(reference.width() - 1, reference.height() - 1)),
                             reference.pixel(reference.width() - 1, reference.height() - 1)),
              tolerance);
  }
}

// A smaller frame is stretched over the panel, smoothly or not: close to the reference scaled alike.
inline void CheckFrameStretched(const tBackendKind& kind) {
  tOwnedFrame frame = ClipFrame({"--width", "320", "--height", "240"});
  ASSERT_TRUE(frame.Valid);
  for (bool smooth : {true, false}) {
    SCOPED_TRACE(std::string(kind.Name) + (smooth ? ": smooth" : ": nearest"));
    tPanelWindow window(kind, false);
    window.Player->HighQuality = smooth;
    window.Player->ShowVideoFrame(&frame.Buffer, nullptr);
    const QImage shown = window.Grab();
    const QImage expected = ReferencePicture(frame).scaled(
        640, 480, Qt::IgnoreAspectRatio, smooth ? Qt::SmoothTransformation : Qt::FastTransformation);
    const tDifference d = Difference(shown, shown.rect(), expected, {0, 0}, 24);
    // Filters differ in their rounding and in where they sample between pixels; a flipped, shifted or
    // wrongly filtered picture is far beyond these.
    EXPECT_LT(d.Mean, 3.0);
    EXPECT_LT(d.Over, 0.02);
  }
}

// With the test artwork: the frame is in all four corners (mirrored) and along the edges with the border on,
// absent with it off; and the owner window is shaped with rounded corners and the straight parts.
inline void CheckFrameArtwork(const tBackendKind& kind, int tolerance) {
  const tScopedArtwork artwork(tTestArtwork::Make());
  tOwnedFrame frame = ClipFrame({"--width", "640", "--height", "480"});
  ASSERT_TRUE(frame.Valid);
  const QImage reference = ReferencePicture(frame);
  struct {
    QPoint At;
    const char* Note;
  } bandPoints[] = {
      {{10, 30}, "top-left corner"},     {{629, 30}, "top-right corner, mirrored"},
      {{10, 449}, "bottom-left corner"}, {{629, 449}, "bottom-right corner"},
      {{320, 10}, "top edge"},           {{320, 469}, "bottom edge"},
      {{10, 240}, "left edge"},          {{629, 240}, "right edge"},
  };
  for (bool border : {true, false}) {
    SCOPED_TRACE(std::string(kind.Name) + (border ? ": border on" : ": border off"));
    tPanelWindow window(kind, border);
    window.Player->ShowVideoFrame(&frame.Buffer, nullptr);
    const QImage shown = window.Grab();
    for (const auto& point : bandPoints) {
      SCOPED_TRACE(point.Note);
      const QPoint source = point.At - QPoint(window.Player->BorderInsetX(), window.Player->BorderInsetY());
      // Scaling by 628/640 moves a picture pixel by up to one place: compare with the nearest of them.
      int nearest = 255;
      for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
          nearest = std::min(nearest,
                             ColourDistance(shown.pixel(point.At), reference.pixel(source + QPoint(dx, dy))));
      if (border)
        EXPECT_LE(ColourDistance(shown.pixel(point.At), tTestArtwork::kBand), tolerance);
      else
        EXPECT_LE(nearest, tolerance + 8) << "the picture, not the frame";
    }
    // The half-transparent ring mixes frame and picture.
    if (border) {
      const QRgb ring = shown.pixel(25, 30);
      EXPECT_GT(ColourDistance(ring, tTestArtwork::kEdge), 20);
      EXPECT_GT(ColourDistance(ring, reference.pixel(19, 25)), 20);
    }

    const QRegion mask = window.Window.mask();
    if (!border) {
      EXPECT_TRUE(mask.isEmpty()) << "no shape without the border";
      continue;
    }
    EXPECT_TRUE(QRegion(63, 0, 514, 480).subtracted(mask).isEmpty()) << "the straight part (63,0)-(577,480)";
    EXPECT_TRUE(QRegion(0, 55, 640, 370).subtracted(mask).isEmpty()) << "the straight part (0,55)-(640,425)";
    for (QPoint outside : {QPoint(0, 0), QPoint(639, 0), QPoint(0, 479), QPoint(639, 479), QPoint(5, 5)})
      EXPECT_FALSE(mask.contains(outside)) << "rounded corner at " << outside.x() << "," << outside.y();
    for (QPoint inside : {QPoint(40, 0), QPoint(599, 0), QPoint(0, 439), QPoint(20, 20), QPoint(619, 459)})
      EXPECT_TRUE(mask.contains(inside)) << "frame at " << inside.x() << "," << inside.y();
  }
}

// A visualisation picture replaces the video; an empty one blanks it: the empty screen of the artwork with
// the border, black without.
inline void CheckVisualisationPictures(const tBackendKind& kind, int tolerance) {
  const tScopedArtwork artwork(tTestArtwork::Make());
  tOwnedFrame frame = ClipFrame({"--width", "320", "--height", "240"});
  ASSERT_TRUE(frame.Valid);
  // A picture whose left half is orange and right half blue (0x00RRGGBB pixels).
  constexpr int kW = 64, kH = 48;
  std::vector<uint32_t> picture(kW * kH);
  for (int i = 0; i < kW * kH; ++i) picture[i] = i % kW < kW / 2 ? 0x00FF8000u : 0x000040FFu;
  for (bool border : {true, false}) {
    SCOPED_TRACE(std::string(kind.Name) + (border ? ": border on" : ": border off"));
    tPanelWindow window(kind, border);
    window.Player->ShowVideoFrame(&frame.Buffer, nullptr);
    window.Player->ShowVisualFrame(picture.data(), kW, kH);
    QImage shown = window.Grab();
    EXPECT_LE(ColourDistance(shown.pixel(160, 240), 0xFFFF8000u), tolerance);
    EXPECT_LE(ColourDistance(shown.pixel(480, 240), 0xFF0040FFu), tolerance);
    window.Player->ShowVisualFrame(nullptr, 0, 0);
    shown = window.Grab();
    const QRgb blank = border ? tTestArtwork::kScreen : 0xFF000000u;
    for (QPoint at : {QPoint(160, 240), QPoint(480, 240), QPoint(320, 100)})
      EXPECT_LE(ColourDistance(shown.pixel(at), blank), tolerance) << at.x() << "," << at.y();
  }
}

// A generated clip plays through a real decoding thread into a back-end in a test window: its frames reach
// the panel (the last one stays, close to the clip's last frames) and its sound reaches SDL's disk driver.
inline void CheckPlaysClipEndToEnd(const tBackendKind& kind) {
  const tMediaFiles media = MakeMediaWithRaw({"--width", "320", "--height", "240", "--fps", "25", "--seconds",
                                              "2", "--rate", "44100", "--channels", "2", "--tone", "440"});
  ASSERT_FALSE(media.Ogg.empty());
  tTempDir dir;
  const std::string played = dir.File("played.raw");
  tScopedEnv driver("SDL_AUDIODRIVER", "disk");
  tScopedEnv output("SDL_DISKAUDIOFILE", played);
  tMessageQueue messages;
  auto manager = std::make_unique<tOggThreadManager>(media.Ogg, MSG_PROGRESS, &messages, 1);
  int64_t framesShown = 0;
  {
    tPanelWindow window(kind, true, {640, 480}, manager.get());
    bool idle = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
          for (tMessage m; messages.Take(m);) idle = idle || m.WParam == PROGRESS_IDLE;
          return idle;
        },
        30000))
        << "the clip never finished";
    framesShown = manager->FramesShown;
    EXPECT_GE(framesShown, 25) << "frames reached the panel (dropped " << manager->FramesDropped << ")";

    // The last frame shown stays on the panel.
    const QImage shown = window.Grab();
    double best = 255;
    for (int index = 40; index < 50; ++index) {
      tOwnedFrame frame = DecodeFrame(media.Ogg, index);
      if (!frame.Valid) break;
      const QImage expected =
          ReferencePicture(frame).scaled(628, 470, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      best = std::min(best, Difference(shown, kInner, expected, {6, 5}, 24).Mean);
    }
    EXPECT_LT(best, 6.0) << "the panel shows one of the clip's last frames";
  }
  manager.reset();

  // The disk driver wrote the tone: most of two seconds of loud 16-bit stereo.
  const std::string bytes = ReadFile(played);
  EXPECT_GT(bytes.size(), 44100u * 4);
  double energy = 0;
  const size_t samples = bytes.size() / 2;
  for (size_t i = 0; i < samples; ++i) {
    int16_t s;
    std::memcpy(&s, bytes.data() + 2 * i, 2);
    energy += static_cast<double>(s) * s;
  }
  const double rms = samples ? std::sqrt(energy / static_cast<double>(samples)) : 0;
  EXPECT_GT(rms, 5000) << "a tone at half of full scale has an RMS near 11600";
}

// A chained stream whose first link is sound only: the visualisation shows there, and the picture link after
// it shows its pictures (a visualisation once shown must not blank the video again and again).
inline void CheckPictureAfterASoundOnlyLink(const tBackendKind& kind) {
  const std::string chained = MakeMedia({"--no-video", "--seconds", "2", "--link", "--video", "--width",
                                         "320", "--height", "240", "--fps", "25", "--seconds", "2"});
  const std::string alone = MakeMedia({"--width", "320", "--height", "240", "--fps", "25", "--seconds", "2"});
  ASSERT_FALSE(chained.empty());
  tScopedEnv driver("SDL_AUDIODRIVER", "dummy");
  tMessageQueue messages;
  auto manager = std::make_unique<tOggThreadManager>(chained, MSG_PROGRESS, &messages, 1);
  {
    tPanelWindow window(kind, true, {640, 480}, manager.get());
    window.Player->Visualisation->Configure(320, 240, false, true);
    bool idle = false, visualised = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
          for (tMessage m; messages.Take(m);) {
            idle = idle || m.WParam == PROGRESS_IDLE;
            // As the window does: the visualisation may show while a link has no picture.
            if (m.WParam == PROGRESS_AUDIO || m.WParam == PROGRESS_VIDEO)
              window.Player->Visualisation->SetSuppressed(manager->HasVideo());
          }
          visualised = visualised || window.Player->GetVisualShown();
          return idle;
        },
        30000))
        << "the stream never finished";
    EXPECT_TRUE(visualised) << "the sound-only link showed the visualisation";
    EXPECT_GE(manager->FramesShown, 25);
    const QImage shown = window.Grab();
    double best = 255;
    for (int index = 40; index < 50; ++index) {
      tOwnedFrame frame = DecodeFrame(alone, index);
      if (!frame.Valid) break;
      const QImage expected =
          ReferencePicture(frame).scaled(628, 470, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      best = std::min(best, Difference(shown, kInner, expected, {6, 5}, 24).Mean);
    }
    EXPECT_LT(best, 6.0) << "the panel shows the picture link's last pictures";
  }
  manager.reset();
}

}  // namespace ktv::test
