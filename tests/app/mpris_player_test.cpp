// The player's media controls as a desktop uses them: the real player on a private session bus, playing a
// list of generated clips, read and driven over the bus; and, in this process, the window's side of them
// (the knob follows a volume the desktop writes).
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QSignalSpy>
#include <cmath>

#include "app/player_media_control.h"
#include "app_test_support.h"
#include "desktop/mpris_properties.h"
#include "player_process.h"
#include "support/session_bus.h"
#include "ui/player_main_form.h"
#include "ui/tv_stand_form.h"

namespace ktv {
namespace {

using namespace ktv::test;

constexpr int kUpMs = 30000;   // a player's start (and a stream's headers) on a loaded machine
constexpr int kEndMs = 10000;  // the player ends in far less; this only catches a hang

// The desktop's side: property reads and writes and method calls on the player's object.
class tDesktopClient {
 public:
  explicit tDesktopClient(const std::string& address)
      : Bus(QDBusConnection::connectToBus(QString::fromStdString(address), "mpris-desktop")) {}
  ~tDesktopClient() { QDBusConnection::disconnectFromBus("mpris-desktop"); }

  bool Connected() const { return Bus.isConnected(); }
  bool PlayerOnBus() {
    return Bus.interface() && Bus.interface()->isServiceRegistered(QString::fromLatin1(kMprisServiceName));
  }
  QDBusMessage Call(const char* interface, const char* method, const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(kMprisServiceName),
                                                          kMprisObjectPath, interface, method);
    message.setArguments(args);
    return Bus.call(message, QDBus::Block, 10000);
  }
  QVariant Get(const char* interface, const char* name) {
    const QDBusMessage reply = Call("org.freedesktop.DBus.Properties", "Get",
                                    {QString::fromLatin1(interface), QString::fromLatin1(name)});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
  }
  QString Status() { return Get(kMprisPlayerInterface, "PlaybackStatus").toString(); }
  QVariantMap Metadata() {
    // Nested maps arrive as D-Bus arguments: demarshal them.
    const QVariant value = Get(kMprisPlayerInterface, "Metadata");
    QVariantMap map;
    if (value.canConvert<QDBusArgument>())
      value.value<QDBusArgument>() >> map;
    else
      map = value.toMap();
    return map;
  }
  QString Title() { return Metadata().value("xesam:title").toString(); }
  bool Set(const char* name, const QVariant& value) {
    return Call("org.freedesktop.DBus.Properties", "Set",
                {QString::fromLatin1(kMprisPlayerInterface), QString::fromLatin1(name),
                 QVariant::fromValue(QDBusVariant(value))})
               .type() == QDBusMessage::ReplyMessage;
  }

 private:
  QDBusConnection Bus;
};

// gdbus listening to the player's signals; ended with the test, however it ends.
struct tMonitor {
  QProcess Process;
  ~tMonitor() {
    Process.kill();
    Process.waitForFinished();
  }
};

// Three clips, each named in its comments, long enough to play through the test.
std::vector<std::string> TitledClips() {
  std::vector<std::string> clips;
  for (const char* name : {"One", "Two", "Three"}) {
    clips.push_back(MakeMedia({"--width", "64", "--height", "48", "--seconds", "30", "--fps", "10",
                               "--vcomment", std::string("TITLE=Clip ") + name}));
  }
  return clips;
}

TEST(MediaControls, DesktopReadsAndDrivesThePlayer) {
  tSessionBus bus;
  ASSERT_TRUE(bus.Running()) << "dbus-daemon did not start";
  tTempConfig config;
  tTempDir data, logs;
  const std::vector<std::string> clips = TitledClips();
  for (const std::string& clip : clips) ASSERT_FALSE(clip.empty());

  tPlayerProcess player;
  ASSERT_TRUE(player.Start(clips, logs.File("err"),
                           {{"XDG_DATA_HOME", data.Path()}, {"DBUS_SESSION_BUS_ADDRESS", bus.BusAddress()}}));
  tDesktopClient desktop(bus.BusAddress());
  ASSERT_TRUE(desktop.Connected());
  ASSERT_TRUE(PollUntil([&] { return desktop.PlayerOnBus(); }, kUpMs)) << player.Err();
  // What the player tells the desktop, as a desktop's shell would hear it.
  tMonitor watch;
  QProcess& monitor = watch.Process;
  monitor.start("gdbus", {"monitor", "--address", QString::fromStdString(bus.BusAddress()), "--dest",
                          QString::fromLatin1(kMprisServiceName)});
  ASSERT_TRUE(monitor.waitForStarted());

  EXPECT_EQ(desktop.Get(kMprisRootInterface, "Identity").toString(), QStringLiteral("Kestrova.TV Player"));
  EXPECT_EQ(desktop.Get(kMprisRootInterface, "DesktopEntry").toString(),
            QStringLiteral("kestrova-tv-player"));
  EXPECT_TRUE(desktop.Get(kMprisPlayerInterface, "CanControl").toBool());
  EXPECT_FALSE(desktop.Get(kMprisPlayerInterface, "CanSeek").toBool());

  ASSERT_TRUE(
      PollUntil([&] { return desktop.Status() == "Playing" && desktop.Title().endsWith("Clip One"); }, kUpMs))
      << desktop.Status().toStdString() << " " << desktop.Title().toStdString() << "\n"
      << player.Err();
  const QVariantMap metadata = desktop.Metadata();
  EXPECT_EQ(metadata.value("xesam:url").toString(),
            QUrl::fromLocalFile(QString::fromStdString(clips[0])).toString());
  EXPECT_TRUE(
      metadata.value("mpris:trackid").value<QDBusObjectPath>().path().startsWith("/org/kestrova/tv/"));
  EXPECT_TRUE(desktop.Get(kMprisPlayerInterface, "CanGoNext").toBool());
  EXPECT_FALSE(desktop.Get(kMprisPlayerInterface, "CanGoPrevious").toBool());
  // The position is read when asked (it is never signalled): it moves while the clip plays.
  EXPECT_TRUE(
      PollUntil([&] { return desktop.Get(kMprisPlayerInterface, "Position").toLongLong() > 100000; }, kUpMs));

  // The volume the desktop writes is the player's (and read back the same).
  ASSERT_TRUE(desktop.Set("Volume", 0.25));
  EXPECT_TRUE(PollUntil(
      [&] { return std::abs(desktop.Get(kMprisPlayerInterface, "Volume").toDouble() - 0.25) < 1e-4; },
      kEndMs));

  // Next and previous move through the list the player was given.
  struct {
    const char* method;
    const char* title;
    bool canGoPrevious;
  } steps[] = {{"Next", "Clip Two", true},
               {"Next", "Clip Three", true},
               {"Previous", "Clip Two", true},
               {"Previous", "Clip One", false}};
  for (const auto& step : steps) {
    EXPECT_EQ(desktop.Call(kMprisPlayerInterface, step.method).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(PollUntil([&] { return desktop.Title().endsWith(step.title); }, kUpMs))
        << step.method << ": " << desktop.Title().toStdString();
    EXPECT_EQ(desktop.Get(kMprisPlayerInterface, "CanGoPrevious").toBool(), step.canGoPrevious) << step.title;
  }

  EXPECT_EQ(desktop.Call(kMprisPlayerInterface, "Stop").type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(PollUntil([&] { return desktop.Status() == "Stopped"; }, kEndMs));
  EXPECT_EQ(desktop.Call(kMprisRootInterface, "Raise").type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(PollUntil(
      [&] {
        monitor.waitForReadyRead(50);
        return monitor.peek(1 << 20).contains("'PlaybackStatus': <'Stopped'>");
      },
      kEndMs))
      << "PropertiesChanged told the desktop of the stop:\n"
      << monitor.peek(1 << 20).toStdString();
  const QByteArray heard = monitor.readAll();
  EXPECT_TRUE(heard.contains("org.freedesktop.DBus.Properties.PropertiesChanged"));
  EXPECT_TRUE(heard.contains("'Volume': <0.25")) << "the volume change was signalled too";

  EXPECT_EQ(desktop.Call(kMprisRootInterface, "Quit").type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(player.WaitExit(kEndMs), 0) << player.Err();
  // The volume written over the bus was saved as the player's own.
  config.Settings->LoadSettings();
  EXPECT_EQ(config.Settings->LastVolume, VolumeLevel(0.25));
}

TEST(MediaControls, WithoutASessionBusThePlayerRunsAsBefore) {
  tTempConfig config;
  tTempDir data, logs, runtime;
  // A runtime folder without a bus socket; the probe below looks for the player in the same one.
  tScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.Path());
  tPlayerProcess player;
  const std::string clip = MakeMedia({"--width", "64", "--height", "48", "--seconds", "30"});
  ASSERT_TRUE(player.Start({clip}, logs.File("err"),
                           {{"XDG_DATA_HOME", data.Path()}, {"DBUS_SESSION_BUS_ADDRESS", ""}}));
  // Up: its event loop runs (it answers later starts), the clip plays.
  ASSERT_TRUE(PollUntil([] { return PlayerIsUp(); }, kUpMs)) << player.Err();
  EXPECT_TRUE(player.Running()) << player.Err();
  player.Signal(SIGTERM);
  EXPECT_EQ(player.WaitExit(kEndMs), 0) << player.Err();
  EXPECT_EQ(player.Err().find("DBus"), std::string::npos) << player.Err();
  EXPECT_EQ(player.Err().find("D-Bus"), std::string::npos) << player.Err();
}

// The window's side: a volume from the desktop turns the knob, reaches the player and the setting, and tells
// the desktop it changed; play and stop follow the stream.
TEST_F(PlayerWindowTest, MediaControlDrivesTheWindow) {
  Make();
  tPlayerMediaControl control(*Window);
  QSignalSpy changed(Window.get(), &TfrmPlayerMain::PlayerStateChanged);
  struct {
    double volume;
    uint16_t knob;
  } rows[] = {{0.5, 32768}, {0.0, 0}, {1.0, 65535}};
  for (const auto& r : rows) {
    changed.clear();
    control.SetVolume(r.volume);
    EXPECT_TRUE(WaitUntil([&] { return Stand().KnobValue() == r.knob && Window->Volume() == r.knob; }))
        << r.volume << ": knob " << Stand().KnobValue();
    EXPECT_EQ(Config.Settings->LastVolume, r.knob);
    EXPECT_NEAR(control.State().Volume, r.volume, 1e-4);
    EXPECT_GE(changed.count(), 1) << r.volume;
  }

  EXPECT_FALSE(control.State().CanPlay) << "nothing opened yet";
  control.Play();
  RunEvents(100);
  EXPECT_EQ(Window->ThreadManager(), nullptr) << "play without an address does nothing";

  const std::string clip = Clip(64, 48, 30);
  Window->OpenStream(QString::fromStdString(clip));
  ASSERT_TRUE(WaitForTitle());
  tMediaPlayerState state = control.State();
  EXPECT_TRUE(state.Playing);
  EXPECT_EQ(state.Url.toStdString(), clip);
  EXPECT_EQ(state.Title, Window->Title());
  const uint64_t id = state.StreamId;
  control.Play();
  RunEvents(100);
  EXPECT_EQ(control.State().StreamId, id) << "play while playing does not restart the stream";

  control.Stop();
  EXPECT_TRUE(WaitUntil([&] { return !control.State().Playing; }));
  EXPECT_TRUE(control.State().CanPlay);
  control.Play();
  EXPECT_TRUE(WaitUntil([&] { return control.State().Playing && control.State().StreamId > id; }));
}

}  // namespace
}  // namespace ktv
