// What the panel does for both back-ends, checked on the raster one (Qt's offscreen platform): resize
// zones, the window shape, the binding to a real decoding thread, the visualisation's frame timer.
#include "playback/qt/player_base_class.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <vector>

#include "panel/panel_test_support.h"
#include "platform/manual_sound_device.h"
#include "platform/message_target.h"
#include "stream/ogg_thread_manager.h"

namespace ktv {
namespace {

using test::RunEvents;
using test::tPanelWindow;
using test::WaitUntil;

TEST(PlayerBaseClass, ResizeZonesAndTheirCursors) {
  tPanelWindow window(test::RasterKind(), true, {200, 200});
  struct {
    QPoint At;
    int Zone;
    Qt::CursorShape Cursor;
  } rows[] = {
      {{32, 28}, 0, Qt::SizeFDiagCursor},  // the boundary belongs to the corner
      {{33, 29}, 4, Qt::SizeAllCursor},   {{0, 0}, 0, Qt::SizeFDiagCursor},
      {{100, 5}, 1, Qt::SizeVerCursor},   {{167, 0}, 1, Qt::SizeVerCursor},
      {{168, 0}, 2, Qt::SizeBDiagCursor},  // from width - 32 on
      {{5, 100}, 3, Qt::SizeHorCursor},   {{199, 100}, 5, Qt::SizeHorCursor},
      {{5, 172}, 6, Qt::SizeBDiagCursor}, {{100, 171}, 4, Qt::SizeAllCursor},
      {{100, 199}, 7, Qt::SizeVerCursor}, {{199, 199}, 8, Qt::SizeFDiagCursor},
  };
  for (const auto& row : rows) {
    const int zone = window.Player->GetResizeZone(row.At.x(), row.At.y());
    EXPECT_EQ(zone, row.Zone) << row.At.x() << "," << row.At.y();
    EXPECT_EQ(tPlayerBaseClass::ResizeZoneCursor(zone), row.Cursor) << "zone " << zone;
  }
  EXPECT_EQ(tPlayerBaseClass::ResizeZoneCursor(9), Qt::SizeAllCursor);
  EXPECT_EQ(tPlayerBaseClass::ResizeZoneCursor(-1), Qt::SizeAllCursor);
}

TEST(PlayerBaseClass, ShapeFollowsTheOwnerAndTheBorder) {
  const test::tScopedArtwork artwork(test::tTestArtwork::Make());
  tPanelWindow window(test::RasterKind(), true);
  window.Window.resize(800, 600);
  RunEvents(20);
  EXPECT_EQ(window.Player->size(), QSize(800, 600)) << "the panel fills its owner";
  QRegion mask = window.Window.mask();
  EXPECT_TRUE(QRegion(63, 0, 674, 600).subtracted(mask).isEmpty());
  EXPECT_TRUE(QRegion(0, 55, 800, 490).subtracted(mask).isEmpty());
  EXPECT_FALSE(mask.contains(QPoint(799, 599)));
  EXPECT_TRUE(mask.contains(QPoint(779, 579))) << "the bottom-right corner moved with the size";

  window.Player->SetShowTVBorder(false);
  EXPECT_TRUE(window.Window.mask().isEmpty());
  EXPECT_EQ(window.Player->BorderInsetX(), 0);
  window.Player->SetShowTVBorder(true);
  EXPECT_EQ(window.Window.mask(), mask);
  EXPECT_EQ(window.Player->BorderInsetX(), 6);
  EXPECT_EQ(window.Player->BorderInsetY(), 5);
}

TEST(PlayerBaseClass, WithoutArtworkTheShapeIsTheTwoRectangles) {
  const tFrameArtwork none;
  const test::tScopedArtwork artwork(none);
  tPanelWindow window(test::RasterKind(), true);
  EXPECT_EQ(window.Window.mask(), QRegion(63, 0, 514, 480) + QRegion(0, 55, 640, 370));
  // Nothing is drawn for the frame; the picture still sits inside the insets.
  test::tOwnedFrame frame = test::ClipFrame({"--width", "320", "--height", "240"});
  ASSERT_TRUE(frame.Valid);
  window.Player->ShowVideoFrame(&frame.Buffer, nullptr);
  const QImage shown = window.Grab();
  EXPECT_EQ(shown.pixel(5, 100) & RGB_MASK, 0u) << "the inset band is black";
  EXPECT_EQ(shown.pixel(634, 100) & RGB_MASK, 0u);
  EXPECT_EQ(shown.pixel(100, 475) & RGB_MASK, 0u);
  EXPECT_NE(shown.pixel(6, 5) & RGB_MASK, 0u) << "the picture starts at (6, 5)";
  EXPECT_NE(shown.pixel(633, 474) & RGB_MASK, 0u) << "and ends at (633, 474)";
}

TEST(PlayerBaseClass, MousePassesToTheOwnerAndDoubleClickRunsTheHandler) {
  tPanelWindow window(test::RasterKind(), true);
  struct tRecorder : QObject {
    int Presses = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      Presses += event->type() == QEvent::MouseButtonPress;
      return false;
    }
  } recorder;
  window.Window.installEventFilter(&recorder);
  int doubleClicks = 0;
  window.Player->OnDblClick = [&doubleClicks] { ++doubleClicks; };
  QTest::mousePress(window.Player.get(), Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseRelease(window.Player.get(), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(recorder.Presses, 1) << "the main window sees the press (to move or size itself)";
  QTest::mouseDClick(window.Player.get(), Qt::LeftButton, {}, QPoint(300, 200));
  EXPECT_EQ(doubleClicks, 1);
}

// A decoding thread on a generated clip, with its progress messages kept.
struct tThreadOnClip {
  tMessageQueue Messages;
  std::unique_ptr<tOggThreadManager> Manager;
  explicit tThreadOnClip(const std::vector<std::string>& clip = {"--seconds", "3"}) {
    const std::string ogg = test::MakeMedia(clip);
    Manager = std::make_unique<tOggThreadManager>(ogg, MSG_PROGRESS, &Messages, 1);
  }
  bool AllBound() const {
    const tOggThreadManager& m = *Manager;
    return m.OnAudioData && m.OnVideoFrame && m.OnGetAudioTime && m.OnBufferState && m.OnPlaybackDone;
  }
  bool NoneBound() const {
    const tOggThreadManager& m = *Manager;
    return !m.OnAudioData && !m.OnVideoFrame && !m.OnGetAudioTime && !m.OnBufferState && !m.OnPlaybackDone;
  }
};

TEST(PlayerBaseClass, AttachBindsTheFiveEventsAndDetachingLeavesNoneBehind) {
  tThreadOnClip first, second;
  auto silent = [] { return std::make_unique<tManualSoundDevice>(); };
  {
    tPanelWindow window(test::RasterKind(), true, {640, 480}, first.Manager.get(), silent);
    EXPECT_TRUE(first.AllBound()) << "the constructor binds a thread it is given";
    window.Player->Attach(second.Manager.get());
    EXPECT_TRUE(first.NoneBound()) << "the thread attached before keeps no event of this player";
    EXPECT_TRUE(second.AllBound());
    window.Player->Attach(nullptr);
    EXPECT_TRUE(second.NoneBound()) << "detaching unbinds every event";
    window.Player->Attach(second.Manager.get());
    EXPECT_TRUE(second.AllBound());
  }
  EXPECT_TRUE(second.NoneBound()) << "a freed player is never called";
}

TEST(PlayerBaseClass, FreedWhileTheThreadPlaysTheThreadGoesOnWithoutIt) {
  const test::tScopedEnv driver("SDL_AUDIODRIVER", "dummy");  // a device that plays: the clock moves
  tThreadOnClip clip;
  auto window = std::make_unique<tPanelWindow>(test::RasterKind(), true, QSize(640, 480), clip.Manager.get());
  ASSERT_TRUE(WaitUntil([&] { return clip.Manager->FramesShown > 0; }, 20000)) << "frames reach the panel";
  window->Player.reset();  // no Attach(nullptr) first: the destructor unbinds
  EXPECT_TRUE(clip.NoneBound());
  const int64_t shown = clip.Manager->FramesShown;
  RunEvents(300);  // the thread goes on calling its (now empty) events
  EXPECT_EQ(clip.Manager->FramesShown, shown);
  window.reset();
  clip.Manager.reset();
}

TEST(PlayerBaseClass, NoSoundDeviceUnbindsTheSoundEventsOnly) {
  tThreadOnClip clip;
  tPanelWindow window(test::RasterKind(), true, {640, 480}, clip.Manager.get(),
                      [] { return std::make_unique<tManualSoundDevice>(/*refuseOpen=*/true); });
  ASSERT_TRUE(WaitUntil([&] { return !clip.Manager->OnAudioData; }, 20000))
      << "the thread's first block found no device";
  EXPECT_FALSE(clip.Manager->OnGetAudioTime) << "pictures are then timed by the wall clock";
  EXPECT_TRUE(clip.Manager->OnVideoFrame && clip.Manager->OnPlaybackDone && clip.Manager->OnBufferState);
  ASSERT_TRUE(WaitUntil([&] { return clip.Manager->FramesShown > 10; }, 20000)) << "the picture plays alone";
}

// The raster back-end with every visualisation picture recorded.
struct tRecordingPlayback : tGDIWavePlayback {
  using tGDIWavePlayback::tGDIWavePlayback;
  int Pictures = 0, Empty = 0;
  void ShowVisualFrame(const uint32_t* pixels, int32_t width, int32_t height) override {
    (pixels ? Pictures : Empty) += 1;
    tGDIWavePlayback::ShowVisualFrame(pixels, width, height);
  }
};

TEST(PlayerBaseClass, FrameTimerHandsPicturesThenEmptyOnesOnceTheVisualisationStops) {
  const test::tBackendKind recording{
      "recording",
      [](QWidget* owner, tOggThreadManager* thread, tSoundDeviceFactory device) {
        return std::make_unique<tRecordingPlayback>(owner, thread, std::move(device));
      },
      [](tPlayerBaseClass& player) { return player.grab().toImage(); }};
  struct {
    const char* Name;
    void (*Stop)(TVisulisationSystem&);
  } rows[] = {
      {"suppressed", [](TVisulisationSystem& v) { v.SetSuppressed(true); }},
      {"switched off", [](TVisulisationSystem& v) { v.Configure(320, 240, false, false); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    tPanelWindow window(recording, true, {400, 300});
    auto& player = static_cast<tRecordingPlayback&>(*window.Player);
    RunEvents(200);
    EXPECT_EQ(player.Pictures + player.Empty, 0) << "nothing is handed before a picture was ever shown";

    player.Visualisation->SetSuppressed(false);
    ASSERT_TRUE(WaitUntil([&] { return player.Pictures >= 3; }, 10000));
    EXPECT_TRUE(player.GetVisualShown());
    EXPECT_EQ(player.Picture().size(), QSize(320, 240))
        << "the size handling sized the visualisation (at most 320 x 240)";

    row.Stop(*player.Visualisation);
    const int pictures = player.Pictures;
    ASSERT_TRUE(WaitUntil([&] { return player.Empty >= 1; }, 5000)) << "the empty picture is handed";
    RunEvents(300);
    EXPECT_EQ(player.Empty, 1) << "once: a video shown after it must not be cleared on every tick";
    EXPECT_FALSE(player.GetVisualShown());
    EXPECT_EQ(player.Pictures, pictures);
    EXPECT_TRUE(player.Picture().isNull());
  }
}

}  // namespace
}  // namespace ktv
