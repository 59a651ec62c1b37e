// The OpenGL back-end on a private Xvfb through Mesa.
#include "playback/qt/directx_ogg_player9.h"

#include <gtest/gtest.h>

#include <QOpenGLWidget>
#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "artwork/artwork.h"
#include "panel/backend_checks.h"
#include "platform/clock.h"
#include "platform/main_thread.h"
#include "platform/manual_sound_device.h"
#include "playback/ring_audio_output.h"

namespace ktv {
namespace {

using test::RunEvents;
using test::tPanelWindow;

test::tBackendKind OpenGLKind() {
  return {
      "opengl",
      [](QWidget* owner, tOggThreadManager* thread, tSoundDeviceFactory device) {
        return std::make_unique<tDirectXOggPlayer9>(owner, thread, std::move(device));
      },
      [](tPlayerBaseClass& player) { return static_cast<tDirectXOggPlayer9&>(player).GrabFramebuffer(); }};
}

tDirectXOggPlayer9& Player(tPanelWindow& window) {
  return static_cast<tDirectXOggPlayer9&>(*window.Player);
}

// The card converts a frame's planes to the CPU converter's very values, and draws the artwork and
// visualisation pictures one to one.
constexpr int kTolerance = 0;

// A frame made by hand: w x h luma samples, chroma every fx x fy of them, rows `pad` bytes longer than
// needed (the padding holds a value no sample has nearby), stored bottom-up (negative strides) if asked.
// Neighbouring chroma samples differ widely, so a wrong subsampling or a shifted chroma row shows.
struct tHandFrame {
  std::vector<uint8_t> Y, U, V;
  yuv_buffer Buffer{};
};

tHandFrame MakeHandFrame(int w, int h, int fx, int fy, int pad, bool bottomUp) {
  tHandFrame f;
  const int cw = (w + fx - 1) / fx, ch = (h + fy - 1) / fy, yStride = w + pad, cStride = cw + pad;
  f.Y.assign(static_cast<size_t>(yStride) * h, 0xEE);
  f.U.assign(static_cast<size_t>(cStride) * ch, 0x11);
  f.V.assign(static_cast<size_t>(cStride) * ch, 0x11);
  auto row = [bottomUp](int y, int rows) { return bottomUp ? rows - 1 - y : y; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      f.Y[static_cast<size_t>(row(y, h)) * yStride + x] = static_cast<uint8_t>(x * 7 + y * 3);
  for (int y = 0; y < ch; ++y) {
    for (int x = 0; x < cw; ++x) {
      f.U[static_cast<size_t>(row(y, ch)) * cStride + x] = static_cast<uint8_t>(x * 29 + y * 101 + 17);
      f.V[static_cast<size_t>(row(y, ch)) * cStride + x] = static_cast<uint8_t>(x * 83 + y * 37 + 140);
    }
  }
  auto top = [bottomUp](std::vector<uint8_t>& plane, int stride, int rows) {
    return bottomUp ? plane.data() + static_cast<ptrdiff_t>(rows - 1) * stride : plane.data();
  };
  const int sign = bottomUp ? -1 : 1;
  f.Buffer = {w,
              h,
              sign * yStride,
              cw,
              ch,
              sign * cStride,
              top(f.Y, yStride, h),
              top(f.U, cStride, ch),
              top(f.V, cStride, ch)};
  return f;
}

// What the CPU converter makes of `region` of a frame whose chroma covers fx x fy luma samples, each pixel
// with its nearest (covering) chroma sample: the frame is blown up to a 4:2:0 one of twice the size in which
// every pixel is a 2 x 2 block with its own chroma sample, converted by YUVToRGB32 and sampled back.
QImage CpuPicture(const yuv_buffer& f, int fx, int fy, const QRect& region) {
  BuildYUVTables();
  const int w = f.y_width, h = f.y_height;
  std::vector<uint8_t> y(static_cast<size_t>(4) * w * h), u(static_cast<size_t>(w) * h), v(u.size());
  for (int row = 0; row < h; ++row) {
    for (int x = 0; x < w; ++x) {
      const uint8_t luma = f.y[static_cast<ptrdiff_t>(row) * f.y_stride + x];
      for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) y[static_cast<size_t>(2 * row + j) * 2 * w + 2 * x + i] = luma;
      const ptrdiff_t chroma = static_cast<ptrdiff_t>(row / fy) * f.uv_stride + x / fx;
      u[static_cast<size_t>(row) * w + x] = f.u[chroma];
      v[static_cast<size_t>(row) * w + x] = f.v[chroma];
    }
  }
  const yuv_buffer blown{2 * w, 2 * h, 2 * w, w, h, w, y.data(), u.data(), v.data()};
  QImage whole(2 * w, 2 * h, QImage::Format_RGB32);
  YUVToRGB32(whole.bits(), static_cast<int32_t>(whole.bytesPerLine()), blown);
  QImage picture(region.size(), QImage::Format_RGB32);
  for (int row = 0; row < region.height(); ++row)
    for (int x = 0; x < region.width(); ++x)
      picture.setPixel(x, row, whole.pixel(2 * (region.x() + x), 2 * (region.y() + row)));
  return picture;
}

// The header of a stream whose picture is `region` of a w x h coded frame.
theora_info InfoFor(int w, int h, const QRect& region, theora_pixelformat format) {
  theora_info info{};
  info.width = static_cast<uint32_t>(w);
  info.height = static_cast<uint32_t>(h);
  info.frame_width = static_cast<uint32_t>(region.width());
  info.frame_height = static_cast<uint32_t>(region.height());
  info.offset_x = static_cast<uint32_t>(region.x());
  info.offset_y = static_cast<uint32_t>(region.y());
  info.pixelformat = format;
  return info;
}

TEST(DirectXOggPlayer9, ShowsAFrameAtItsOwnSize) {
  test::CheckFrameAtItsOwnSize(OpenGLKind(), kTolerance);
}

TEST(DirectXOggPlayer9, StretchesASmallerFrame) {
  test::CheckFrameStretched(OpenGLKind());
}

TEST(DirectXOggPlayer9, DrawsTheFrameArtworkAndShapesTheWindow) {
  test::CheckFrameArtwork(OpenGLKind(), kTolerance);
}

TEST(DirectXOggPlayer9, VisualisationPictureReplacesVideoAndAnEmptyOneBlanksIt) {
  test::CheckVisualisationPictures(OpenGLKind(), kTolerance);
}

TEST(DirectXOggPlayer9, ShowsThePictureLinkAfterASoundOnlyLink) {
  test::CheckPictureAfterASoundOnlyLink(OpenGLKind());
}

TEST(DirectXOggPlayer9, PlaysAClipEndToEnd) {
  test::CheckPlaysClipEndToEnd(OpenGLKind());
}

TEST(DirectXOggPlayer9, EverySurfaceModeShowsTheSamePicture) {
  test::tOwnedFrame frame = test::ClipFrame({"--width", "640", "--height", "480"});
  ASSERT_TRUE(frame.Valid);
  const QImage reference = test::ReferencePicture(frame);
  struct {
    int32_t Mode;
    int Tolerance;
    const char* Note;
  } rows[] = {
      {PlanarYUV, 0, "the planes, converted by the card with the CPU's tables"},
      {RGB32, 0, "converted on the CPU"},
      {RGB565, 8, "16-bit: 5 and 6 bits per channel"},
      {RGB555, 8, "16-bit: 5 bits per channel"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Note);
    tPanelWindow window(OpenGLKind(), false);
    Player(window).SetAcceptedModesForTesting({row.Mode});
    window.Player->ShowVideoFrame(&frame.Buffer, nullptr);
    EXPECT_EQ(Player(window).GetSurfaceMode(), row.Mode);
    const test::tDifference d =
        test::Difference(window.Grab(), reference.rect(), reference, {0, 0}, row.Tolerance);
    EXPECT_LE(d.Max, row.Tolerance) << "mean " << d.Mean;
  }
}

TEST(DirectXOggPlayer9, SurfaceFormatsComeInTheDesignedOrder) {
  test::tOwnedFrame frame = test::ClipFrame({"--width", "320", "--height", "240"});
  ASSERT_TRUE(frame.Valid);
  tPanelWindow window(OpenGLKind(), true);
  tDirectXOggPlayer9& player = Player(window);
  player.ShowVideoFrame(&frame.Buffer, nullptr);
  EXPECT_EQ(player.GetSurfaceMode(), PlanarYUV) << "video: its planes first";
  // A visualisation picture of the frame's very size gets an RGB surface, not the YUV one, and shows.
  std::vector<uint32_t> picture(320 * 240, 0x0020C040u);
  player.ShowVisualFrame(picture.data(), 320, 240);
  EXPECT_EQ(player.GetSurfaceMode(), RGB32) << "visualisation: the RGB formats only";
  EXPECT_TRUE(player.GetVisualMode());
  EXPECT_LE(test::ColourDistance(window.Grab().pixel(320, 240), 0xFF20C040u), kTolerance);
  player.ShowVideoFrame(&frame.Buffer, nullptr);
  EXPECT_EQ(player.GetSurfaceMode(), PlanarYUV) << "and video its own again";
  EXPECT_FALSE(player.GetVisualMode());

  player.SetAcceptedModesForTesting({RGB565, RGB555});
  player.ShowVideoFrame(nullptr, nullptr);
  player.ShowVideoFrame(&frame.Buffer, nullptr);
  EXPECT_EQ(player.GetSurfaceMode(), RGB565) << "the first format accepted";
}

TEST(DirectXOggPlayer9, PlanesShowWhatTheCpuConverterMakesPixelForPixel) {
  struct {
    int FactorX, FactorY;
    QRect Picture;
    int Pad;
    bool BottomUp;
    theora_pixelformat Format;
    const char* Note;
  } rows[] = {
      {2, 2, {0, 0, 640, 360}, 0, false, OC_PF_420, "4:2:0, the whole frame, tight rows"},
      {2, 2, {7, 5, 613, 347}, 32, false, OC_PF_420, "4:2:0, odd offset and size, padded rows"},
      {2, 2, {1, 1, 637, 357}, 0, true, OC_PF_420, "4:2:0, bottom-up rows"},
      {2, 1, {0, 0, 640, 360}, 0, false, OC_PF_422, "4:2:2, the whole frame"},
      {2, 1, {3, 2, 629, 351}, 24, false, OC_PF_422, "4:2:2, odd offset and size, padded rows"},
      {2, 1, {5, 3, 631, 355}, 8, true, OC_PF_422, "4:2:2, bottom-up padded rows"},
      {1, 1, {0, 0, 640, 360}, 0, false, OC_PF_444, "4:4:4, the whole frame"},
      {1, 1, {5, 3, 631, 353}, 16, false, OC_PF_444, "4:4:4, odd offset and size, padded rows"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Note);
    const tHandFrame frame = MakeHandFrame(640, 360, row.FactorX, row.FactorY, row.Pad, row.BottomUp);
    const QImage expected = CpuPicture(frame.Buffer, row.FactorX, row.FactorY, row.Picture);
    if (row.FactorX == 2 && row.FactorY == 2) {
      // The blown-up reference is the converter's own picture of a 4:2:0 frame.
      QImage direct(640, 360, QImage::Format_RGB32);
      YUVToRGB32(direct.bits(), static_cast<int32_t>(direct.bytesPerLine()), frame.Buffer);
      ASSERT_EQ(test::Difference(direct.copy(row.Picture), expected.rect(), expected, {0, 0}, 0).Max, 0);
    }
    tPanelWindow window(OpenGLKind(), false, row.Picture.size());
    tDirectXOggPlayer9& player = Player(window);
    player.SetVideoInfoSource([&row](theora_info& info) {
      info = InfoFor(640, 360, row.Picture, row.Format);
      return true;
    });
    player.ShowVideoFrame(&frame.Buffer, nullptr);
    EXPECT_EQ(player.GetSurfaceMode(), PlanarYUV);
    const QImage shown = window.Grab();
    ASSERT_EQ(shown.size(), row.Picture.size());
    const test::tDifference d = test::Difference(shown, shown.rect(), expected, {0, 0}, 0);
    EXPECT_EQ(d.Max, 0) << "mean " << d.Mean << ", off " << d.Over;
    EXPECT_EQ(player.FramesConvertedByCpu(), 0) << "no CPU pass over the frame";
  }
}

TEST(DirectXOggPlayer9, PlanesGoUpInEveryPlaneFormat) {
  // Padded and bottom-up rows with and without a row length, into red and luminance textures.
  constexpr GLenum kR8 = 0x8229, kRed = 0x1903;
  struct {
    tPlaneFormat Format;
    bool BottomUp;
    const char* Note;
  } rows[] = {
      {{kR8, kRed, true}, false, "red, whole rows with a row length"},
      {{kR8, kRed, false}, false, "red, row by row"},
      {{GL_LUMINANCE, GL_LUMINANCE, true}, false, "luminance, whole rows with a row length"},
      {{GL_LUMINANCE, GL_LUMINANCE, false}, true, "luminance, row by row, bottom-up"},
  };
  const QRect picture(3, 1, 317, 237);
  const tHandFrame frame = MakeHandFrame(320, 240, 2, 2, 40, false);
  const tHandFrame flipped = MakeHandFrame(320, 240, 2, 2, 40, true);
  const QImage expected = CpuPicture(frame.Buffer, 2, 2, picture);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Note);
    tPanelWindow window(OpenGLKind(), false, picture.size());
    tDirectXOggPlayer9& player = Player(window);
    ASSERT_NE(player.Scene(), nullptr);
    player.Scene()->SetPlaneFormatForTesting(row.Format);
    player.SetVideoInfoSource([&picture](theora_info& info) {
      info = InfoFor(320, 240, picture, OC_PF_420);
      return true;
    });
    // Twice: the second frame goes into the textures the first one made.
    for (int i = 0; i < 2; ++i) {
      player.ShowVideoFrame(row.BottomUp ? &flipped.Buffer : &frame.Buffer, nullptr);
      EXPECT_EQ(player.GetSurfaceMode(), PlanarYUV);
      EXPECT_EQ(test::Difference(window.Grab(), QRect({0, 0}, picture.size()), expected, {0, 0}, 0).Max, 0);
    }
    EXPECT_EQ(player.FramesConvertedByCpu(), 0);
  }
}

TEST(DirectXOggPlayer9, DecodedFramesWithOddPictureRegionsShowExactly) {
  test::tOwnedFrame frames[3] = {test::ClipFrame({"--width", "640", "--height", "480"}, 2),
                                 test::ClipFrame({"--width", "640", "--height", "480"}, 5),
                                 test::ClipFrame({"--width", "640", "--height", "480"}, 8)};
  for (const auto& frame : frames) ASSERT_TRUE(frame.Valid);
  for (const QRect picture : {QRect(0, 0, 640, 480), QRect(9, 7, 611, 453), QRect(1, 2, 638, 477)}) {
    SCOPED_TRACE(QString("picture at %1,%2").arg(picture.x()).arg(picture.y()).toStdString());
    tPanelWindow window(OpenGLKind(), false, picture.size());
    tDirectXOggPlayer9& player = Player(window);
    player.SetVideoInfoSource([&picture](theora_info& info) {
      info = InfoFor(640, 480, picture, OC_PF_420);
      return true;
    });
    for (test::tOwnedFrame& frame : frames) {
      frame.Info = InfoFor(640, 480, picture, OC_PF_420);
      player.ShowVideoFrame(&frame.Buffer, nullptr);
      const QImage reference = test::ReferencePicture(frame);
      ASSERT_EQ(reference.size(), picture.size());
      EXPECT_EQ(test::Difference(window.Grab(), reference.rect(), reference, {0, 0}, 0).Max, 0);
    }
    EXPECT_EQ(player.FramesConvertedByCpu(), 0);
  }
}

TEST(DirectXOggPlayer9, PlanesTheContextRefusesFallBackToTheCpuFrameByFrame) {
  test::tOwnedFrame frame = test::ClipFrame({"--width", "320", "--height", "240"});
  ASSERT_TRUE(frame.Valid);
  const QImage reference = test::ReferencePicture(frame);
  tPanelWindow window(OpenGLKind(), false, reference.size());
  tDirectXOggPlayer9& player = Player(window);
  player.ShowVideoFrame(&frame.Buffer, nullptr);
  ASSERT_EQ(player.GetSurfaceMode(), PlanarYUV);
  ASSERT_NE(player.Scene(), nullptr);
  const tPlaneFormat good = player.Scene()->PlaneFormat();
  // No such texture format: every upload fails in the driver.
  player.Scene()->SetPlaneFormatForTesting({good.InternalFormat, 0, good.RowLength});
  for (int i = 1; i <= 4; ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    player.ShowVideoFrame(&frame.Buffer, nullptr);
    EXPECT_EQ(player.GetSurfaceMode(), RGB32) << "the frame still shows, converted on the CPU";
    EXPECT_EQ(player.FramesConvertedByCpu(), i);
    EXPECT_EQ(test::Difference(window.Grab(), reference.rect(), reference, {0, 0}, 0).Max, 0);
  }
  // Given up after repeated failures: planes are not tried again in this context, even when they could be.
  player.Scene()->SetPlaneFormatForTesting(good);
  player.ShowVideoFrame(&frame.Buffer, nullptr);
  EXPECT_EQ(player.GetSurfaceMode(), RGB32);
  EXPECT_EQ(player.FramesConvertedByCpu(), 5);
}

TEST(DirectXOggPlayer9, ASingleFailedUploadIsTriedAgainWithTheNextFrame) {
  test::tOwnedFrame frame = test::ClipFrame({"--width", "320", "--height", "240"});
  ASSERT_TRUE(frame.Valid);
  tPanelWindow window(OpenGLKind(), false, {320, 240});
  tDirectXOggPlayer9& player = Player(window);
  player.ShowVideoFrame(&frame.Buffer, nullptr);
  const tPlaneFormat good = player.Scene()->PlaneFormat();
  for (int round = 0; round < 3; ++round) {
    player.Scene()->SetPlaneFormatForTesting({good.InternalFormat, 0, good.RowLength});
    player.ShowVideoFrame(&frame.Buffer, nullptr);
    EXPECT_EQ(player.GetSurfaceMode(), RGB32);
    player.Scene()->SetPlaneFormatForTesting(good);
    player.ShowVideoFrame(&frame.Buffer, nullptr);
    EXPECT_EQ(player.GetSurfaceMode(), PlanarYUV) << "a success clears the failures, round " << round;
  }
  EXPECT_EQ(player.FramesConvertedByCpu(), 3);
}

TEST(DirectXOggPlayer9, AFrameBeforeTheFirstShowIsConvertedOnTheCpuAndShows) {
  test::tOwnedFrame first = test::ClipFrame({"--width", "320", "--height", "240"}, 1);
  test::tOwnedFrame later = test::ClipFrame({"--width", "320", "--height", "240"}, 6);
  ASSERT_TRUE(first.Valid && later.Valid);
  QWidget window;
  window.setWindowFlag(Qt::FramelessWindowHint);
  window.resize(320, 240);
  tDirectXOggPlayer9 player(&window, nullptr);
  player.AlignToClient();
  player.SetFilmGrain(false);
  player.SetShowTVBorder(false);
  // No context yet: the decoder's memory will not wait for one, so this frame is converted at once.
  player.ShowVideoFrame(&first.Buffer, nullptr);
  EXPECT_EQ(player.GetSurfaceMode(), RGB32);
  EXPECT_EQ(player.FramesConvertedByCpu(), 1);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  RunEvents(20);
  const QImage firstPicture = test::ReferencePicture(first);
  EXPECT_EQ(test::Difference(player.GrabFramebuffer(), firstPicture.rect(), firstPicture, {0, 0}, 0).Max, 0);
  player.ShowVideoFrame(&later.Buffer, nullptr);
  EXPECT_EQ(player.GetSurfaceMode(), PlanarYUV) << "with a context the planes go up";
  EXPECT_EQ(player.FramesConvertedByCpu(), 1);
  RunEvents(10);
  const QImage laterPicture = test::ReferencePicture(later);
  EXPECT_EQ(test::Difference(player.GrabFramebuffer(), laterPicture.rect(), laterPicture, {0, 0}, 0).Max, 0);
  player.Shutdown();
}

TEST(DirectXOggPlayer9, GrainIsDrawnFromLevelTwoAndNeverOverVisualisations) {
  test::tOwnedFrame frame = test::ClipFrame({"--width", "628", "--height", "470"});
  ASSERT_TRUE(frame.Valid);
  tPanelWindow window(OpenGLKind(), true);
  tDirectXOggPlayer9& player = Player(window);
  player.SetVideoInfoSource([&frame](theora_info& info) {
    info = frame.Info;
    return true;
  });
  player.ShowVideoFrame(&frame.Buffer, nullptr);
  const QImage clean = window.Grab();
  player.SetFilmGrain(true);
  for (uint8_t level : {0, 1, 128}) {
    player.SetFilmGrainLevel(level);
    const test::tDifference d = test::Difference(window.Grab(), test::kInner, clean, {0, 0}, 0);
    if (level <= 1)
      EXPECT_EQ(d.Max, 0) << "level " << int(level) << " draws no grain";
    else
      EXPECT_GT(d.Over, 0.3) << "level " << int(level);
    EXPECT_LE(d.Max, level * 40 / 255 + 1);
  }
  std::vector<uint32_t> picture(64 * 48, 0x00808080u);
  player.ShowVisualFrame(picture.data(), 64, 48);
  const QImage visual = window.Grab();
  EXPECT_EQ(visual.pixel(320, 240), visual.pixel(330, 250)) << "an even grey: no grain";
}

TEST(DirectXOggPlayer9, LostContextDropsFramesUntilItIsMadeAgain) {
  test::tOwnedFrame first = test::ClipFrame({"--width", "640", "--height", "480"}, 1);
  test::tOwnedFrame later = test::ClipFrame({"--width", "640", "--height", "480"}, 8);
  ASSERT_TRUE(first.Valid && later.Valid);
  const QImage firstPicture = test::ReferencePicture(first), laterPicture = test::ReferencePicture(later);
  ASSERT_GT(test::Difference(firstPicture, firstPicture.rect(), laterPicture, {0, 0}, 8).Over, 0.01)
      << "the two frames differ";
  tPanelWindow window(OpenGLKind(), false);
  tDirectXOggPlayer9& player = Player(window);
  player.ShowVideoFrame(&first.Buffer, nullptr);
  EXPECT_LE(test::Difference(window.Grab(), firstPicture.rect(), firstPicture, {0, 0}, kTolerance).Max,
            kTolerance);
  const int scenes = player.ScenesMade();
  QOpenGLWidget* oldView = player.View();

  player.SimulateContextLoss();
  for (int i = 0; i < 3; ++i) player.ShowVideoFrame(&later.Buffer, nullptr);
  RunEvents(50);
  EXPECT_EQ(player.FramesDropped(), 3);
  EXPECT_EQ(player.ScenesMade(), scenes) << "nothing is made while the context cannot be";

  player.AllowContextRemake();
  player.ShowVideoFrame(&later.Buffer, nullptr);  // finds the context ready to be made again
  EXPECT_EQ(player.FramesDropped(), 4);
  ASSERT_TRUE(test::WaitUntil([&] { return player.View() != oldView; }, 2000));
  player.ShowVideoFrame(&later.Buffer, nullptr);
  const QImage shown = window.Grab();
  EXPECT_GT(player.ScenesMade(), scenes) << "textures and buffers made again";
  EXPECT_LE(test::Difference(shown, laterPicture.rect(), laterPicture, {0, 0}, kTolerance).Max, kTolerance)
      << "the next frame shows";
  EXPECT_EQ(player.FramesDropped(), 4);
}

TEST(DirectXOggPlayer9, QuestionsArrivingWhileTheRingClosesGetSafeAnswers) {
  // Closing the ring waits for its watcher thread, serving the main-thread call queue meanwhile: a question
  // of another thread queued just then reaches the player in the middle of the close.
  const std::string ogg = test::MakeMedia({"--seconds", "3"});
  tMessageQueue messages;
  tOggThreadManager manager(ogg, MSG_PROGRESS, &messages, 1);
  tPanelWindow window(OpenGLKind(), false, {640, 480}, &manager,
                      [] { return std::make_unique<tManualSoundDevice>(); });
  tPlayerBaseClass& player = *window.Player;
  auto& ring = dynamic_cast<tRingAudioOutput&>(*player.SoundOutput());
  ASSERT_TRUE(test::WaitUntil([&] { return ring.Ring() != nullptr; }, 20000))
      << "the thread's sound opened the ring";
  manager.ClearEvents();  // from here only the test's questions arrive
  manager.OnPlaybackDone = nullptr;

  for (int round = 0; round < 5; ++round) {
    std::atomic<bool> asking{false};
    int64_t played = -1;
    double time = -1;
    std::thread asker([&] {
      asking = true;
      Synchronize([&] {
        played = player.GetPlayedFrames();
        time = player.GetAudioTime();
      });
    });
    while (!asking) std::this_thread::yield();
    Sleep(20);                      // the question is queued
    player.WriteAudio(nullptr, 0);  // close: the watcher's join serves the queue
    test::RunEvents(20);            // (or the question is served here)
    asker.join();
    EXPECT_GE(played, 0);
    EXPECT_GE(time, 0.0);
    std::vector<int16_t> block(2 * 1764, 100);
    player.WriteAudio(block.data(), 1764);  // opens the ring again
    ASSERT_NE(ring.Ring(), nullptr);
  }
}

TEST(DirectXOggPlayer9, PanelGrabShowsTheViewAndTheMouseReachesThePanel) {
  test::tOwnedFrame frame = test::ClipFrame({"--width", "640", "--height", "480"});
  ASSERT_TRUE(frame.Valid);
  tPanelWindow window(OpenGLKind(), false);
  window.Player->ShowVideoFrame(&frame.Buffer, nullptr);
  const QImage framebuffer = window.Grab();
  const QImage widget = window.Player->grab().toImage();
  EXPECT_LE(test::Difference(widget, test::kInner, framebuffer, {0, 0}, 0).Max, 0)
      << "the main window's own grab sees the picture";
  int doubleClicks = 0;
  window.Player->OnDblClick = [&doubleClicks] { ++doubleClicks; };
  QTest::mouseDClick(window.Player.get(), Qt::LeftButton, {}, QPoint(300, 200));
  EXPECT_EQ(doubleClicks, 1);
  EXPECT_EQ(window.Player->childAt(300, 200), nullptr) << "the view lets the mouse through to the panel";
}

TEST(DirectXOggPlayer9, SameFrameAsTheRasterBackEnd) {
  test::tOwnedFrame frame = test::ClipFrame({"--width", "628", "--height", "470"});
  ASSERT_TRUE(frame.Valid);
  QImage shown[2];
  int i = 0;
  for (const test::tBackendKind& kind : {OpenGLKind(), test::RasterKind()}) {
    tPanelWindow window(kind, true);
    window.Player->SetVideoInfoSource([&frame](theora_info& info) {
      info = frame.Info;
      return true;
    });
    window.Player->ShowVideoFrame(&frame.Buffer, nullptr);
    shown[i++] = window.Grab();
  }
  EXPECT_LE(test::Difference(shown[0], test::kInner, shown[1], {0, 0}, kTolerance).Max, kTolerance);
  // The corners are the artwork drawn one to one by both (whatever the artwork is).
  for (QRect corner :
       {QRect(0, 0, 49, 42), QRect(591, 0, 49, 42), QRect(0, 438, 49, 42), QRect(591, 438, 49, 42)})
    EXPECT_LE(test::Difference(shown[0], corner, shown[1], {0, 0}, 3).Max, 3)
        << "corner at " << corner.x() << "," << corner.y();
}

TEST(DirectXOggPlayer9, ScreenshotWithTheFrame) {
  test::tOwnedFrame frame = test::ClipFrame({"--width", "628", "--height", "470"});
  ASSERT_TRUE(frame.Valid);
  tPanelWindow window(OpenGLKind(), true);
  window.Player->SetFilmGrain(true);
  window.Player->SetVideoInfoSource([&frame](theora_info& info) {
    info = frame.Info;
    return true;
  });
  window.Player->ShowVideoFrame(&frame.Buffer, nullptr);
  EXPECT_FALSE(test::SaveScreenshot(test::ShapedGrab(window), "panel_gl_border").empty());
  EXPECT_EQ(Player(window).HasFrameTexture(), !ktv::LoadArtwork("TV_FRAME").isNull());
}

}  // namespace
}  // namespace ktv
