// Shared by the panel tests (raster back-end on Qt's offscreen platform) and the OpenGL tests (both
// back-ends on a private Xvfb): decoded frames of generated clips and their reference pictures, picture
// comparisons, artwork drawn by the test, and a test window holding a back-end.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <QtTest/QTest>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ogg/file_source.h"
#include "ogg/link_decoders.h"
#include "ogg/yuv_convert.h"
#include "playback/qt/gdi_wave_playback.h"
#include "playback/qt/player_base_class.h"
#include "support/qt/qt_test_support.h"
#include "support/test_support.h"

namespace ktv::test {

// A decoded frame whose planes the test owns (the decoder's memory goes with the decoder).
struct tOwnedFrame {
  std::vector<uint8_t> Y, U, V;
  yuv_buffer Buffer{};
  theora_info Info{};
  bool Valid = false;
};

// Frame `index` (0 = first) of a clip.
inline tOwnedFrame DecodeFrame(const std::string& ogg, int index) {
  tOwnedFrame out;
  tOggFileSource source(ogg);
  tOggLinkDecoders link;
  if (!source.ReadStreamHeaders() || !link.Open(source, tOggLinkDecoders::kVideo)) return out;
  tOggTheoraCodec& codec = *link.Video;
  yuv_buffer yuv{};
  bool key = false;
  double time = 0;
  for (int i = 0; i <= index; ++i)
    if (!codec.DecodeFrame(yuv, &key, time)) return out;
  auto copy = [](std::vector<uint8_t>& plane, const unsigned char* from, int stride, int rows) {
    plane.assign(from, from + static_cast<ptrdiff_t>(stride) * rows);
  };
  copy(out.Y, yuv.y, yuv.y_stride, yuv.y_height);
  copy(out.U, yuv.u, yuv.uv_stride, yuv.uv_height);
  copy(out.V, yuv.v, yuv.uv_stride, yuv.uv_height);
  out.Buffer = yuv;
  out.Buffer.y = out.Y.data();
  out.Buffer.u = out.U.data();
  out.Buffer.v = out.V.data();
  out.Info = codec.Info;
  out.Valid = true;
  return out;
}

// Frame `index` of a video-only clip made with these generator options.
inline tOwnedFrame ClipFrame(std::vector<std::string> options, int index = 5) {
  options.insert(options.end(), {"--no-audio", "--seconds", "1", "--fps", "10"});
  const std::string ogg = MakeMedia(options);
  return ogg.empty() ? tOwnedFrame{} : DecodeFrame(ogg, index);
}

// The frame's picture region as YUVToRGB32 converts it.
inline QImage ReferencePicture(const tOwnedFrame& frame) {
  BuildYUVTables();
  QImage whole(frame.Buffer.y_width, frame.Buffer.y_height, QImage::Format_RGB32);
  whole.fill(Qt::black);
  YUVToRGB32(whole.bits(), static_cast<int32_t>(whole.bytesPerLine()), frame.Buffer);
  const tPictureRegion r = PictureRegion(frame.Info);
  return whole.copy(r.X, r.Y, r.Width, r.Height);
}

// How far a shown area is from the expected picture, channel by channel.
struct tDifference {
  int Max = 0;
  double Mean = 0;
  double Over = 0;  // the fraction of pixels with a channel further off than the tolerance
};

// Compares `area` of `shown` with `expected` placed with its top-left at `expectedAt` (in shown's
// coordinates).
inline tDifference Difference(const QImage& shown, const QRect& area, const QImage& expected,
                              QPoint expectedAt, int tolerance) {
  tDifference d;
  const QImage a = shown.convertToFormat(QImage::Format_RGB32);
  const QImage b = expected.convertToFormat(QImage::Format_RGB32);
  int64_t sum = 0, over = 0, count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x - expectedAt.x(), y - expectedAt.y());
      const int diff = std::max(
          {std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
      d.Max = std::max(d.Max, diff);
      sum += diff;
      over += diff > tolerance;
      ++count;
    }
  }
  d.Mean = count ? static_cast<double>(sum) / static_cast<double>(count) : 0;
  d.Over = count ? static_cast<double>(over) / static_cast<double>(count) : 0;
  return d;
}

inline int ColourDistance(QRgb a, QRgb b) {
  return std::max(
      {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// Artwork with known geometry: the frame's outer edge is a quarter circle of radius 40 round (40, 40); a
// band 24 pixels wide on the left and 20 high at the top is the frame (opaque), two pixels more are half
// transparent, and the rest is the screen (transparent, its colour shown when there is no picture).
struct tTestArtwork {
  static constexpr QRgb kBand = 0xFFA01E28;    // red 160, green 30, blue 40
  static constexpr QRgb kEdge = 0xFFC8C828;    // the half-transparent ring
  static constexpr QRgb kScreen = 0xFF14461E;  // red 20, green 70, blue 30
  static constexpr int kBandX = 24, kBandY = 20, kRadius = 40;

  static bool Outside(int x, int y) {
    return x < kRadius && y < kRadius &&
           (x - kRadius) * (x - kRadius) + (y - kRadius) * (y - kRadius) > kRadius * kRadius;
  }
  static tFrameArtwork Make() {
    tFrameArtwork art{QImage(64, 56, QImage::Format_ARGB32), QImage(64, 56, QImage::Format_ARGB32)};
    for (int y = 0; y < 56; ++y) {
      for (int x = 0; x < 64; ++x) {
        int opacity = 0;
        QRgb colour = kScreen;
        if (Outside(x, y)) {
          colour = 0xFF0000FF;
        } else if (x < kBandX || y < kBandY) {
          colour = kBand, opacity = 255;
        } else if (x < kBandX + 2 || y < kBandY + 2) {
          colour = kEdge, opacity = 128;
        }
        art.Frame.setPixel(x, y, colour);
        art.Mask.setPixel(x, y, qRgb(opacity, 0, 0));
      }
    }
    return art;
  }
};

// Installs artwork for the players made while it lives.
struct tScopedArtwork {
  explicit tScopedArtwork(const tFrameArtwork& artwork) { SetFrameArtworkForTesting(&artwork); }
  ~tScopedArtwork() { SetFrameArtworkForTesting(nullptr); }
};

// A back-end kind: how to make one and how to grab what it shows.
struct tBackendKind {
  const char* Name;
  std::function<std::unique_ptr<tPlayerBaseClass>(QWidget* owner, tOggThreadManager* thread,
                                                  tSoundDeviceFactory device)>
      Make;
  std::function<QImage(tPlayerBaseClass&)> Grab;
};

inline tBackendKind RasterKind() {
  return {"raster",
          [](QWidget* owner, tOggThreadManager* thread, tSoundDeviceFactory device) {
            return std::make_unique<tGDIWavePlayback>(owner, thread, std::move(device));
          },
          [](tPlayerBaseClass& player) { return player.grab().toImage(); }};
}

// A frameless test window with a back-end filling it, shown.
class tPanelWindow {
 public:
  tPanelWindow(const tBackendKind& kind, bool border, QSize size = {640, 480},
               tOggThreadManager* thread = nullptr, tSoundDeviceFactory device = {})
      : Kind(kind) {
    Window.setWindowFlag(Qt::FramelessWindowHint);
    Window.resize(size);
    Player = kind.Make(&Window, thread, std::move(device));
    Player->AlignToClient();
    Player->SetFilmGrain(false);  // pictures compared pixel by pixel; grain has tests of its own
    Player->SetShowTVBorder(border);
    Window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window));
    RunEvents(20);
  }
  ~tPanelWindow() {
    if (!Player) return;  // the test freed it itself
    Player->Attach(nullptr);
    Player->Shutdown();
    Player.reset();
  }
  QImage Grab() {
    RunEvents(10);
    return Kind.Grab(*Player);
  }
  QWidget Window;
  std::unique_ptr<tPlayerBaseClass> Player;

 private:
  tBackendKind Kind;
};

// What the window shows: the grab, with what the window's shape cuts away made transparent.
inline QImage ShapedGrab(tPanelWindow& window) {
  QImage shot = window.Grab().convertToFormat(QImage::Format_ARGB32);
  const QRegion shape = window.Window.mask().isEmpty() ? QRegion(shot.rect()) : window.Window.mask();
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x)
      if (!shape.contains(QPoint(x, y))) shot.setPixel(x, y, 0);
  return shot;
}

}  // namespace ktv::test
