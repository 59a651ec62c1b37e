// The media controls' rules as tables (values, changes, volume scale), and the service itself on a private
// session bus with a player of the test's own: what a desktop reads and writes reaches the player. (What
// the desktop is told, PropertiesChanged, is checked against the real player in tests/app.)
#include "desktop/mpris_service.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <cmath>
#include <limits>
#include <vector>

#include "desktop/mpris_properties.h"
#include "support/qt/qt_test_support.h"
#include "support/session_bus.h"

namespace ktv {
namespace {

using test::WaitUntil;

tMediaPlayerState PlayingState() {
  tMediaPlayerState state;
  state.Playing = true;
  state.StreamId = 7;
  state.Title = QStringLiteral("Loopback: Test Card");
  state.Url = QStringLiteral("http://127.0.0.1:8000/live.ogg");
  state.Genres = {QStringLiteral("Test")};
  state.Volume = 0.5;
  state.CanPlay = true;
  return state;
}

TEST(MprisProperties, MetadataFollowsTheStream) {
  tMediaPlayerState stopped = PlayingState();
  stopped.Playing = false;
  tMediaPlayerState localFile = PlayingState();
  localFile.Url = QStringLiteral("/tmp/a clip.ogg");
  tMediaPlayerState untitled = PlayingState();
  untitled.Title.clear();
  untitled.Genres.clear();
  struct {
    tMediaPlayerState state;
    QString trackId, title, url;
    QStringList genres;
    const char* note;
  } rows[] = {
      {PlayingState(),
       "/org/kestrova/tv/stream/7",
       "Loopback: Test Card",
       "http://127.0.0.1:8000/live.ogg",
       {"Test"},
       "a stream names itself"},
      {stopped, kMprisNoTrack, "", "", {}, "stopped: no track, and nothing of the last stream"},
      {localFile,
       "/org/kestrova/tv/stream/7",
       "Loopback: Test Card",
       "file:///tmp/a%20clip.ogg",
       {"Test"},
       "a local path is given as a file URL"},
      {untitled,
       "/org/kestrova/tv/stream/7",
       "",
       "http://127.0.0.1:8000/live.ogg",
       {},
       "before the headers: no title and no genre, not empty ones"},
  };
  for (const auto& r : rows) {
    const QVariantMap metadata = MprisMetadata(r.state);
    EXPECT_EQ(metadata.value("mpris:trackid").value<QDBusObjectPath>().path(), r.trackId) << r.note;
    EXPECT_EQ(metadata.contains("xesam:title"), !r.title.isEmpty()) << r.note;
    EXPECT_EQ(metadata.value("xesam:title").toString(), r.title) << r.note;
    EXPECT_EQ(metadata.value("xesam:url").toString(), r.url) << r.note;
    EXPECT_EQ(metadata.contains("xesam:genre"), !r.genres.isEmpty()) << r.note;
    EXPECT_EQ(metadata.value("xesam:genre").toStringList(), r.genres) << r.note;
  }
}

TEST(MprisProperties, OnlyWhatChangedIsSignalled) {
  const tMediaPlayerState base = PlayingState();
  struct {
    void (*change)(tMediaPlayerState&);
    QStringList changed;
    const char* note;
  } rows[] = {
      {[](tMediaPlayerState&) {}, {}, "nothing changed: nothing to signal"},
      {[](tMediaPlayerState& s) { s.PositionUs += 1000000; }, {}, "the position moves all the time: never"},
      {[](tMediaPlayerState& s) { s.Volume = 0.25; }, {"Volume"}, "the volume"},
      {[](tMediaPlayerState& s) { s.Playing = false; },
       {"Metadata", "PlaybackStatus"},
       "stopped: the status and the track"},
      {[](tMediaPlayerState& s) { s.Title = QStringLiteral("Other"); }, {"Metadata"}, "a new title"},
      {[](tMediaPlayerState& s) { s.StreamId = 8; }, {"Metadata"}, "the same address opened again"},
      {[](tMediaPlayerState& s) {
         s.CanGoNext = true;
         s.CanGoPrevious = true;
       },
       {"CanGoNext", "CanGoPrevious"},
       "the playlist's position"},
  };
  for (const auto& r : rows) {
    tMediaPlayerState after = base;
    r.change(after);
    const QVariantMap changed = ChangedProperties(MprisPlayerProperties(base), MprisPlayerProperties(after));
    EXPECT_EQ(changed.keys(), r.changed) << r.note;
  }
}

TEST(MprisProperties, VolumeScale) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct {
    double in;
    bool number;
    double clamped;
    uint16_t level;
    const char* note;
  } rows[] = {
      {0.0, true, 0.0, 0, "silent"},
      {1.0, true, 1.0, 65535, "full"},
      {0.5, true, 0.5, 32768, "halves round to the nearest step"},
      {-0.3, true, 0.0, 0, "below zero is silent"},
      {2.5, true, 1.0, 65535, "above one is full (the player has no amplification)"},
      {nan, false, 0.0, 0, "not a number changes nothing"},
  };
  for (const auto& r : rows) {
    const std::optional<double> clamped = ClampVolume(r.in);
    EXPECT_EQ(clamped.has_value(), r.number) << r.note;
    if (clamped) {
      EXPECT_EQ(*clamped, r.clamped) << r.note;
      EXPECT_EQ(VolumeLevel(*clamped), r.level) << r.note;
      EXPECT_NEAR(VolumeFraction(r.level), r.clamped, 1e-4) << r.note;
    }
  }
}

TEST(MprisProperties, TheApplicationNamesItself) {
  const QVariantMap root = MprisRootProperties();
  EXPECT_EQ(root.value("Identity").toString(), QStringLiteral("Kestrova.TV Player"));
  EXPECT_EQ(root.value("DesktopEntry").toString(), QStringLiteral("kestrova-tv-player"));
  EXPECT_TRUE(root.value("SupportedMimeTypes").toStringList().contains("application/ogg"));
  EXPECT_TRUE(root.value("SupportedUriSchemes").toStringList().contains("http"));
  EXPECT_FALSE(root.value("HasTrackList").toBool());
}

// --- The service on a bus ------------------------------------------------------------------------------

// A player that records what it is asked and whose state the test sets.
class tTestPlayer : public tMediaPlayerControl {
 public:
  tMediaPlayerState Now;
  std::vector<std::string> Calls;
  double LastVolume = -1;

  tMediaPlayerState State() const override { return Now; }
  void Play() override { Calls.push_back("play"); }
  void Stop() override { Calls.push_back("stop"); }
  void Next() override { Calls.push_back("next"); }
  void Previous() override { Calls.push_back("previous"); }
  void SetVolume(double volume) override {
    Calls.push_back("volume");
    LastVolume = volume;
  }
  void OpenUri(const QString& uri) override { Calls.push_back("open " + uri.toStdString()); }
  void Raise() override { Calls.push_back("raise"); }
  void Quit() override { Calls.push_back("quit"); }
};

class MprisService : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Bus.Running()) << "dbus-daemon did not start";
    Service = tMprisService::Start(Player, Server);
    ASSERT_NE(Service, nullptr);
  }
  void TearDown() override {
    Service.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("mpris-server"));
    QDBusConnection::disconnectFromBus(QStringLiteral("mpris-client"));
  }

  // A call from the desktop's side; the service answers on this thread's event loop.
  QDBusMessage Call(const QString& interface, const QString& method, const QVariantList& args = {}) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(Service->ServiceName(), kMprisObjectPath, interface, method);
    message.setArguments(args);
    QDBusPendingCall pending = Client.asyncCall(message);
    EXPECT_TRUE(WaitUntil([&] { return pending.isFinished(); }));
    return pending.reply();
  }
  QVariant Get(const char* interface, const char* name) {
    const QDBusMessage reply = Call("org.freedesktop.DBus.Properties", "Get",
                                    {QString::fromLatin1(interface), QString::fromLatin1(name)});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
  }

  test::tSessionBus Bus;
  QDBusConnection Server =
      QDBusConnection::connectToBus(QString::fromStdString(Bus.BusAddress()), "mpris-server");
  QDBusConnection Client =
      QDBusConnection::connectToBus(QString::fromStdString(Bus.BusAddress()), "mpris-client");
  tTestPlayer Player;
  std::unique_ptr<tMprisService> Service;
};

TEST_F(MprisService, DesktopReadsAndControls) {
  EXPECT_EQ(Service->ServiceName(), QString::fromLatin1(kMprisServiceName));
  EXPECT_EQ(Get(kMprisRootInterface, "Identity").toString(), QStringLiteral("Kestrova.TV Player"));
  EXPECT_EQ(Get(kMprisPlayerInterface, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
  EXPECT_EQ(Get(kMprisPlayerInterface, "CanControl").toBool(), true);

  struct {
    const char* interface;
    const char* method;
    QVariantList args;
    std::string call;
  } rows[] = {
      {kMprisPlayerInterface, "Play", {}, "play"},
      {kMprisPlayerInterface, "Stop", {}, "stop"},
      {kMprisPlayerInterface, "Next", {}, "next"},
      {kMprisPlayerInterface, "Previous", {}, "previous"},
      {kMprisPlayerInterface, "PlayPause", {}, "play"},  // stopped: play/pause plays
      {kMprisPlayerInterface,
       "OpenUri",
       {QStringLiteral("http://127.0.0.1/x.ogg")},
       "open http://127.0.0.1/x.ogg"},
      {kMprisRootInterface, "Raise", {}, "raise"},
      {kMprisRootInterface, "Quit", {}, "quit"},
  };
  for (const auto& r : rows) {
    Player.Calls.clear();
    const QDBusMessage reply = Call(r.interface, r.method, r.args);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
        << r.method << ": " << reply.errorMessage().toStdString();
    EXPECT_EQ(Player.Calls, std::vector<std::string>{r.call}) << r.method;
  }
  // Playing, play/pause stops (there is no pause), and pause does nothing.
  Player.Now.Playing = true;
  Player.Calls.clear();
  Call(kMprisPlayerInterface, "PlayPause");
  Call(kMprisPlayerInterface, "Pause");
  EXPECT_EQ(Player.Calls, std::vector<std::string>{"stop"});

  // A volume written reaches the player clamped; one that is no number not at all.
  Player.Calls.clear();
  const auto setVolume = [&](double v) {
    return Call("org.freedesktop.DBus.Properties", "Set",
                {QString::fromLatin1(kMprisPlayerInterface), QStringLiteral("Volume"),
                 QVariant::fromValue(QDBusVariant(v))});
  };
  EXPECT_EQ(setVolume(1.7).type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(Player.LastVolume, 1.0);
  setVolume(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(Player.Calls, std::vector<std::string>{"volume"});
}

TEST_F(MprisService, ASecondPlayerOnTheBusTakesANameOfItsOwn) {
  tTestPlayer other;
  QDBusConnection second =
      QDBusConnection::connectToBus(QString::fromStdString(Bus.BusAddress()), "mpris-second");
  {
    const std::unique_ptr<tMprisService> service = tMprisService::Start(other, second);
    ASSERT_NE(service, nullptr);
    EXPECT_TRUE(service->ServiceName().startsWith(QString::fromLatin1(kMprisServiceName) + ".instance"));
    EXPECT_NE(service->ServiceName(), Service->ServiceName());
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("mpris-second"));
}

TEST(MprisServiceWithoutBus, NothingIsStarted) {
  tTestPlayer player;
  const QDBusConnection none =
      QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "none");
  EXPECT_EQ(tMprisService::Start(player, none), nullptr);
  QDBusConnection::disconnectFromBus(QStringLiteral("none"));
}

}  // namespace
}  // namespace ktv
