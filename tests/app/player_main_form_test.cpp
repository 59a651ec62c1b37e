// The main window's size and place as a user sees them: it opens at the video's size, keeps the aspect
// while its borders are dragged, moves with the console's caption, goes to full screen and back, and takes
// the volume from the wheel and the keys.
#include "ui/player_main_form.h"

#include <QDesktopServices>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include "app_test_support.h"
#include "playback/qt/player_base_class.h"
#include "stream/ogg_thread_manager.h"
#include "ui/kestrova_image_button.h"
#include "ui/window_menu.h"

namespace ktv {
namespace {

using namespace ktv::test;

using PlayerWindow = PlayerWindowTest;

TEST_F(PlayerWindow, OpensAtTheVideosSize) {
  struct {
    int w, h;
    QSize client;
    const char* note;
  } rows[] = {
      {320, 240, {652, 490}, "small pictures are doubled, plus the frame's insets"},
      {352, 288, {364, 298}, "from 350 wide the picture is shown at its own size"},
      {1800, 300, {1600, 274}, "never wider than the screen's available area: smaller, in its own shape"},
  };
  Make();
  const QRect area = Window->screen()->availableGeometry();
  for (const auto& r : rows) {
    const std::string clip = Clip(r.w, r.h, 2);
    ASSERT_FALSE(clip.empty());
    Window->OpenStream(QString::fromStdString(clip));
    EXPECT_TRUE(WaitUntil([&] { return Window->size() == r.client; }, 10000))
        << r.note << ": " << Window->width() << " x " << Window->height();
    EXPECT_TRUE(area.contains(Window->geometry())) << r.note;
    // The console hangs centred below the picture.
    EXPECT_TRUE(WaitUntil([&] {
      return Stand().y() == Window->geometry().bottom() + 1 &&
             Stand().x() + Stand().width() / 2 == Window->x() + Window->width() / 2;
    })) << r.note;
  }
}

TEST_F(PlayerWindow, StartsSmallCentredAndFadesIn) {
  tPlayerStart start;
  start.UseDirectX = false;
  auto window = std::make_unique<TfrmPlayerMain>(*Config.Settings, std::move(start));
  window->show();
  EXPECT_LT(window->windowOpacity(), 1.0);
  EXPECT_TRUE(window->StartupFadeRunning());
  EXPECT_TRUE(WaitUntil([&] { return !window->StartupFadeRunning(); }));
  EXPECT_EQ(window->windowOpacity(), 1.0);
  EXPECT_TRUE(WaitUntil([&] { return window->TVStand()->windowOpacity() == 1.0; }))
      << "the console fades in too";
  EXPECT_EQ(window->size(), QSize(TfrmPlayerMain::kMinWidth, TfrmPlayerMain::kMinHeight));
  SaveScreenshot(window->grab().toImage(), "player_empty");
  SaveScreenshot(window->TVStand()->grab().toImage(), "player_empty_console");
  EXPECT_EQ(window->TVStand()->MarqueeText(), QStringLiteral("Welcome to the Kestrova.TV Player."));
  // Both windows stay above others by default.
  EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(window->TVStand()->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(PlayerWindow, DraggingABorderKeepsTheVideosAspect) {
  Make();
  Window->OpenStream(QString::fromStdString(Clip(320, 240, 4)));
  ASSERT_TRUE(WaitUntil([&] { return Window->size() == QSize(652, 490); }, 10000));
  struct {
    QPoint press;  // in the window, relative to its bottom-right corner when negative
    QPoint by;
    bool widthLeads;
    const char* note;
  } rows[] = {
      {{-5, -5}, {100, 0}, true, "the bottom-right corner: the height follows the width"},
      {{-300, -5}, {0, -60}, false, "the bottom edge: the width follows the height"},
      {{5, 200}, {-80, 0}, true, "the left edge: the height follows, the right edge stays"},
  };
  QWindow* handle = Window->windowHandle();
  for (const auto& r : rows) {
    const QRect before = Window->geometry();
    const QPoint press(r.press.x() < 0 ? before.width() + r.press.x() : r.press.x(),
                       r.press.y() < 0 ? before.height() + r.press.y() : r.press.y());
    // The pointer's target on the screen: the window moves under it when a left or top edge is dragged.
    const QPoint target = handle->mapToGlobal(press + r.by);
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, press);
    QTest::mouseMove(handle, handle->mapFromGlobal(target));
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, handle->mapFromGlobal(target));
    RunEvents(50);
    const QSize size = Window->size();
    EXPECT_NEAR(size.height(), size.width() * 0.75, 1.0) << r.note;
    if (r.widthLeads) {
      EXPECT_EQ(size.width(), before.width() + std::abs(r.by.x())) << r.note;
    } else {
      EXPECT_EQ(size.height(), before.height() + r.by.y()) << r.note;
    }
    if (r.by.x() < 0) {
      EXPECT_EQ(Window->geometry().right(), before.right()) << r.note;
    }
  }
}

TEST_F(PlayerWindow, MovesWithTheConsolesCaption) {
  Make();
  const QPoint before = Window->pos();
  QWindow* console = Stand().windowHandle();
  // The console moves with the window, under the pointer: aim at a point on the screen.
  const QPoint target = console->mapToGlobal(QPoint(150, 55));
  QTest::mousePress(console, Qt::LeftButton, Qt::NoModifier, QPoint(100, 25));
  QTest::mouseMove(console, console->mapFromGlobal(target));
  QTest::mouseRelease(console, Qt::LeftButton, Qt::NoModifier, console->mapFromGlobal(target));
  EXPECT_TRUE(WaitUntil([&] { return Window->pos() == before + QPoint(50, 30); }))
      << Window->x() << ", " << Window->y();
  EXPECT_TRUE(WaitUntil([&] { return Stand().y() == Window->geometry().bottom() + 1; }))
      << "the console follows";
}

TEST_F(PlayerWindow, FullScreenAndBack) {
  Make();
  Window->OpenStream(QString::fromStdString(Clip(352, 288, 6)));
  ASSERT_TRUE(WaitUntil([&] { return Window->size() == QSize(364, 298); }, 10000));
  const QRect bounds = Window->geometry();
  ASSERT_FALSE(Window->mask().isEmpty()) << "the television's shape";

  QTest::mouseClick(Stand().btnMax, Qt::LeftButton, Qt::NoModifier, Stand().btnMax->rect().center());
  ASSERT_TRUE(Window->IsFullScreen());
  const QRect screen = Window->screen()->geometry();
  EXPECT_EQ(Window->geometry(), screen);
  EXPECT_FALSE(Stand().isVisible());
  EXPECT_TRUE(Window->mask().isEmpty()) << "no frame in full screen";
  // The picture keeps its shape, centred between black bars.
  const QRect picture = Window->Player()->geometry();
  EXPECT_EQ(picture.height(), screen.height());
  EXPECT_NEAR(picture.width(), screen.height() * 352.0 / 288.0, 1.0);
  EXPECT_NEAR(picture.center().x(), screen.center().x(), 1.0);

  // The notification panel appears under the mouse at the bottom.
  QCursor::setPos(screen.center().x(), screen.bottom() - 5);
  EXPECT_TRUE(WaitUntil([&] { return Window->NotifyPanel()->isVisible(); }));
  EXPECT_FALSE(Window->NotifyPanel()->text().isEmpty());
  RunEvents(1000);  // frames at the new size
  SaveScreenshot(Window->grab().toImage(), "player_full_screen");
  QCursor::setPos(screen.center());
  EXPECT_TRUE(WaitUntil([&] { return !Window->NotifyPanel()->isVisible(); }));
  // The pointer goes when it rests, and comes back when it moves.
  EXPECT_TRUE(WaitUntil([&] { return Window->Player()->cursor().shape() == Qt::BlankCursor; }, 6000));
  QCursor::setPos(screen.center() + QPoint(10, 10));
  EXPECT_TRUE(WaitUntil([&] { return Window->Player()->cursor().shape() == Qt::ArrowCursor; }));

  QTest::keyClick(Window.get(), Qt::Key_Escape);
  EXPECT_FALSE(Window->IsFullScreen());
  EXPECT_EQ(Window->geometry(), bounds);
  EXPECT_TRUE(Stand().isVisible());
  EXPECT_EQ(Stand().y(), bounds.bottom() + 1);
  EXPECT_FALSE(Window->mask().isEmpty()) << "the shape is back";
  EXPECT_EQ(Window->Player()->geometry(), Window->rect());
}

TEST_F(PlayerWindow, DoubleClickTogglesFullScreen) {
  Make();
  const QRect bounds = Window->geometry();
  QTest::mouseDClick(Window->Player(), Qt::LeftButton, Qt::NoModifier, Window->Player()->rect().center());
  EXPECT_TRUE(Window->IsFullScreen());
  QTest::mouseDClick(Window->Player(), Qt::LeftButton, Qt::NoModifier, Window->Player()->rect().center());
  EXPECT_FALSE(Window->IsFullScreen());
  EXPECT_EQ(Window->geometry(), bounds);
}

TEST_F(PlayerWindow, WheelAndKeysSetTheVolume) {
  Config.Settings->LastVolume = 40000;
  ASSERT_TRUE(Config.Settings->SaveSettings());
  Make();
  ASSERT_TRUE(WaitUntil([&] { return Stand().KnobValue() == 40000; })) << "the knob shows the saved volume";

  QTest::keyClick(Window.get(), Qt::Key_Minus);
  EXPECT_TRUE(WaitUntil([&] { return Window->Volume() == 40000 - 3072; }));
  EXPECT_EQ(Stand().windowTitle(), QStringLiteral("Volume Changed to 56%"));
  EXPECT_EQ(Window->Player()->GetVolume(), 40000 - 3072);
  EXPECT_EQ(Config.Settings->LastVolume, 40000 - 3072);

  const QPointF at = Window->rect().center();
  QWheelEvent wheel(at, Window->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(Window.get(), &wheel);
  EXPECT_TRUE(WaitUntil([&] { return Window->Volume() == 40000 + 3072; })) << "two notches up over the video";
  EXPECT_EQ(Stand().KnobValue(), 40000 + 3072);
  // The notice leaves the caption after a while.
  EXPECT_TRUE(WaitUntil([&] { return Stand().windowTitle() == QStringLiteral("Kestrova.TV Player"); }, 6000));
}

TEST_F(PlayerWindow, WindowMenuMaximisesAndRestores) {
  Make();
  const QRect bounds = Window->geometry();
  PostSysCommand(Window.get(), SC_MAXIMIZE, QPoint());
  ASSERT_TRUE(WaitUntil([&] { return Window->IsMaximized(); }));
  const QRect area = Window->screen()->availableGeometry();
  EXPECT_EQ(Window->width(), area.width());
  EXPECT_EQ(Stand().geometry().bottom(), area.bottom()) << "the console still fits below";
  PostSysCommand(Window.get(), SC_RESTORE, QPoint());
  ASSERT_TRUE(WaitUntil([&] { return !Window->IsMaximized(); }));
  EXPECT_EQ(Window->geometry(), bounds);
}

TEST_F(PlayerWindow, DialogsMinimiseThroughTheConsole) {
  Config.Settings->MinimizeToTray = true;
  ASSERT_TRUE(Config.Settings->SaveSettings());
  Make({}, true);
  PostCommand(Window.get(), CM_SETTINGS);
  ASSERT_TRUE(WaitUntil([&] { return Window->OpenDialog() && Window->OpenDialog()->isVisible(); }));
  tSkinnedForm* dialog = Window->OpenDialog();
  ASSERT_FALSE(dialog->MinRect().isEmpty());
  QTest::mouseClick(dialog, Qt::LeftButton, Qt::NoModifier, dialog->MinRect().center());
  EXPECT_TRUE(Stand().InTray()) << "the console took the program to the tray";
  EXPECT_FALSE(Window->isVisible());
  Tray->DoubleClick();
  EXPECT_TRUE(WaitUntil([&] { return Window->isVisible() && !Stand().InTray(); }));
}

// Takes the pages the player opens, in place of the desktop's browser.
class tPageCatcher : public QObject {
  Q_OBJECT

 public:
  tPageCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "Open"); }
  ~tPageCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("http")); }
  std::vector<QUrl> Opened;

 public slots:
  void Open(const QUrl& url) { Opened.push_back(url); }
};

TEST_F(PlayerWindow, ConsoleOpensTheRatingAndSchedulePages) {
  tPageCatcher pages;
  Make();
  QTest::mouseClick(Stand().btnRate, Qt::LeftButton, Qt::NoModifier, Stand().btnRate->rect().center());
  ASSERT_TRUE(WaitUntil([&] { return pages.Opened.size() == 1; }));
  EXPECT_EQ(pages.Opened[0].toString().toStdString(), Config.Settings->WebSite + "/rate.php");
  QTest::mouseClick(Stand().btnSchedule, Qt::LeftButton, Qt::NoModifier,
                    Stand().btnSchedule->rect().center());
  ASSERT_TRUE(WaitUntil([&] { return pages.Opened.size() == 2; }));
  EXPECT_EQ(pages.Opened[1].toString().toStdString(), Config.Settings->WebSite + "/schedule.php");
}

TEST_F(PlayerWindow, AltSpaceOpensTheWindowMenuAndKeepsTheStream) {
  Make();
  Window->OpenStream(QString::fromStdString(Clip(64, 48, 4)));
  QTest::keyClick(Window.get(), Qt::Key_Space, Qt::AltModifier);
  EXPECT_TRUE(WaitUntil([&] { return Stand().WindowMenu()->isVisible(); }));
  EXPECT_NE(Window->ThreadManager(), nullptr);
  Stand().WindowMenu()->hide();
}

TEST_F(PlayerWindow, ConsoleClockFollowsThePlayTime) {
  Make();
  EXPECT_EQ(Stand().ClockText(), QStringLiteral("00:00:00"));
  Window->OpenStream(QString::fromStdString(Clip(64, 48, 4)));
  // The window pushes the play time to the console; the clock counts the seconds played.
  ASSERT_TRUE(WaitUntil([&] { return Stand().ClockText() == QStringLiteral("00:00:02"); }, 15000))
      << Stand().ClockText().toStdString();
  ASSERT_NE(Window->ThreadManager(), nullptr);
  EXPECT_GE(Window->ThreadManager()->GetPosition(), 2.0);
  // Closed: the clock goes back to zero.
  Window->OpenStream(QString());
  EXPECT_TRUE(WaitUntil([&] { return Stand().ClockText() == QStringLiteral("00:00:00"); }));
}

TEST_F(PlayerWindow, StreamInformationNeedsAStream) {
  Make();
  PostCommand(Window.get(), CM_STREAM_INFO);
  ASSERT_TRUE(WaitUntil([&] { return !Boxes.Boxes.empty(); }));
  EXPECT_EQ(Boxes.Boxes[0].Text, QStringLiteral("There is currently no stream open."));
  EXPECT_EQ(Boxes.Boxes[0].Caption, QStringLiteral("Error"));
  EXPECT_EQ(Window->OpenDialog(), nullptr);
}

}  // namespace
}  // namespace ktv

#include "player_main_form_test.moc"
