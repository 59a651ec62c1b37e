// One running player: a later start hands its argument over, a socket left by a crash is cleared away, and
// a peer that sends nonsense is dropped without disturbing the player.
#include "app/single_instance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>

#include "app_test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

// A name of this test's own.
QString TestName() {
  return tSingleInstance::DefaultName() + QStringLiteral("-test");
}

TEST(SingleInstance, NameFollowsTheConfigurationFolder) {
  QString first, second;
  {
    tTempConfig config;
    first = tSingleInstance::DefaultName();
  }
  {
    tTempConfig config;
    second = tSingleInstance::DefaultName();
  }
  EXPECT_NE(first, second);
}

TEST(SingleInstance, SocketLivesWhereOnlyThisUserMayEnter) {
  tTempConfig config;
  tTempDir runtime;  // made 0700, as the desktop makes $XDG_RUNTIME_DIR
  const QString folder = QString::fromStdString(runtime.Path());
  tScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.Path());
  EXPECT_TRUE(tSingleInstance::DefaultName().startsWith(folder + QLatin1Char('/')));
  chmod(runtime.Path().c_str(), 0755);
  const QString fallback = tSingleInstance::DefaultName();
  EXPECT_FALSE(fallback.startsWith(folder)) << "a folder others may enter is not used";
  EXPECT_FALSE(fallback.isEmpty());
}

TEST(SingleInstance, LaterStartHandsItsArgumentOver) {
  tTempConfig config;
  tSingleInstance running(TestName());
  ASSERT_TRUE(running.Listen());
  std::vector<QByteArray> got;
  QObject::connect(&running, &tSingleInstance::Received,
                   [&](const QByteArray& text) { got.push_back(text); });

  struct {
    QByteArray argument;
    const char* note;
  } rows[] = {
      {"http://127.0.0.1:8000/live.ogg", "an address"},
      {"", "no argument: an empty text (the player only comes to the front)"},
      {QByteArray("/tmp/Fernsehen \xc3\xa4.ogg"), "a file name with a blank and UTF-8"},
  };
  for (const auto& r : rows) {
    got.clear();
    tSingleInstance later(TestName());
    EXPECT_TRUE(later.SendToRunning(r.argument)) << r.note;
    ASSERT_TRUE(WaitUntil([&] { return !got.empty(); })) << r.note;
    EXPECT_EQ(got[0], r.argument) << r.note;
  }
}

TEST(SingleInstance, NobodyRunningTakesNothing) {
  tTempConfig config;
  tSingleInstance later(TestName());
  EXPECT_FALSE(later.SendToRunning("http://127.0.0.1/live.ogg", 500));
}

TEST(SingleInstance, SocketLeftByACrashIsRemoved) {
  tTempConfig config;
  const QString name = TestName();
  QString path;
  {
    QLocalServer probe;
    ASSERT_TRUE(probe.listen(name));
    path = probe.fullServerName();
  }
  // What a crashed player leaves: the socket file, bound, with nobody listening.
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.toLocal8Bit().constData());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
  ASSERT_TRUE(QFile::exists(path));

  tSingleInstance first(name);
  EXPECT_TRUE(first.Listen()) << "the stale socket is cleared and the start goes on";
  tSingleInstance second(name);
  EXPECT_FALSE(second.Listen()) << "a live player's socket is left alone";
}

TEST(SingleInstance, OversizedMessageIsDropped) {
  tTempConfig config;
  tSingleInstance running(TestName());
  ASSERT_TRUE(running.Listen());
  int received = 0;
  QObject::connect(&running, &tSingleInstance::Received, [&](const QByteArray&) { ++received; });

  QLocalSocket peer;
  peer.connectToServer(TestName());
  ASSERT_TRUE(peer.waitForConnected(2000));
  QByteArray header(8, '\0');
  qToLittleEndian<uint32_t>(tSingleInstance::kTag, header.data());
  qToLittleEndian<uint32_t>(0xFFFFFFF0u, header.data() + 4);
  peer.write(header + QByteArray(64, 'x'));
  peer.flush();
  EXPECT_TRUE(WaitUntil([&] { return peer.state() == QLocalSocket::UnconnectedState; }))
      << "the player hangs up on it";
  EXPECT_EQ(received, 0);

  tSingleInstance later(TestName());
  EXPECT_TRUE(later.SendToRunning("after"));
  EXPECT_TRUE(WaitUntil([&] { return received == 1; })) << "and still takes the next start";
}

}  // namespace
}  // namespace ktv
