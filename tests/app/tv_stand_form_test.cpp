// The console as a user meets it: its buttons and menus send the main window its commands, the knob turns
// with the mouse and the wheel, the clock and the information line show what they should, it fades with
// the program's activation, and it goes to the tray (or, without one, stays a normal window).
#include "ui/tv_stand_form.h"

#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <filesystem>

#include "app_test_support.h"
#include "ui/kestrova_image_button.h"
#include "ui/window_menu.h"

namespace ktv {
namespace {

using namespace ktv::test;

class ConsoleTest : public ::testing::Test {
 protected:
  void Make(std::unique_ptr<tTrayIcon> tray) {
    Console = std::make_unique<TfrmTVStandBase>(&Owner, *Config.Settings, std::move(tray));
    Console->SetClock([this] { return Clock; });
    Owner.show();
    Console->show();
    ASSERT_TRUE(WaitExposed(*Console));
  }
  void SetUp() override {
    auto tray = std::make_unique<tFakeTray>(true);
    Tray = tray.get();
    Make(std::move(tray));
  }
  void SetKnob(uint16_t value) {
    SendCommand(Console.get(), CM_VOLUME, value);
    ASSERT_EQ(Console->KnobValue(), value);
  }
  QColor PixelAt(const QImage& image, QPointF at) { return image.pixelColor(at.toPoint()); }

  tTempConfig Config;
  tRecordingWindow Owner;
  tFakeTray* Tray = nullptr;
  uint32_t Clock = 100000;
  std::unique_ptr<TfrmTVStandBase> Console;
};

bool IsPointerColour(const QColor& c) {
  return std::abs(c.red() - 0x40) < 12 && std::abs(c.green() - 0x33) < 12 && std::abs(c.blue() - 0x1E) < 12;
}

TEST_F(ConsoleTest, PointerShowsTheVolume) {
  struct {
    uint16_t value;
    double degrees;  // screen angle, y down
    const char* note;
  } rows[] = {
      {0, 135, "silence points to the lower left"},
      {65535, 45, "full volume points to the lower right, past the top"},
      {32768, 270, "half way points straight up"},
  };
  for (const auto& r : rows) {
    SetKnob(r.value);
    const QImage shown = Console->grab().toImage();
    const QPointF centre = Console->KnobCentre();
    const double a = r.degrees * M_PI / 180;
    const QPointF direction(std::cos(a), std::sin(a));
    EXPECT_TRUE(IsPointerColour(PixelAt(shown, centre + direction * 12))) << r.note;
    // The pointer's tail reaches 10 pixels behind the centre; further back is the bare knob.
    EXPECT_FALSE(IsPointerColour(PixelAt(shown, centre - direction * 16))) << r.note;
  }
}

TEST_F(ConsoleTest, DraggingTheKnobSetsTheVolumeWithDeadZonesBelow) {
  struct {
    QPoint offset;  // from the knob's centre
    int expect;     // -1: unchanged
    const char* note;
  } rows[] = {
      {{-13, 13}, 0, "lower left is the minimum"},
      {{13, 13}, 65535, "lower right is the maximum"},
      {{-1, 20}, 0, "just left of straight down: the dead zone's minimum half"},
      {{1, 20}, 65535, "just right of straight down: the dead zone's maximum half"},
      {{-20, 0}, 10922, "straight left: 45 of the 270 degrees"},
      {{-13, -13}, 21845, "upper left"},
      {{13, -13}, 43690, "upper right"},
      {{0, 20}, -1, "exactly below the centre gives no angle: nothing changes"},
  };
  for (const auto& r : rows) {
    SetKnob(12345);
    Owner.Received.clear();
    const QPoint at = Console->KnobCentre() + r.offset;
    QTest::mousePress(Console.get(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(Console.get(), Qt::LeftButton, Qt::NoModifier, at);
    RunEvents(20);
    const int expect = r.expect < 0 ? 12345 : r.expect;
    EXPECT_EQ(Console->KnobValue(), expect) << r.note;
    const tReceived* volume = Owner.Find(CM_VOLUME);
    if (r.expect < 0) {
      EXPECT_EQ(volume, nullptr) << r.note;
    } else {
      ASSERT_NE(volume, nullptr) << r.note;
      EXPECT_EQ(volume->WParam, expect) << r.note;
    }
  }
}

TEST_F(ConsoleTest, KnobFollowsTheDragAndSavesOnRelease) {
  const std::string store = Config.Folder.Path() + "/kestrova/settings";
  ASSERT_FALSE(std::filesystem::exists(store));
  const QPoint centre = Console->KnobCentre();
  QTest::mousePress(Console.get(), Qt::LeftButton, Qt::NoModifier, centre + QPoint(-13, 13));
  EXPECT_TRUE(Console->KnobDragging());
  QTest::mouseMove(Console.get(), centre + QPoint(13, -13));
  EXPECT_EQ(Console->KnobValue(), 43690);
  QTest::mouseMove(Console.get(), centre + QPoint(13, 13));
  EXPECT_EQ(Console->KnobValue(), 65535);
  QTest::mouseRelease(Console.get(), Qt::LeftButton, Qt::NoModifier, centre + QPoint(13, 13));
  EXPECT_FALSE(Console->KnobDragging());
  EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(store); })) << "settings saved on release";
}

TEST_F(ConsoleTest, WheelTurnsTheKnobWithinItsRange) {
  struct {
    uint16_t start;
    int notches;
    int expect;
    const char* note;
  } rows[] = {
      {30000, 1, 33072, "one notch up"},
      {30000, -2, 23856, "two notches down"},
      {64000, 1, 65535, "within one notch of the top ends at the top"},
      {1000, -1, 0, "within one notch of the bottom ends at the bottom"},
  };
  for (const auto& r : rows) {
    SetKnob(r.start);
    Owner.Received.clear();
    const QPointF at(100, 50);
    QWheelEvent wheel(at, Console->mapToGlobal(at), QPoint(), QPoint(0, 120 * r.notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Console.get(), &wheel);
    RunEvents(20);
    EXPECT_EQ(Console->KnobValue(), r.expect) << r.note;
    ASSERT_NE(Owner.Find(CM_VOLUME), nullptr) << r.note;
    EXPECT_EQ(Owner.Find(CM_VOLUME)->WParam, r.expect) << r.note;
  }
}

// Touchpads and fine wheels send parts of a notch: they add up; a turn the other way starts afresh.
TEST_F(ConsoleTest, PartsOfANotchAddUp) {
  struct {
    std::vector<int> deltas;
    int expect;
    const char* note;
  } rows[] = {
      {std::vector<int>(16, 15), 30000 + 2 * 3072, "sixteen steps of 15 make two notches"},
      {{60, 59}, 30000, "just short of a notch moves nothing"},
      {{-40, -40, -40}, 30000 - 3072, "downwards alike"},
      {{100, -100, -20}, 30000 - 3072, "a turn back does not spend what went up"},
  };
  for (const auto& r : rows) {
    // Forget what the last row left: each turn of the other way starts afresh (a row going up resets the last
    // -1, one going down keeps it, which no row's notch count feels).
    for (int delta : {-1, 1, -1}) Console->Wheel(delta);
    SetKnob(30000);
    for (int delta : r.deltas) {
      const QPointF at(100, 50);
      QWheelEvent wheel(at, Console->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                        Qt::NoModifier, Qt::ScrollUpdate, false);
      QApplication::sendEvent(Console.get(), &wheel);
    }
    RunEvents(20);
    EXPECT_EQ(Console->KnobValue(), r.expect) << r.note;
  }
}

TEST_F(ConsoleTest, ClockShowsThePlayTime) {
  struct {
    double seconds;
    const char* text;
  } rows[] = {
      {0, "00:00:00"},
      {3661, "01:01:01"},
      {59.999, "00:00:59"},  // whole seconds: the next one shows when it is complete
      {359999, "99:59:59"},
      {360000, "00:00:00"},        // hours are shown modulo 100
      {-5, "00:00:00"},            // a position not yet known
      {std::nan(""), "00:00:00"},  // nor a broken one
      {1e300, "00:00:00"},         // huge: clamped before it becomes an integer, never undefined
  };
  for (const auto& r : rows) {
    Console->SetPlayTime(r.seconds);
    Console->ClockUpdateTimer();
    EXPECT_EQ(Console->ClockText(), QString::fromLatin1(r.text)) << r.seconds;
  }
  EXPECT_EQ(Owner.PositionAsks, 0) << "the console is told the time, it never asks for it";
}

// A console made afresh with the same state: what an incremental redraw must look like.
std::unique_ptr<TfrmTVStandBase> FreshConsole(QWidget& owner, tPlayerSettings& settings, double seconds,
                                              const QString& text, uint16_t knob) {
  auto fresh = std::make_unique<TfrmTVStandBase>(&owner, settings, std::make_unique<tFakeTray>(true));
  fresh->SetPlayTime(seconds);
  SendCommand(fresh.get(), CM_NOTIFY, 0, 0, text);
  SendCommand(fresh.get(), CM_VOLUME, knob);
  return fresh;
}

// The bounding box of the pixels in which two pictures of one size differ (empty: none).
QRect Difference(const QImage& a, const QImage& b) {
  QRect box;
  const QImage x = a.convertToFormat(QImage::Format_ARGB32), y = b.convertToFormat(QImage::Format_ARGB32);
  for (int row = 0; row < x.height(); ++row)
    for (int col = 0; col < x.width(); ++col)
      if (x.pixel(col, row) != y.pixel(col, row)) box |= QRect(col, row, 1, 1);
  return box;
}

TEST_F(ConsoleTest, ChangesRedrawOnlyTheirPartAndLookAsIfComposedAfresh) {
  const QString text = QStringLiteral("Volume Changed to 50%");
  SendCommand(Console.get(), CM_NOTIFY, 0, 0, text);
  SetKnob(20000);
  Console->SetPlayTime(754);
  const int bodies = Console->BodyComposeCount();
  struct {
    double seconds;
    uint16_t knob;
    QRect where;  // what may change: the clock's digits, or the knob
    const char* note;
  } rows[] = {
      {755, 20000, {0, 50, 120, 45}, "a second later: only the clock's digits"},
      {3600 * 12 + 755, 20000, {0, 50, 120, 45}, "hours change too"},
      {3600 * 12 + 755,
       50000,
       {Console->KnobCentre() - QPoint(30, 30), QSize(61, 61)},
       "the volume: the knob"},
  };
  for (const auto& r : rows) {
    const QImage before = Console->grab().toImage();
    Console->SetPlayTime(r.seconds);
    SendCommand(Console.get(), CM_VOLUME, r.knob);
    const QImage after = Console->grab().toImage();
    const QRect changed = Difference(before, after);
    EXPECT_FALSE(changed.isEmpty()) << r.note;
    EXPECT_TRUE(r.where.contains(changed)) << r.note << ": changed " << changed.x() << "," << changed.y()
                                           << " " << changed.width() << "x" << changed.height();
    auto fresh = FreshConsole(Owner, *Config.Settings, r.seconds, text, r.knob);
    EXPECT_EQ(Console->ComposedBitmap(), fresh->ComposedBitmap()) << r.note;
    EXPECT_EQ(after, fresh->grab().toImage()) << r.note;
  }
  EXPECT_EQ(Console->BodyComposeCount(), bodies) << "the fixed body stays as it was composed";
}

TEST_F(ConsoleTest, TicksAndScrollingLeaveTheBodyAsComposed) {
  SendCommand(
      Console.get(), CM_NOTIFY, 0, 0,
      QStringLiteral("A station name far too long for the console - with its description and the title"));
  const int bodies = Console->BodyComposeCount();
  for (int i = 0; i < 200; ++i) {
    Clock += 40;
    Console->SetPlayTime(i * 0.04);
    Console->ClockUpdateTimer();
  }
  ASSERT_LT(Console->MarqueePos(), 3.0) << "the line scrolled meanwhile";
  EXPECT_EQ(Console->ClockText(), QStringLiteral("00:00:07"));
  EXPECT_EQ(Console->BodyComposeCount(), bodies);
  EXPECT_EQ(Owner.PositionAsks, 0);
}

TEST_F(ConsoleTest, ResizeAndCaptionRecomposeTheBody) {
  int bodies = Console->BodyComposeCount();
  const QSize designed = Console->size();
  Console->setFixedSize(designed + QSize(50, 0));  // whole tiles of the body's middle
  EXPECT_GT(Console->BodyComposeCount(), bodies) << "a resize";
  EXPECT_EQ(Console->ComposedBitmap().size(), Console->size() * Console->ComposedBitmap().devicePixelRatio());
  // The knob keeps its distance from the right edge, so the picture there moved with it.
  const QImage wide = Console->grab().toImage();
  Console->setFixedSize(designed);
  const QImage narrow = Console->grab().toImage();
  const int knobLeft = Console->KnobCentre().x() - TfrmTVStandBase::kKnobSize / 2;
  EXPECT_EQ(wide.copy(knobLeft + 50, 40, TfrmTVStandBase::kKnobSize, 60),
            narrow.copy(knobLeft, 40, TfrmTVStandBase::kKnobSize, 60));

  bodies = Console->BodyComposeCount();
  const QImage before = Console->grab().toImage();
  Console->setWindowTitle(QStringLiteral("Volume Changed to 75%"));
  EXPECT_GT(Console->BodyComposeCount(), bodies) << "a new caption";
  const QRect changed = Difference(before, Console->grab().toImage());
  EXPECT_TRUE(QRect(0, 10, Console->width(), 25).contains(changed)) << "only the caption changed";

  // Hidden and shown again at the same size (a fade): the picture still fits.
  bodies = Console->BodyComposeCount();
  Console->hide();
  Console->show();
  EXPECT_EQ(Console->BodyComposeCount(), bodies);
}

TEST_F(ConsoleTest, FittingTextStaysPut) {
  SendCommand(Console.get(), CM_NOTIFY, 0, 0, QStringLiteral("Volume Changed to 50%"));
  const QImage before = Console->grab().toImage();
  for (int i = 0; i < 20; ++i) {
    Clock += 500;
    Console->ClockUpdateTimer();
  }
  const QRect line = TfrmTVStandBase::kMarqueeRect;
  EXPECT_EQ(Console->grab().toImage().copy(line), before.copy(line));
}

TEST_F(ConsoleTest, LongTextScrollsWithPausesAtBothEnds) {
  SendCommand(
      Console.get(), CM_NOTIFY, 0, 0,
      QStringLiteral("A station name far too long for the console - with its description and the title"));
  ASSERT_LT(Console->MarqueeMin(), -3);
  Clock += 1999;
  Console->ClockUpdateTimer();
  EXPECT_EQ(Console->MarqueePos(), 3.0) << "two seconds still after new text";
  Clock += 1;
  Console->ClockUpdateTimer();
  EXPECT_LT(Console->MarqueePos(), 3.0);

  double last = Console->MarqueePos();
  for (int i = 0; i < 5000 && Console->MarqueePos() > Console->MarqueeMin(); ++i) {
    Clock += 40;
    Console->ClockUpdateTimer();
    ASSERT_LT(Console->MarqueePos(), last);
    last = Console->MarqueePos();
  }
  ASSERT_EQ(Console->MarqueePos(), Console->MarqueeMin()) << "reaches the end of the text";
  Clock += 999;
  Console->ClockUpdateTimer();
  EXPECT_EQ(Console->MarqueePos(), Console->MarqueeMin()) << "a second still at the end";
  Clock += 1;
  Console->ClockUpdateTimer();
  EXPECT_GT(Console->MarqueePos(), Console->MarqueeMin()) << "then back toward the start";
}

TEST_F(ConsoleTest, HintOverTheInformationLineIsItsWholeText) {
  const QString text =
      QStringLiteral("Opening http://127.0.0.1:8000/a/very/long/stream/address.ogg, Please Wait...");
  SendCommand(Console.get(), CM_NOTIFY, 0, 0, text);
  // A move without a button moves the real pointer; its event arrives from the X server.
  QTest::mouseMove(Console.get(), TfrmTVStandBase::kMarqueeRect.center());
  EXPECT_TRUE(WaitUntil([&] { return Console->toolTip() == text; }));
  QTest::mouseMove(Console.get(), QPoint(100, 80));
  EXPECT_TRUE(WaitUntil([&] { return Console->toolTip().isEmpty(); }));
}

TEST_F(ConsoleTest, ButtonsSendTheirCommands) {
  struct {
    TKestrovaImageButton* TfrmTVStandBase::*button;
    uint32_t msg;
    intptr_t w, l;
    const char* note;
  } rows[] = {
      {&TfrmTVStandBase::btnPlay, CM_PLAY_STOP, 1, 1, "play"},
      {&TfrmTVStandBase::btnStop, CM_PLAY_STOP, 0, 0, "stop"},
      {&TfrmTVStandBase::btnStreamInfo, CM_STREAM_INFO, 0, 0, "stream information"},
      {&TfrmTVStandBase::btnPlaylist, CM_PLAYLIST, 0, 0, "playlist"},
      {&TfrmTVStandBase::btnOpen, CM_OPEN_URL, 0, 0, "open"},
      {&TfrmTVStandBase::btnDirectory, CM_DIRECTORY, 0, 0, "directory"},
      {&TfrmTVStandBase::btnSettings, CM_SETTINGS, 0, 0, "settings"},
      {&TfrmTVStandBase::btnRate, CM_RATE, 0, 0, "rate"},
      {&TfrmTVStandBase::btnSchedule, CM_SCHEDULE, 0, 0, "schedule"},
      {&TfrmTVStandBase::btnMax, CM_FULL_SCREEN, 0, 0, "full screen"},
  };
  for (const auto& r : rows) {
    Owner.Received.clear();
    TKestrovaImageButton* button = (*Console).*(r.button);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
    RunEvents(20);
    const tReceived* got = Owner.Find(r.msg);
    ASSERT_NE(got, nullptr) << r.note;
    EXPECT_EQ(got->WParam, r.w) << r.note;
    EXPECT_EQ(got->LParam, r.l) << r.note;
  }
}

TEST_F(ConsoleTest, CloseButtonClosesThePlayer) {
  QTest::mouseClick(Console->btnClose, Qt::LeftButton, Qt::NoModifier, Console->btnClose->rect().center());
  EXPECT_TRUE(WaitUntil([&] { return !Owner.isVisible(); }));
}

TEST_F(ConsoleTest, CaptionBandMovesTheWindowAndOpensTheWindowMenu) {
  QTest::mousePress(Console.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 25));
  QTest::mouseRelease(Console.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 25));
  EXPECT_NE(Owner.Find(CM_MOVE_WINDOW), nullptr);

  QTest::mouseClick(Console.get(), Qt::RightButton, Qt::NoModifier, QPoint(100, 25));
  EXPECT_TRUE(WaitUntil([&] { return Console->WindowMenu()->isVisible(); }));
  EXPECT_EQ(Owner.Find(CM_POPUP), nullptr);
  Console->WindowMenu()->hide();

  QTest::mouseClick(Console.get(), Qt::RightButton, Qt::NoModifier, QPoint(100, 60));
  EXPECT_NE(Owner.Find(CM_POPUP), nullptr) << "below the caption band: the main menu";
}

TEST_F(ConsoleTest, WindowMenuActsOnTheMainWindow) {
  QTest::mouseClick(Console->imIcon, Qt::LeftButton, Qt::NoModifier, Console->imIcon->rect().center());
  TWindowMenu* menu = Console->WindowMenu();
  ASSERT_TRUE(WaitUntil([&] { return menu->isVisible(); }));
  EXPECT_GE(menu->y(), Console->mapToGlobal(Console->imIcon->geometry().bottomLeft()).y())
      << "opens below the icon";
  struct {
    QAction* TWindowMenu::*item;
    uint32_t command;
  } rows[] = {
      {&TWindowMenu::Move, SC_MOVE},         {&TWindowMenu::Size, SC_SIZE},
      {&TWindowMenu::Minimize, SC_MINIMIZE}, {&TWindowMenu::Maximize, SC_MAXIMIZE},
      {&TWindowMenu::Close, SC_CLOSE},
  };
  for (const auto& r : rows) {
    Owner.Received.clear();
    ((*menu).*(r.item))->trigger();
    RunEvents(20);
    EXPECT_NE(Owner.Find(r.command, true), nullptr) << r.command;
  }
}

TEST_F(ConsoleTest, ShapedAsTheStandsNeckOverTheBody) {
  const QRegion shape = Console->mask();
  EXPECT_TRUE(shape.contains(QPoint(5, 60))) << "the body";
  EXPECT_TRUE(shape.contains(QPoint(Console->width() / 2, 4))) << "the neck";
  EXPECT_FALSE(shape.contains(QPoint(5, 4))) << "beside the neck";
  EXPECT_FALSE(shape.contains(QPoint(Console->width() - 5, 4))) << "beside the neck";
}

TEST_F(ConsoleTest, FadesWithTheProgramsActivation) {
  Console->hide();
  Console->ApplicationActivation(true);
  Console->FadeInTimer();
  EXPECT_FALSE(Console->isVisible()) << "nothing to show at the very start";
  Clock += 100;
  Console->FadeInTimer();
  EXPECT_TRUE(Console->isVisible());
  EXPECT_NEAR(Console->windowOpacity(), 100 / 255.0, 0.01);
  Clock += 200;
  Console->FadeInTimer();
  EXPECT_EQ(Console->windowOpacity(), 1.0);
  EXPECT_EQ(Console->FadeDirection(), 0);

  Console->ApplicationActivation(false);
  Clock += 100;
  Console->FadeInTimer();
  EXPECT_NEAR(Console->windowOpacity(), 155 / 255.0, 0.01);
  EXPECT_TRUE(Console->isVisible());
  Clock += 200;
  Console->FadeInTimer();
  EXPECT_FALSE(Console->isVisible()) << "a finished fade-out hides the console";

  // Around the main window's dialogs nothing fades; a box over a dialog holds it too, and closing the box
  // leaves the dialog's hold.
  Console->HoldFade();
  Console->HoldFade();
  Console->ApplicationActivation(true);
  Clock += 300;
  Console->FadeInTimer();
  EXPECT_FALSE(Console->isVisible());
  Console->ReleaseFade();
  Console->FadeInTimer();
  EXPECT_FALSE(Console->isVisible()) << "the dialog still holds the fade";
  Console->ReleaseFade();
  Console->FadeInTimer();
  EXPECT_TRUE(Console->isVisible());
}

TEST_F(ConsoleTest, FadeInWaitsWhileTheMainWindowWantsItHidden) {
  bool allowed = false;
  Console->MayShow = [&] { return allowed; };
  Console->hide();
  Console->ApplicationActivation(true);
  Clock += 300;
  Console->FadeInTimer();
  EXPECT_FALSE(Console->isVisible()) << "full screen keeps the console away";
}

// A plain 4:2:0 frame of one colour.
struct tSolidFrame {
  std::vector<unsigned char> Y, U, V;
  yuv_buffer Frame{};
  tSolidFrame(int w, int h, unsigned char y, unsigned char u, unsigned char v)
      : Y(static_cast<size_t>(w * h), y),
        U(static_cast<size_t>(w * h / 4), u),
        V(static_cast<size_t>(w * h / 4), v) {
    Frame.y_width = w;
    Frame.y_height = h;
    Frame.y_stride = w;
    Frame.uv_width = w / 2;
    Frame.uv_height = h / 2;
    Frame.uv_stride = w / 2;
    Frame.y = Y.data();
    Frame.u = U.data();
    Frame.v = V.data();
  }
};

TEST_F(ConsoleTest, MinimisesIntoTheTrayShowingTheVideo) {
  Config.Settings->MinimizeToTray = true;
  Config.Settings->PlayInTray = true;
  QTest::mouseClick(Console->btnMinimize, Qt::LeftButton, Qt::NoModifier,
                    Console->btnMinimize->rect().center());
  EXPECT_TRUE(Console->InTray());
  EXPECT_TRUE(Tray->Shown);
  EXPECT_TRUE(Tray->Tip.endsWith(QStringLiteral(" [Double Click to Restore]")));
  EXPECT_FALSE(Owner.isVisible());
  EXPECT_FALSE(Console->isVisible());
  const tReceived* toTray = Owner.Find(CM_TRAY_VIDEO);
  ASSERT_NE(toTray, nullptr);
  EXPECT_EQ(toTray->WParam, 1);

  // A 4:3 picture fills the icon's width, with black bars above and below.
  Console->VideoAspect = 0.75;
  tSolidFrame red(64, 48, 81, 90, 240);
  Console->ShowTrayVideoFrame(&red.Frame, nullptr);
  EXPECT_EQ(Tray->Modified, 1);
  const QImage icon = Console->TrayBitmap();
  ASSERT_EQ(icon.size(), QSize(48, 48));
  EXPECT_EQ(icon.pixelColor(24, 2), QColor(Qt::black)) << "bar above";
  EXPECT_EQ(icon.pixelColor(24, 45), QColor(Qt::black)) << "bar below";
  EXPECT_GT(icon.pixelColor(24, 24).red(), 200) << "the picture";
  EXPECT_EQ(Tray->Icon.pixmap(48, 48).toImage().pixelColor(24, 24).red(), icon.pixelColor(24, 24).red());

  Owner.Received.clear();
  Tray->DoubleClick();
  EXPECT_TRUE(WaitUntil([&] { return !Console->InTray(); }));
  EXPECT_TRUE(Owner.isVisible());
  EXPECT_TRUE(Console->isVisible());
  EXPECT_FALSE(Tray->Shown);
  ASSERT_NE(Owner.Find(CM_TRAY_VIDEO), nullptr);
  EXPECT_EQ(Owner.Find(CM_TRAY_VIDEO)->WParam, 0);
}

// A frame whose left half is red and right half blue, each chroma sample covering columns x rows luma
// samples.
struct tSplitFrame {
  std::vector<unsigned char> Y, U, V;
  yuv_buffer Frame{};
  tSplitFrame(int w, int h, int columns, int rows) {
    const int cw = w / columns, ch = h / rows;
    for (int row = 0; row < h; ++row)
      for (int col = 0; col < w; ++col) Y.push_back(col < w / 2 ? 81 : 41);
    for (int row = 0; row < ch; ++row)
      for (int col = 0; col < cw; ++col) {
        U.push_back(col < cw / 2 ? 90 : 240);
        V.push_back(col < cw / 2 ? 240 : 110);
      }
    Frame = {w, h, w, cw, ch, cw, Y.data(), U.data(), V.data()};
  }
};

TEST_F(ConsoleTest, TrayShowsPicturesOfEveryChromaLayout) {
  Config.Settings->PlayInTray = true;
  Console->ApplicationMinimize();
  ASSERT_TRUE(Console->InTray());
  Console->VideoAspect = 0.75;
  struct {
    int Columns, Rows;
    const char* Note;
  } rows[] = {{2, 2, "4:2:0"}, {2, 1, "4:2:2"}, {1, 1, "4:4:4"}};
  for (const auto& r : rows) {
    tSplitFrame frame(64, 48, r.Columns, r.Rows);
    Console->ShowTrayVideoFrame(&frame.Frame, nullptr);
    const QImage icon = Console->TrayBitmap();
    ASSERT_EQ(icon.size(), QSize(48, 48));
    const QColor left = icon.pixelColor(10, 24), right = icon.pixelColor(38, 24);
    EXPECT_GT(left.red(), 200) << r.Note;
    EXPECT_LT(left.blue(), 60) << r.Note;
    EXPECT_GT(right.blue(), 200) << r.Note << ": the right half has its own chroma";
    EXPECT_LT(right.red(), 60) << r.Note;
  }
}

TEST_F(ConsoleTest, TrayKeepsTheProgramIconWithoutPlayInTray) {
  Config.Settings->PlayInTray = false;
  Console->ApplicationMinimize();
  ASSERT_TRUE(Console->InTray());
  Console->VideoAspect = 0.75;
  tSolidFrame red(64, 48, 81, 90, 240);
  Console->ShowTrayVideoFrame(&red.Frame, nullptr);
  EXPECT_EQ(Tray->Modified, 0);
}

// The icon takes a few pictures a second whatever the frame rate: a tray on the session bus gets each one as
// a message.
TEST_F(ConsoleTest, TrayPicturesAreLimitedToAFewASecond) {
  Config.Settings->MinimizeToTray = true;
  Config.Settings->PlayInTray = true;
  struct {
    uint32_t spacingMs;
    int frames;
    int pictures;
    const char* note;
  } rows[] = {
      {40, 50, 8, "25 frames a second for 2 s: the first, then the next after each 250 ms"},
      {10, 100, 4, "100 frames a second for 1 s: four"},
      {250, 4, 4, "exactly four a second: every one"},
      {300, 5, 5, "slower than the limit: every one"},
  };
  tSolidFrame red(64, 48, 81, 90, 240);
  Console->VideoAspect = 0.75;
  for (const auto& r : rows) {
    Console->ApplicationMinimize();
    ASSERT_TRUE(Console->InTray());
    Tray->Modified = 0;
    for (int i = 0; i < r.frames; ++i) {
      Console->ShowTrayVideoFrame(&red.Frame, nullptr);
      Clock += r.spacingMs;
    }
    EXPECT_EQ(Tray->Modified, r.pictures) << r.note;
    Console->ApplicationRestore();
  }
  // Back in the tray, the first picture shows at once, however soon after the last one.
  Console->ApplicationMinimize();
  Tray->Modified = 0;
  Console->ShowTrayVideoFrame(&red.Frame, nullptr);
  EXPECT_EQ(Tray->Modified, 1);
}

// A tray on the session bus reports one activation (a click); an embedded X11 tray a click and then a double
// click. Each restores the program, exactly once.
TEST_F(ConsoleTest, ClicksOnTheTrayIconRestoreOnce) {
  Config.Settings->MinimizeToTray = true;
  struct {
    std::vector<bool> doubles;  // the activations in order: false a click, true a double click
    const char* note;
  } rows[] = {
      {{false}, "the session bus tray's only activation"},
      {{true}, "a double click alone"},
      {{false, true}, "an embedded tray's click and double click: restored by the click only"},
  };
  for (const auto& r : rows) {
    Console->ApplicationMinimize();
    ASSERT_TRUE(Console->InTray()) << r.note;
    Owner.Received.clear();
    for (bool twice : r.doubles) twice ? Tray->DoubleClick() : Tray->Click();
    EXPECT_TRUE(WaitUntil([&] { return !Console->InTray(); })) << r.note;
    RunEvents(50);
    int restores = 0;
    for (const tReceived& m : Owner.Received) restores += m.Msg == CM_TRAY_VIDEO && m.WParam == 0;
    EXPECT_EQ(restores, 1) << r.note;
    EXPECT_TRUE(Owner.isVisible()) << r.note;
    EXPECT_TRUE(Console->isVisible()) << r.note;
    EXPECT_FALSE(Tray->Shown) << r.note;
  }
}

TEST_F(ConsoleTest, TrayMenuRestoresPlaysStopsAndQuits) {
  Config.Settings->MinimizeToTray = true;
  ASSERT_EQ(Tray->Menu, Console->TrayContextMenu());
  ASSERT_NE(Tray->Menu, nullptr);
  const auto item = [&](const QString& text) -> QAction* {
    for (QAction* action : Tray->Menu->actions())
      if (action->text() == text) return action;
    return nullptr;
  };
  Console->ApplicationMinimize();
  ASSERT_NE(item("Restore"), nullptr) << "in the tray the first item restores";
  struct {
    const char* text;
    intptr_t play;
  } rows[] = {{"Play", 1}, {"Stop", 0}};
  for (const auto& r : rows) {
    Owner.Received.clear();
    ASSERT_NE(item(r.text), nullptr) << r.text;
    item(r.text)->trigger();
    ASSERT_TRUE(WaitUntil([&] { return Owner.Find(CM_PLAY_STOP) != nullptr; })) << r.text;
    EXPECT_EQ(Owner.Find(CM_PLAY_STOP)->WParam, r.play) << r.text;
    EXPECT_TRUE(Console->InTray()) << r.text << " leaves the program in the tray";
  }
  item("Restore")->trigger();
  EXPECT_FALSE(Console->InTray());
  EXPECT_TRUE(Owner.isVisible());
  ASSERT_NE(item("Hide"), nullptr) << "shown, the item hides";
  item("Hide")->trigger();
  EXPECT_TRUE(Console->InTray());
  EXPECT_FALSE(Owner.isVisible());
  item("Restore")->trigger();
  ASSERT_NE(item("Quit"), nullptr);
  item("Quit")->trigger();
  EXPECT_TRUE(WaitUntil([&] { return !Owner.isVisible(); })) << "quitting closes the main window";
}

TEST(ConsoleWithoutTray, MinimiseLeavesANormalMinimisedWindow) {
  tTempConfig config;
  tRecordingWindow owner;
  // The desktop's own tray: an X server without a window manager has none.
  TfrmTVStandBase console(&owner, *config.Settings);
  owner.show();
  console.show();
  ASSERT_TRUE(WaitExposed(console));
  QTest::mouseClick(console.btnMinimize, Qt::LeftButton, Qt::NoModifier,
                    console.btnMinimize->rect().center());
  RunEvents(20);
  EXPECT_FALSE(console.InTray());
  EXPECT_TRUE(owner.isVisible()) << "nothing is hidden";
  EXPECT_TRUE(console.isVisible());
  EXPECT_TRUE(owner.windowState() & Qt::WindowMinimized);
  EXPECT_EQ(owner.Find(CM_TRAY_VIDEO), nullptr);
}

}  // namespace
}  // namespace ktv
