// Helpers shared by the tests of the main window, the console and the program: a settings record in a
// temporary configuration folder, a window that records the command events it gets, the message boxes
// caught instead of shown, and a tray of our own (an X server without a window manager has none).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QIcon>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "library/player_settings.h"
#include "support/qt/qt_test_support.h"
#include "support/test_support.h"
#include "ui/command_events.h"
#include "ui/my_message_box.h"
#include "ui/tray_icon.h"

namespace ktv::test {

// A configuration folder of its own ($XDG_CONFIG_HOME for this test, so the single-instance name and the
// settings file are private to it) and the settings record on it.
struct tTempConfig {
  tTempDir Folder;
  tScopedEnv Config{"XDG_CONFIG_HOME", Folder.Path()};
  tScopedEnv Sound{"SDL_AUDIODRIVER", "dummy"};  // sound goes nowhere, at the real pace
  std::unique_ptr<tPlayerSettings> Settings = std::make_unique<tPlayerSettings>();
};

// One command event as a window got it.
struct tReceived {
  uint32_t Msg;
  intptr_t WParam, LParam;
  QString Text;
  bool System;  // a system command (Msg is then SC_*)
};

// Stands in for the main window: records what it is sent and answers the play-time question.
class tRecordingWindow : public QWidget {
 public:
  tRecordingWindow() { resize(640, 480); }
  std::vector<tReceived> Received;
  // How often the console asked for the play time (it should not: the main window pushes it).
  int PositionAsks = 0;

  // The last event with this number, or null.
  const tReceived* Find(uint32_t msg, bool system = false) const {
    for (auto it = Received.rbegin(); it != Received.rend(); ++it)
      if (it->Msg == msg && it->System == system) return &*it;
    return nullptr;
  }

 protected:
  bool event(QEvent* event) override {
    if (tCommandEvent* command = AsCommand(event)) {
      if (command->Msg == CM_POSITION) {
        ++PositionAsks;
        return true;
      }
      Received.push_back({command->Msg, command->WParam, command->LParam, command->Text, false});
      return true;
    }
    if (event->type() == tSysCommandEvent::EventType()) {
      Received.push_back({static_cast<tSysCommandEvent*>(event)->Command, 0, 0, {}, true});
      return true;
    }
    return QWidget::event(event);
  }
};

// Message boxes are recorded instead of shown while this lives.
struct tCaughtBoxes {
  struct tBox {
    QString Text, Caption;
    int Flags;
  };
  std::vector<tBox> Boxes;
  tCaughtBoxes() {
    SetMessageBoxHandler([this](const QString& text, const QString& caption, int flags) {
      Boxes.push_back({text, caption, flags});
      return static_cast<int>(IDOK);
    });
  }
  ~tCaughtBoxes() { SetMessageBoxHandler({}); }
  const tBox* Find(const QString& text) const {
    for (const tBox& box : Boxes)
      if (box.Text == text) return &box;
    return nullptr;
  }
};

// A tray that takes the icon or refuses it, and remembers what it shows.
class tFakeTray : public tTrayIcon {
 public:
  explicit tFakeTray(bool available) : Available(available) {}
  bool Add(const QIcon& icon, const QString& tip) override {
    if (!Available) return false;
    Shown = true;
    Icon = icon;
    Tip = tip;
    return true;
  }
  void Modify(const QIcon& icon) override {
    Icon = icon;
    ++Modified;
  }
  void Delete() override { Shown = false; }
  void SetMenu(QMenu* menu) override { Menu = menu; }
  void Click() { emit Clicked(); }
  void DoubleClick() { emit DoubleClicked(); }

  bool Available;
  bool Shown = false;
  QIcon Icon;
  QString Tip;
  QMenu* Menu = nullptr;
  int Modified = 0;
};

// Waits until a top-level widget is on the screen.
inline bool WaitExposed(QWidget& widget) {
  return WaitUntil([&] { return widget.windowHandle() && widget.windowHandle()->isExposed(); });
}

}  // namespace ktv::test

#include "playback/qt/gl_probe.h"
#include "ui/kestrova_button.h"
#include "ui/open_url_form.h"
#include "ui/player_main_form.h"
#include "ui/tv_stand_form.h"

namespace ktv::test {

// The player's main window on a private configuration, with message boxes caught and a tray of our own.
class PlayerWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallOpenGLProbe(); }

  // Makes and shows the window (the OpenGL back-end unless told otherwise) and waits for its opening fade.
  void Make(tPlayerStart start = {}, bool trayAvailable = false) {
    if (!start.UseDirectX) start.UseDirectX = true;
    auto tray = std::make_unique<tFakeTray>(trayAvailable);
    Tray = tray.get();
    start.Tray = std::move(tray);
    Window = std::make_unique<TfrmPlayerMain>(*Config.Settings, std::move(start));
    Window->show();
    ASSERT_TRUE(WaitExposed(*Window));
    ASSERT_TRUE(WaitUntil([&] { return !Window->StartupFadeRunning(); }));
  }
  void TearDown() override { Window.reset(); }

  TfrmTVStandBase& Stand() { return *Window->TVStand(); }
  QString Marquee() { return Window->TVStand()->MarqueeText(); }
  // Opens an address the way a user does: the open dialog, the address typed, OK.
  void OpenAsUser(const std::string& url);
  // Waits until the stream's headers were read (the title is set from them).
  bool WaitForTitle(int ms = 10000) {
    return WaitUntil([&] { return Window->ThreadManager() && !Window->Title().isEmpty(); }, ms);
  }

  tTempConfig Config;
  tCaughtBoxes Boxes;
  tFakeTray* Tray = nullptr;
  std::unique_ptr<TfrmPlayerMain> Window;
};

inline void PlayerWindowTest::OpenAsUser(const std::string& url) {
  PostCommand(Window.get(), CM_OPEN_URL);
  TfrmOpenURL* dialog = nullptr;
  ASSERT_TRUE(
      WaitUntil([&] { return (dialog = qobject_cast<TfrmOpenURL*>(Window->OpenDialog())) != nullptr; }));
  dialog->cboURL->setEditText(QString::fromStdString(url));
  QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return Window->OpenDialog() == nullptr; }));
}

// A generated clip of w x h for `seconds`, with sound.
inline std::string Clip(int w, int h, int seconds) {
  return MakeMedia({"--width", std::to_string(w), "--height", std::to_string(h), "--seconds",
                    std::to_string(seconds), "--fps", "25"});
}

// What an ICY server answers before the stream's bytes.
inline std::string IcyHeader(int bitrate = 128) {
  return "ICY 200 OK\r\ncontent-type: application/ogg\r\nicy-name: Loopback\r\nicy-br: " +
         std::to_string(bitrate) + "\r\n\r\n";
}

}  // namespace ktv::test
