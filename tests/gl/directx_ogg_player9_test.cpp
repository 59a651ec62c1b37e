// The OpenGL back-end on a private Xvfb through Mesa.
#include "playback/qt/directx_ogg_player9.h"

#include <gtest/gtest.h>

#include <QOpenGLWidget>
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

// The shader converts colour with the table converter's factors; rounding may differ by one.
constexpr int kTolerance = 2;

TEST(DirectXOggPlayer9, ShowsAFrameAtItsOwnSize) {
  test::tBackendKind kind = OpenGLKind();
  kind.MayPairChroma =
      true;  // the packed conversion modes pair 4:4:4 chroma; planes converted in a shader not
  test::CheckFrameAtItsOwnSize(kind, kTolerance);
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
      {UYVY, kTolerance, "packed YUV, converted by the card"},
      {YUY2, kTolerance, "the other byte order"},
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
  EXPECT_EQ(player.GetSurfaceMode(), UYVY) << "video: packed YUV first";
  // A visualisation picture of the frame's very size gets an RGB surface, not the YUV one, and shows.
  std::vector<uint32_t> picture(320 * 240, 0x0020C040u);
  player.ShowVisualFrame(picture.data(), 320, 240);
  EXPECT_EQ(player.GetSurfaceMode(), RGB32) << "visualisation: the RGB formats only";
  EXPECT_TRUE(player.GetVisualMode());
  EXPECT_LE(test::ColourDistance(window.Grab().pixel(320, 240), 0xFF20C040u), kTolerance);
  player.ShowVideoFrame(&frame.Buffer, nullptr);
  EXPECT_EQ(player.GetSurfaceMode(), UYVY) << "and video its own again";
  EXPECT_FALSE(player.GetVisualMode());

  player.SetAcceptedModesForTesting({RGB565, RGB555});
  player.ShowVideoFrame(nullptr, nullptr);
  player.ShowVideoFrame(&frame.Buffer, nullptr);
  EXPECT_EQ(player.GetSurfaceMode(), RGB565) << "the first format accepted";
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
