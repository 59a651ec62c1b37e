// The main window and its console under a real window manager (the program runs on a private X server with
// openbox, support/with-display --wm). A window manager places, frames and stacks windows itself, answers
// geometry requests later and changes states on its own; these tests check what a user sees on the screen,
// read from the X server (window positions, the manager's _NET_WM_STATE, the window under the pointer), not
// what the program believes.
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <set>
#include <sstream>

#include "app/app_test_support.h"
#include "playback/qt/player_base_class.h"
#include "ui/kestrova_image_button.h"

namespace ktv {
namespace {

using namespace ktv::test;

// Runs one of the desktop tools on the display and returns what it printed.
std::string Tool(const std::vector<std::string>& command) {
  std::vector<std::string> args(command.begin() + 1, command.end());
  return RunProgram("/usr/bin/" + command[0], args).Out;
}

std::string Id(QWidget& window) {
  return std::to_string(static_cast<unsigned long>(window.winId()));
}

// A window as the X server shows it.
struct tOnScreen {
  QRect Bounds;  // absolute, on the root window
  bool Viewable = false;
};

tOnScreen OnScreen(QWidget& window) {
  std::istringstream text(Tool({"xwininfo", "-id", Id(window)}));
  tOnScreen shown;
  int x = 0, y = 0, w = 0, h = 0;
  for (std::string line; std::getline(text, line);) {
    const auto value = [&](const char* key, int& to) {
      const size_t at = line.find(key);
      if (at != std::string::npos) to = std::atoi(line.c_str() + at + std::strlen(key));
    };
    value("Absolute upper-left X:", x);
    value("Absolute upper-left Y:", y);
    value("  Width:", w);
    value("  Height:", h);
    if (line.find("Map State: IsViewable") != std::string::npos) shown.Viewable = true;
  }
  shown.Bounds = QRect(x, y, w, h);
  return shown;
}

// The manager's states of a window (_NET_WM_STATE_ABOVE, _HIDDEN, _FULLSCREEN, ...).
std::set<std::string> NetState(QWidget& window) {
  const std::string text = Tool({"xprop", "-id", Id(window), "_NET_WM_STATE"});
  std::set<std::string> states;
  const size_t equals = text.find('=');
  if (equals == std::string::npos) return states;
  std::istringstream list(text.substr(equals + 1));
  for (std::string state; std::getline(list, state, ',');) {
    state.erase(std::remove_if(state.begin(), state.end(), [](char c) { return std::isspace(c); }),
                state.end());
    if (!state.empty()) states.insert(state);
  }
  return states;
}

bool Has(QWidget& window, const char* state) {
  return NetState(window).count(state) > 0;
}

// The frame the manager put around the window: left, right, top, bottom.
std::string FrameExtents(QWidget& window) {
  const std::string text = Tool({"xprop", "-id", Id(window), "_NET_FRAME_EXTENTS"});
  const size_t equals = text.find('=');
  return equals == std::string::npos ? std::string() : text.substr(equals + 2, text.find('\n') - equals - 2);
}

// The top-level X window under the pointer (the manager's frame around a client) after moving the pointer to
// a point of the screen.
unsigned long WindowAt(QPoint p) {
  const std::string text =
      Tool({"xdotool", "mousemove", std::to_string(p.x()), std::to_string(p.y()), "getmouselocation"});
  const size_t at = text.find("window:");
  return at == std::string::npos ? 0 : std::stoul(text.substr(at + 7));
}

// Presses the real pointer's left button at a point of the screen, moves it by `by` in steps (as a hand
// does) and lets go: the window manager sees what a user does.
void DragOnScreen(QPoint from, QPoint by) {
  const auto at = [](QPoint p) {
    return std::vector<std::string>{std::to_string(p.x()), std::to_string(p.y())};
  };
  Tool({"xdotool", "mousemove", at(from)[0], at(from)[1], "mousedown", "1"});
  RunEvents(200);
  for (int step = 1; step <= 4; ++step) {
    const QPoint p = from + by * step / 4;
    Tool({"xdotool", "mousemove", at(p)[0], at(p)[1]});
    RunEvents(50);
  }
  Tool({"xdotool", "mouseup", "1"});
}

class PlayerUnderWM : public PlayerWindowTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    ASSERT_NE(Tool({"wmctrl", "-m"}).find("Openbox"), std::string::npos)
        << "no window manager on the display";
  }

  // Waits until the console stands on the screen centred right below the main window.
  bool ConsoleBelow() {
    return WaitUntil([&] {
      const tOnScreen main = OnScreen(*Window), console = OnScreen(Stand());
      return main.Viewable && console.Viewable && console.Bounds.top() == main.Bounds.bottom() + 1 &&
             std::abs(console.Bounds.center().x() - main.Bounds.center().x()) <= 1;
    });
  }
  std::string Describe() {
    const QRect m = OnScreen(*Window).Bounds, c = OnScreen(Stand()).Bounds;
    std::ostringstream text;
    text << "main " << m.x() << "," << m.y() << " " << m.width() << "x" << m.height() << "; console " << c.x()
         << "," << c.y() << " " << c.width() << "x" << c.height();
    return text.str();
  }
};

TEST_F(PlayerUnderWM, OpensFramelessWithTheConsoleBelow) {
  Make();
  EXPECT_TRUE(ConsoleBelow()) << Describe();
  EXPECT_EQ(FrameExtents(*Window), "0, 0, 0, 0") << "the manager draws no frame of its own";
  EXPECT_EQ(FrameExtents(Stand()), "0, 0, 0, 0");
  // The program's idea of its place is the place on the screen.
  EXPECT_TRUE(WaitUntil([&] { return Window->geometry() == OnScreen(*Window).Bounds; }))
      << Window->x() << "," << Window->y() << " against " << Describe();
  const QRect area = Window->screen()->availableGeometry();
  EXPECT_TRUE(area.contains(OnScreen(*Window).Bounds.united(OnScreen(Stand()).Bounds))) << Describe();
}

TEST_F(PlayerUnderWM, TheConsoleFollowsWhenTheTelevisionMoves) {
  struct {
    const char* note;
    std::function<void(QWidget& window, QPoint by)> move;
  } rows[] = {
      {"the window manager moves it (a pager, a keyboard move)",
       [](QWidget& window, QPoint by) {
         const QRect at = OnScreen(window).Bounds;
         Tool({"wmctrl", "-i", "-r", Id(window), "-e",
               "0," + std::to_string(at.x() + by.x()) + "," + std::to_string(at.y() + by.y()) + ",-1,-1"});
       }},
      {"the user drags the picture with the mouse",
       [](QWidget& window, QPoint by) { DragOnScreen(OnScreen(window).Bounds.center(), by); }},
      {"the user drags the console's caption",
       [](QWidget& window, QPoint by) {
         auto* main = static_cast<TfrmPlayerMain*>(&window);
         DragOnScreen(OnScreen(*main->TVStand()).Bounds.topLeft() + QPoint(100, 25), by);
       }},
  };
  Make();
  ASSERT_TRUE(ConsoleBelow()) << Describe();
  for (const auto& r : rows) {
    const QRect before = OnScreen(*Window).Bounds;
    const QPoint by(-120, 70);
    r.move(*Window, by);
    EXPECT_TRUE(WaitUntil([&] { return OnScreen(*Window).Bounds == before.translated(by); }))
        << r.note << ": " << Describe();
    EXPECT_TRUE(ConsoleBelow()) << r.note << ": " << Describe();
    EXPECT_EQ(Window->pos(), before.topLeft() + by) << r.note << ": the program knows where it is";
  }
}

TEST_F(PlayerUnderWM, StayOnTopFollowsTheSetting) {
  for (bool onTop : {true, false}) {
    Config.Settings->StayOnTop = onTop;
    ASSERT_TRUE(Config.Settings->SaveSettings());
    Make();
    ASSERT_TRUE(ConsoleBelow()) << Describe();
    EXPECT_TRUE(WaitUntil([&] { return Has(*Window, "_NET_WM_STATE_ABOVE") == onTop; }))
        << "main, on top " << onTop;
    EXPECT_TRUE(WaitUntil([&] { return Has(Stand(), "_NET_WM_STATE_ABOVE") == onTop; }))
        << "console, on top " << onTop;
    Window.reset();
  }
}

TEST_F(PlayerUnderWM, MinimisesAndRestores) {
  Make();
  ASSERT_TRUE(ConsoleBelow()) << Describe();
  const QRect bounds = OnScreen(*Window).Bounds;
  QTest::mouseClick(Stand().btnMinimize, Qt::LeftButton, Qt::NoModifier,
                    Stand().btnMinimize->rect().center());
  EXPECT_TRUE(WaitUntil([&] { return Has(*Window, "_NET_WM_STATE_HIDDEN"); })) << "the manager iconified it";
  EXPECT_TRUE(WaitUntil([&] { return !OnScreen(*Window).Viewable && !OnScreen(Stand()).Viewable; }))
      << "neither the picture nor the console stays on the screen";

  // The user restores it from the task list: the manager maps it again.
  Tool({"wmctrl", "-i", "-a", Id(*Window)});
  EXPECT_TRUE(WaitUntil([&] { return !Has(*Window, "_NET_WM_STATE_HIDDEN"); }));
  EXPECT_TRUE(ConsoleBelow()) << "the console comes back with it: " << Describe();
  EXPECT_EQ(OnScreen(*Window).Bounds, bounds);
  EXPECT_TRUE(WaitUntil([&] { return !Window->isMinimized(); })) << "the program learnt it";
}

TEST_F(PlayerUnderWM, MaximiseLeavesRoomForTheConsole) {
  Make();
  ASSERT_TRUE(ConsoleBelow()) << Describe();
  const QRect bounds = OnScreen(*Window).Bounds;
  const QRect area = Window->screen()->availableGeometry();
  PostSysCommand(Window.get(), SC_MAXIMIZE, QPoint());
  EXPECT_TRUE(WaitUntil([&] {
    const QRect main = OnScreen(*Window).Bounds;
    return main.topLeft() == area.topLeft() && main.width() == area.width();
  })) << Describe();
  EXPECT_TRUE(ConsoleBelow()) << Describe();
  EXPECT_EQ(OnScreen(Stand()).Bounds.bottom(), area.bottom()) << "the console is the last row of the area";

  PostSysCommand(Window.get(), SC_RESTORE, QPoint());
  EXPECT_TRUE(WaitUntil([&] { return OnScreen(*Window).Bounds == bounds; })) << Describe();
  EXPECT_TRUE(ConsoleBelow()) << Describe();
}

TEST_F(PlayerUnderWM, FullScreenAndBack) {
  Make();
  Window->OpenStream(QString::fromStdString(Clip(352, 288, 6)));
  ASSERT_TRUE(WaitUntil([&] { return OnScreen(*Window).Bounds.size() == QSize(364, 298); }, 10000))
      << Describe();
  ASSERT_TRUE(ConsoleBelow()) << Describe();
  const QRect bounds = OnScreen(*Window).Bounds;
  const QRect screen = Window->screen()->geometry();

  QTest::mouseClick(Stand().btnMax, Qt::LeftButton, Qt::NoModifier, Stand().btnMax->rect().center());
  EXPECT_TRUE(WaitUntil([&] { return Has(*Window, "_NET_WM_STATE_FULLSCREEN"); })) << "the manager knows";
  EXPECT_TRUE(WaitUntil([&] { return OnScreen(*Window).Bounds == screen; })) << Describe();
  EXPECT_TRUE(WaitUntil([&] { return !OnScreen(Stand()).Viewable; })) << "no console in full screen";
  // The picture keeps its shape in the middle of the screen.
  EXPECT_TRUE(WaitUntil([&] { return Window->Player()->height() == screen.height(); }));
  EXPECT_NEAR(Window->Player()->width(), screen.height() * 352.0 / 288.0, 1.0);

  QTest::keyClick(Window.get(), Qt::Key_Escape);
  EXPECT_TRUE(WaitUntil([&] { return !Has(*Window, "_NET_WM_STATE_FULLSCREEN"); }));
  EXPECT_TRUE(WaitUntil([&] { return OnScreen(*Window).Bounds == bounds; })) << Describe();
  EXPECT_TRUE(ConsoleBelow()) << Describe();
  EXPECT_EQ(Window->Player()->geometry(), Window->rect());
  // Some time later nothing has moved it again (a late answer of the manager's).
  RunEvents(500);
  EXPECT_EQ(OnScreen(*Window).Bounds, bounds) << Describe();
  EXPECT_EQ(Window->geometry(), bounds);
}

TEST_F(PlayerUnderWM, TheBorderShapesTheWindow) {
  struct {
    bool border;
    const char* note;
  } rows[] = {
      {true, "the television's rounded corner lets the desktop through"},
      {false, "without the border the window is a plain rectangle"},
  };
  for (const auto& r : rows) {
    Config.Settings->ShowTVBorder = r.border;
    ASSERT_TRUE(Config.Settings->SaveSettings());
    Make();
    ASSERT_TRUE(ConsoleBelow()) << Describe();
    EXPECT_EQ(FrameExtents(*Window), "0, 0, 0, 0") << r.note;
    const QRect main = OnScreen(*Window).Bounds;
    // The manager's frame around the window takes its shape: the pointer over the corner is over the
    // picture's window only when there is no shape.
    const unsigned long picture = WindowAt(main.center());
    ASSERT_NE(picture, 0u);
    EXPECT_EQ(WindowAt(main.topLeft()) == picture, !r.border) << r.note;
    EXPECT_EQ(WindowAt(main.topLeft() + QPoint(30, 30)), picture) << r.note << ": inside the frame";
    EXPECT_EQ(Window->IsBorderShown(), r.border);
    Window.reset();
  }
}

}  // namespace
}  // namespace ktv
