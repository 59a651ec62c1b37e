// The main window as the controller of streams: status while buffering, errors, playlists served in place
// of a stream, the next entry when a stream ends, stopping, local files from the menu, bookmarks, the tray,
// the settings dialog and a second start handing its argument over.
#include <sys/resource.h>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QSpinBox>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <atomic>
#include <filesystem>
#include <thread>

#include "app/single_instance.h"
#include "app_test_support.h"
#include "platform/clock.h"
#include "playback/qt/player_base_class.h"
#include "stream/ogg_thread_manager.h"
#include "support/script_server.h"
#include "ui/config_dialog.h"
#include "ui/directory_form.h"
#include "ui/kestrova_button.h"
#include "ui/kestrova_image_button.h"
#include "ui/player_popup_menu.h"
#include "ui/report_rows.h"
#include "ui/show_playlist_form.h"

namespace ktv {
namespace {

using namespace ktv::test;

using PlayerStreams = PlayerWindowTest;

const QString kClosedText = QStringLiteral("Stream closed or got disconnected.");

TEST_F(PlayerStreams, BufferingShowsItsPercentage) {
  // 60 seconds at 1000 kbit/s: a queue of 7,680,000 bytes. Half of it (level 128 of 255) is sent and the
  // server then says nothing more, so the receiver stays buffering at that level. The header scan takes a
  // few kilobytes of it, far less than one level step (30 kilobytes).
  Config.Settings->BufferSeconds = 60;
  ASSERT_TRUE(Config.Settings->SaveSettings());
  const std::string clip = ReadFile(Clip(64, 48, 1));
  ASSERT_FALSE(clip.empty());
  std::string body = clip + std::string(3870000 + 8192 - clip.size(), '\0');
  tScriptServer server({ReadRequest(), Send(IcyHeader(1000) + body), Stall()});
  Make();
  Window->OpenStream(QString::fromStdString(server.URL("/live.ogg")));
  EXPECT_TRUE(WaitUntil(
      [&] {
        return Stand().windowTitle() ==
               QStringLiteral("Kestrova.tv Player [Buffering Stream: 50%] - Please Wait...");
      },
      15000))
      << Stand().windowTitle().toStdString();
  EXPECT_EQ(Window->ThreadManager()->Receiver().GetBufferLevel(), 128);
}

TEST_F(PlayerStreams, SpaceStopsWithoutReportingADisconnection) {
  Make();
  Window->OpenStream(QString::fromStdString(Clip(64, 48, 6)));
  ASSERT_TRUE(WaitForTitle());
  QTest::keyClick(Window.get(), Qt::Key_Space);
  EXPECT_EQ(Window->ThreadManager(), nullptr);
  RunEvents(1500);
  EXPECT_NE(Marquee(), kClosedText);
  EXPECT_TRUE(Boxes.Boxes.empty());
  // Play/Pause opens the same stream again.
  QKeyEvent playPause(QEvent::KeyPress, Qt::Key_MediaTogglePlayPause, Qt::NoModifier);
  QApplication::sendEvent(Window.get(), &playPause);
  EXPECT_TRUE(WaitUntil([&] { return Window->ThreadManager() != nullptr; }));
}

TEST_F(PlayerStreams, RecordIsForNetworkStreamsAndFollowsTheKeyR) {
  const std::string local = Clip(160, 120, 8);
  const std::string clip = ReadFile(local);
  // A small bit rate sizes a small queue: the stream's pages keep arriving while it plays.
  tScriptServer server({ReadRequest(), Send(IcyHeader(16) + clip), Stall()});
  tTempDir dir;
  tScopedEnv home("HOME", dir.Path());
  tScopedEnv config("XDG_CONFIG_HOME", dir.File("no-config"));
  Make();
  QAction* record = Window->Popup()->Record1;
  EXPECT_TRUE(record->isCheckable());
  EXPECT_FALSE(record->isEnabled()) << "nothing to record";
  Window->OpenStream(QString::fromStdString(local));
  ASSERT_TRUE(WaitForTitle());
  EXPECT_FALSE(record->isEnabled()) << "a local file is a file already";

  Window->OpenStream(QString::fromStdString(server.URL("/live.ogg")));
  // The station's name in the information line: this stream's headers were read.
  ASSERT_TRUE(WaitUntil([&] { return Marquee().startsWith(QStringLiteral("Loopback")); }, 10000))
      << Marquee().toStdString();
  EXPECT_TRUE(record->isEnabled());
  // R on the console starts it; the item shows it checked and the information line names the file.
  Stand().activateWindow();
  QTest::keyClick(&Stand(), Qt::Key_R);
  ASSERT_TRUE(WaitUntil([&] { return record->isChecked(); }));
  EXPECT_TRUE(Window->Streams().IsRecording());
  const std::string path = Window->Streams().RecordingPath();
  EXPECT_EQ(std::filesystem::path(path).parent_path(), dir.Path()) << "no music or videos folder: home";
  EXPECT_TRUE(Marquee().startsWith(QStringLiteral("Recording to "))) << Marquee().toStdString();
  // The menu item again ends it.
  record->trigger();
  EXPECT_FALSE(record->isChecked());
  EXPECT_FALSE(Window->Streams().IsRecording());
  EXPECT_EQ(Marquee().toStdString(), "Recording saved: " + path);
  EXPECT_FALSE(ReadFile(path).empty());

  // A full disk (a file-size limit on this process, for the moment) ends the recording with a notice; the
  // stream plays on.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit limited = old;
  limited.rlim_cur = 12 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  record->trigger();
  EXPECT_TRUE(record->isChecked());
  const bool ended =
      WaitUntil([&] { return Marquee() == QStringLiteral("Recording ended: the disk is full."); }, 15000);
  setrlimit(RLIMIT_FSIZE, &old);
  ASSERT_TRUE(ended) << Marquee().toStdString();
  EXPECT_FALSE(record->isChecked());
  EXPECT_FALSE(Window->Streams().IsRecording());
  ASSERT_NE(Window->ThreadManager(), nullptr);
  EXPECT_EQ(Window->ThreadManager()->Receiver().GetErrorCode(), RE_NONE) << "the stream goes on";
}

TEST_F(PlayerStreams, PlaylistAnswerPlaysItsEntriesInTurnThenReportsTheEnd) {
  const std::string clip = ReadFile(Clip(64, 48, 1));
  tScriptServer first({ReadRequest(), Send(IcyHeader() + clip), Close()});
  tScriptServer second({ReadRequest(), Send(IcyHeader() + clip), Close()});
  const std::string list = "#EXTM3U\r\n" + first.URL("/one.ogg") + "\r\n" + second.URL("/two.ogg") + "\r\n";
  tScriptServer playlist({ReadRequest(),
                          Send("HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\nContent-Length: " +
                               std::to_string(list.size()) + "\r\n\r\n" + list),
                          Close()});
  Make();
  Window->OpenStream(QString::fromStdString(playlist.URL("/list.m3u")));
  // (The servers' own waits would stop the window's event loop: wait with it running.)
  ASSERT_TRUE(WaitUntil([&] { return first.Connections() > 0; }, 10000)) << "the first entry plays";
  EXPECT_EQ(second.Connections(), 0);
  ASSERT_TRUE(WaitUntil([&] { return second.Connections() > 0; }, 20000))
      << "the second follows when the first ends";
  EXPECT_TRUE(first.Finished(0));
  EXPECT_TRUE(WaitUntil([&] { return Marquee() == kClosedText; }, 20000)) << Marquee().toStdString();
  EXPECT_TRUE(Boxes.Boxes.empty()) << "a stream that ends is no error";
  EXPECT_EQ(first.Connections(), 1);
  EXPECT_EQ(second.Connections(), 1);
}

TEST_F(PlayerStreams, ErrorsShowTheirMessage) {
  tRefusingPort refusing;
  tScriptServer webPage(
      {ReadRequest(), Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n\x01\x02\x03\x04"), Close()});
  const struct {
    std::string url;
    const char* text;
  } rows[] = {
      {"file:///nonexistent/folder/missing.ogg", "Unable to open file file specified."},
      {"http://127.0.0.1:" + std::to_string(refusing.Port()) + "/live.ogg",
       "Unable to connect to the streaming server."},
      {webPage.URL("/page.html"), "This program cannot play this type of stream."},
  };
  Make();
  for (const auto& r : rows) {
    Boxes.Boxes.clear();
    OpenAsUser(r.url);
    ASSERT_TRUE(WaitUntil([&] { return Marquee() == kClosedText; }, 10000)) << r.url;
    ASSERT_EQ(Boxes.Boxes.size(), 1u) << r.url << ": the failure is reported once";
    EXPECT_EQ(Boxes.Boxes[0].Text, QString::fromLatin1(r.text));
    EXPECT_EQ(Boxes.Boxes[0].Caption, QStringLiteral("Error"));
  }
}

TEST_F(PlayerStreams, AddressOpenedByTheUserEndsOnceAndIsRemembered) {
  const std::string clip = ReadFile(Clip(64, 48, 1));
  tScriptServer server({ReadRequest(), Send(IcyHeader() + clip), Close()});
  Make();
  OpenAsUser(server.URL("/live.ogg"));
  ASSERT_TRUE(WaitForTitle());
  EXPECT_TRUE(Window->Title().startsWith(QStringLiteral("Loopback"))) << Window->Title().toStdString();
  EXPECT_TRUE(WaitUntil([&] { return Marquee() == kClosedText; }, 15000)) << Marquee().toStdString();
  RunEvents(300);
  EXPECT_EQ(server.Connections(), 1) << "an address that ends is not opened again";
  ASSERT_EQ(Config.Settings->recent.size(), 1u);
  EXPECT_EQ(Config.Settings->recent[0]->Name, "Loopback");
  EXPECT_EQ(Config.Settings->recent[0]->URLs, std::vector<std::string>{server.URL("/live.ogg")});
  ASSERT_FALSE(Config.Settings->MRU.empty());
  EXPECT_EQ(Config.Settings->MRU[0], server.URL("/live.ogg")) << "typed addresses are offered again";
}

TEST_F(PlayerStreams, EmptyPlaylistAnswerIsReported) {
  const std::string list = "#EXTM3U\r\n#EXTINF:-1,Nothing here\r\n";
  tScriptServer playlist({ReadRequest(),
                          Send("HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\nContent-Length: " +
                               std::to_string(list.size()) + "\r\n\r\n" + list),
                          Close()});
  Make();
  Window->OpenStream(QString::fromStdString(playlist.URL("/empty.m3u")));
  EXPECT_TRUE(
      WaitUntil([&] { return Boxes.Find(QStringLiteral("The playlist specified is empty.")); }, 10000));
}

TEST_F(PlayerStreams, LocalFileFromTheMenuPlaysToItsEnd) {
  const std::string clip = Clip(64, 48, 1);
  Make();
  Window->Popup()->OpenLocalOggFile1->trigger();
  QFileDialog* dialog = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (dialog = Window->findChild<QFileDialog*>()) != nullptr; }));
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Select Ogg File to Open"));
  dialog->selectFile(QString::fromStdString(clip));
  static_cast<QDialog*>(dialog)->accept();
  ASSERT_TRUE(WaitForTitle());
  EXPECT_EQ(Window->Streams().CurrentURL(), "file://" + clip);
  ASSERT_EQ(Config.Settings->recent.size(), 1u) << "the file is a recent station";
  EXPECT_EQ(Config.Settings->recent[0]->Genre, "Local File");
  EXPECT_TRUE(WaitUntil([&] { return Marquee() == kClosedText; }, 15000)) << Marquee().toStdString();

  // The file's entry can be kept as a bookmark, and the menu offers it.
  Window->Popup()->AddtoBookmarks1->trigger();
  ASSERT_EQ(Config.Settings->books.size(), 1u);
  Window->Popup()->popup(Window->mapToGlobal(QPoint(20, 20)));
  ASSERT_EQ(Window->Popup()->Bookmarks->actions().size(), 1);
  EXPECT_EQ(Window->Popup()->Bookmarks->actions()[0]->text().toStdString(), Config.Settings->books[0]->Name);
  Window->Popup()->hide();
}

TEST_F(PlayerStreams, TitleComesFromTheStreamHeaders) {
  Make();
  const QString path = QString::fromStdString(Clip(64, 48, 4));
  Window->OpenStream(path);
  EXPECT_EQ(Marquee(), QStringLiteral("Opening ") + path + QStringLiteral(", Please Wait..."));
  ASSERT_TRUE(WaitForTitle());
  // A file's station name and description are its name.
  const QString name = QFileInfo(path).completeBaseName();
  EXPECT_TRUE(Window->Title().startsWith(name + QStringLiteral(" - ") + name))
      << Window->Title().toStdString();
  EXPECT_TRUE(WaitUntil([&] { return Marquee() == Window->Title(); }));
}

TEST_F(PlayerStreams, ArgumentOpensAfterStartAndIsRemembered) {
  tPlayerStart start;
  start.Argument = QString::fromStdString(Clip(64, 48, 4));
  Make(std::move(start));
  ASSERT_TRUE(WaitForTitle());
  EXPECT_EQ(Window->Streams().CurrentURL(), Clip(64, 48, 4));
  ASSERT_EQ(Config.Settings->recent.size(), 1u)
      << "opened by the user: a recent station once its headers are read";
}

// A bookmark with two stream addresses, each served by a loopback server of its own.
class PlayerChoosing : public PlayerWindowTest {
 protected:
  void SetUp() override {
    const std::string clip = ReadFile(Clip(64, 48, 4));
    ASSERT_FALSE(clip.empty());
    for (auto& server : Servers)
      server = std::make_unique<tScriptServer>(tScript{ReadRequest(), Send(IcyHeader() + clip), Stall()});
    tRecentPlaylistEntry station;
    station.Name = "Loopback TV";
    station.Description = "Two servers";
    station.Genre = "Test";
    station.ViewURL = "http://127.0.0.1/";
    station.URLs = {Servers[0]->URL("/first.ogg"), Servers[1]->URL("/second.ogg")};
    Config.Settings->AddToBookmarks(station);
    Make();
  }
  // The window a command opened, once it is on the screen.
  template <class tForm>
  tForm* Opened(uint32_t command) {
    PostCommand(Window.get(), command);
    tForm* form = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (form = qobject_cast<tForm*>(Window->OpenDialog())) != nullptr; }));
    if (form) {
      EXPECT_TRUE(WaitExposed(*form));
    }
    return form;
  }
  std::unique_ptr<tScriptServer> Servers[2];
};

TEST_F(PlayerChoosing, AStationChosenInTheDirectoryPlaysAndIsRecent) {
  TfmDirectory* directory = Opened<TfmDirectory>(CM_DIRECTORY);
  ASSERT_NE(directory, nullptr);
  ASSERT_EQ(Column(directory->Views, 0), std::vector<std::string>{"Loopback TV"})
      << "it opens on the bookmarks";
  ClickRow(directory->Views, 0);
  QTest::mouseClick(directory->btnPlay, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return Window->OpenDialog() == nullptr; }));

  ASSERT_TRUE(WaitForTitle()) << "the station plays";
  EXPECT_EQ(Window->Streams().CurrentURL(), Servers[0]->URL("/first.ogg")) << "from its first address";
  ASSERT_EQ(Window->Playlist().Count(), 2);
  EXPECT_EQ(Window->Playlist()[1].Title, "Loopback TV");
  tPlayerSettings stored;
  stored.LoadSettings();
  ASSERT_EQ(stored.recent.size(), 1u) << "the station is a recent one, stored";
  EXPECT_EQ(stored.recent[0]->Name, "Loopback TV");
  EXPECT_EQ(stored.recent[0]->URLs, Config.Settings->books[0]->URLs);
}

TEST_F(PlayerChoosing, AnEntryPickedInThePlaylistViewerPlays) {
  TfmDirectory* directory = Opened<TfmDirectory>(CM_DIRECTORY);
  ASSERT_NE(directory, nullptr);
  ClickRow(directory->Views, 0);
  QTest::mouseClick(directory->btnPlay, Qt::LeftButton);
  ASSERT_TRUE(WaitForTitle());

  TfmShowPlaylist* viewer = Opened<TfmShowPlaylist>(CM_PLAYLIST);
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(Column(viewer->Views, 0), (std::vector<std::string>{"Loopback TV", "Loopback TV"}));
  EXPECT_EQ(viewer->SelectedEntry(), 1) << "the next entry to play";
  DoubleClickRow(viewer->Views, 1);
  ASSERT_TRUE(WaitUntil([&] { return Window->OpenDialog() == nullptr; }));
  EXPECT_TRUE(WaitUntil([&] { return Servers[1]->Connections() == 1; }, 10000)) << "the picked entry plays";
  EXPECT_EQ(Window->Streams().CurrentURL(), Servers[1]->URL("/second.ogg"));
}

TEST_F(PlayerStreams, InformationDialogClosesWithItsStream) {
  Make();
  Window->OpenStream(QString::fromStdString(Clip(64, 48, 4)));
  ASSERT_TRUE(WaitForTitle());
  PostCommand(Window.get(), CM_STREAM_INFO);
  ASSERT_TRUE(WaitUntil([&] { return Window->OpenDialog() != nullptr; }));
  EXPECT_TRUE(Window->OpenDialog()->isVisible());
  // A second start plays something else meanwhile: the dialog showed the old stream, and goes with it.
  Window->SecondInstance(QByteArray::fromStdString(Clip(64, 48, 6)));
  EXPECT_TRUE(WaitUntil([&] { return Window->OpenDialog() == nullptr; }));
  EXPECT_TRUE(WaitForTitle());
  RunEvents(200);
}

TEST_F(PlayerStreams, TrayShowsTheVideoWhileMinimised) {
  Config.Settings->MinimizeToTray = true;
  Config.Settings->PlayInTray = true;
  ASSERT_TRUE(Config.Settings->SaveSettings());
  Make({}, true);
  Window->OpenStream(QString::fromStdString(Clip(64, 48, 8)));
  ASSERT_TRUE(WaitForTitle());
  QTest::mouseClick(Stand().btnMinimize, Qt::LeftButton, Qt::NoModifier,
                    Stand().btnMinimize->rect().center());
  ASSERT_TRUE(Stand().InTray());
  EXPECT_FALSE(Window->isVisible());
  EXPECT_TRUE(WaitUntil([&] { return Tray->Modified > 3; })) << "frames reach the icon";
  Tray->DoubleClick();
  EXPECT_TRUE(WaitUntil([&] { return Window->isVisible() && Stand().isVisible(); }));
  EXPECT_FALSE(Window->VideoInTray()) << "frames go to the window again";
}

TEST_F(PlayerStreams, SettingsNeedingARestartSaySo) {
  Make();
  PostCommand(Window.get(), CM_SETTINGS);
  ASSERT_TRUE(WaitUntil([&] { return Window->OpenDialog() != nullptr; }));
  auto* dialog = qobject_cast<TfrmConfigDialog*>(Window->OpenDialog());
  ASSERT_NE(dialog, nullptr);
  dialog->spnBuffering->setValue(Config.Settings->BufferSeconds + 5);
  dialog->cboOnTop->setChecked(false);
  QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
  const QString text =
      QStringLiteral("Some of your changes will not be applied until you restart this stream.");
  ASSERT_TRUE(WaitUntil([&] { return Boxes.Find(text) != nullptr; }));
  EXPECT_EQ(Boxes.Find(text)->Caption, QStringLiteral("Stream Restart Required"));
  EXPECT_TRUE(Window->RestartPending());
  EXPECT_EQ(Window->OpenDialog(), nullptr);
  // Staying on top is applied at once, to both windows, which stay shown.
  EXPECT_FALSE(Window->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(Stand().windowHandle()->flags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(Window->isVisible());
  EXPECT_TRUE(Stand().isVisible());
}

// Servers of today: a redirected stream remembered, a dropped stream brought back while the window stays.
TEST_F(PlayerStreams, RedirectedStreamIsRememberedAtItsFinalAddress) {
  tScriptServer target({ReadRequest(), Send(IcyHeader() + ReadFile(Clip(64, 48, 1))), Close()});
  tScriptServer typed({ReadRequest(),
                       Send("HTTP/1.1 301 Moved\r\nLocation: " + target.URL("/final.ogg") + "\r\n\r\n"),
                       Close()});
  Make();
  OpenAsUser(typed.URL("/old.ogg"));
  ASSERT_TRUE(WaitForTitle());
  ASSERT_EQ(Config.Settings->recent.size(), 1u);
  EXPECT_EQ(Config.Settings->recent[0]->URLs, std::vector<std::string>{target.URL("/final.ogg")})
      << "the recent station is the address the stream came from";
  ASSERT_FALSE(Config.Settings->MRU.empty());
  EXPECT_EQ(Config.Settings->MRU[0], typed.URL("/old.ogg")) << "what the user typed stays typed";
  EXPECT_TRUE(WaitUntil([&] { return Marquee() == kClosedText; }, 15000)) << Marquee().toStdString();
  EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(PlayerStreams, DroppedStreamIsReconnectedWhileTheWindowStays) {
  // Pictures this size fill a page each few frames: the part before the drop holds whole pages.
  const std::string clip = ReadFile(Clip(160, 120, 2));
  tScriptServer server(
      std::vector<tScript>{{ReadRequest(), Send(IcyHeader() + clip.substr(0, clip.size() / 2)), Close()},
                           {ReadRequest(), Send(IcyHeader() + clip), Close()}});
  Config.Settings->BufferSeconds = 1;
  ASSERT_TRUE(Config.Settings->SaveSettings());
  Make();
  OpenAsUser(server.URL("/live.ogg"));
  const QString reconnecting = QStringLiteral("Reconnecting to Stream (attempt 1 of 5)...");
  ASSERT_TRUE(WaitUntil([&] { return Stand().windowTitle() == reconnecting; }, 15000))
      << Stand().windowTitle().toStdString();
  tOggThreadManager* manager = Window->ThreadManager();
  ASSERT_NE(manager, nullptr);
  const int64_t before = manager->FramesShown;
  ASSERT_TRUE(WaitUntil([&] { return server.Connections() == 2; }, 5000));
  EXPECT_TRUE(WaitUntil([&] { return manager->FramesShown > before + 10; }, 15000))
      << "the pictures resume after the gap";
  EXPECT_EQ(Window->ThreadManager(), manager) << "the same stream goes on";
  EXPECT_TRUE(Boxes.Boxes.empty());
  EXPECT_NE(Marquee(), kClosedText);
}

TEST_F(PlayerStreams, StopDuringTheReconnectWaitEndsAtOnce) {
  const std::string clip = ReadFile(Clip(160, 120, 2));
  tScriptServer server({ReadRequest(), Send(IcyHeader() + clip.substr(0, clip.size() / 2)), Close()});
  Config.Settings->BufferSeconds = 1;
  ASSERT_TRUE(Config.Settings->SaveSettings());
  Make();
  OpenAsUser(server.URL("/live.ogg"));
  ASSERT_TRUE(WaitUntil(
      [&] {
        return Window->ThreadManager() && Window->ThreadManager()->Receiver().GetReconnectAttempt() > 0;
      },
      15000));
  const uint32_t start = timeGetTime();
  QTest::keyClick(Window.get(), Qt::Key_Space);
  EXPECT_EQ(Window->ThreadManager(), nullptr);
  EXPECT_LT(timeGetTime() - start, 3000u) << "Stop must not wait for the next attempt";
  RunEvents(500);
  EXPECT_TRUE(Boxes.Boxes.empty()) << "a stream the user stopped is no error";
  EXPECT_EQ(server.Connections(), 1);
}

// The program itself is the second start: it hands its argument to the window listening here.
class SecondStart : public PlayerWindowTest {
 protected:
  void SetUp() override {
    Make();
    ASSERT_EQ(First.Listen(), tSingleInstance::tListen::Listening);
    QObject::connect(&First, &tSingleInstance::Received, Window.get(), [this](const QStringList& sources) {
      Window->SecondInstance(sources.value(0).toUtf8());
    });
  }
  // The second start waits for the first's answer, so this thread's event loop runs meanwhile.
  tRunResult Start(const std::vector<std::string>& args) {
    tRunResult result;
    std::atomic<bool> done{false};
    std::thread start([&] {
      result = RunProgram(std::string(KTV_BUILD_DIR) + "/src/app/kestrova-tv", args);
      done = true;
    });
    WaitUntil([&] { return done.load(); }, 30000);
    start.join();
    return result;
  }
  tSingleInstance First;
};

TEST_F(SecondStart, WithAnArgumentPlaysItInTheFirstWindow) {
  const std::string clip = Clip(64, 48, 4);
  const tRunResult second = Start({clip});
  EXPECT_EQ(second.ExitCode, 0) << second.Err;
  ASSERT_TRUE(WaitForTitle());
  EXPECT_EQ(Window->Streams().CurrentURL(), clip);
}

TEST_F(SecondStart, RelativeFileNameIsTheSecondStartsFile) {
  const std::string clip = Clip(64, 48, 4);
  const std::filesystem::path path(clip);
  // The second start runs in the clip's folder and names the file relative to it.
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(path.parent_path());
  const tRunResult second = Start({path.filename().string()});
  std::filesystem::current_path(here);
  EXPECT_EQ(second.ExitCode, 0) << second.Err;
  ASSERT_TRUE(WaitForTitle());
  EXPECT_EQ(Window->Streams().CurrentURL(), clip);
}

TEST_F(SecondStart, WithoutAnArgumentOnlyRaisesTheFirstWindow) {
  Window->showMinimized();
  ASSERT_TRUE(Window->windowState() & Qt::WindowMinimized);
  const tRunResult second = Start({});
  EXPECT_EQ(second.ExitCode, 0) << second.Err;
  EXPECT_TRUE(WaitUntil([&] { return !(Window->windowState() & Qt::WindowMinimized); }));
  RunEvents(300);
  EXPECT_EQ(Window->ThreadManager(), nullptr) << "nothing opened";
}

}  // namespace
}  // namespace ktv
