// One running player: a later start hands its arguments over and gets an answer, a silent player is told
// apart from none, starts take turns through the lock, a socket left by a crash is cleared away, another
// user cannot hold the folder, and peers that send nonsense, too little or too many are dropped without
// disturbing the player.
#include "app/single_instance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "app_test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

// A name of this test's own.
QString TestName() {
  return tSingleInstance::DefaultName() + QStringLiteral("-test");
}

// A later start's hand-over on a thread of its own, while this thread's event loop serves the player.
tSingleInstance::tHandOver HandOverFromAnotherThread(const QStringList& arguments) {
  std::atomic<bool> done{false};
  tSingleInstance::tHandOver result = tSingleInstance::tHandOver::NoPlayer;
  std::thread later([&] {
    tSingleInstance instance(TestName());
    result = instance.HandOver(arguments);
    done = true;
  });
  WaitUntil([&] { return done.load(); }, 10000);
  later.join();
  return result;
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

TEST(SingleInstance, SquattedFallbackFolderIsPassedOver) {
  tTempConfig config;
  tTempDir temp;
  tScopedEnv tmp("TMPDIR", temp.Path());
  tScopedEnv runtime("XDG_RUNTIME_DIR", "");
  const std::string usual = temp.File("kestrova-tv-" + std::to_string(getuid()));
  tTempDir ours;
  struct {
    std::function<bool()> Squat;
    const char* Note;
  } rows[] = {
      {[&] { return mkdir(usual.c_str(), 0700) == 0 && chown(usual.c_str(), getuid() + 1, getgid()) == 0; },
       "another user made it first (needs root to stage)"},
      {[&] { return mkdir(usual.c_str(), 0700) == 0 && chmod(usual.c_str(), 0777) == 0; },
       "ours, but anybody may put a socket in it"},
      {[&] { return symlink(ours.Path().c_str(), usual.c_str()) == 0; }, "a link to a private folder"},
      {[&] { return WriteFile(usual, "x"); }, "a plain file"},
  };
  for (const auto& r : rows) {
    std::filesystem::remove_all(usual);
    if (!r.Squat()) {
      std::printf("skipped: %s\n", r.Note);
      continue;
    }
    const QString name = tSingleInstance::DefaultName();
    ASSERT_FALSE(name.isEmpty()) << r.Note;
    const std::string folder = std::filesystem::path(name.toStdString()).parent_path().string();
    EXPECT_NE(folder, usual) << r.Note;
    EXPECT_EQ(folder.rfind(usual, 0), 0u) << r.Note << ": the next of our names, " << folder;
    struct stat info {};
    ASSERT_EQ(lstat(folder.c_str(), &info), 0) << r.Note;
    EXPECT_TRUE(S_ISDIR(info.st_mode)) << r.Note;
    EXPECT_EQ(info.st_uid, getuid()) << r.Note;
    EXPECT_EQ(info.st_mode & 0777, 0700u) << r.Note;
    EXPECT_EQ(tSingleInstance::DefaultName(), name) << r.Note << ": every start finds the same one";
    std::filesystem::remove_all(folder);
  }
  std::filesystem::remove_all(usual);
}

TEST(SingleInstance, LaterStartHandsItsArgumentsOverAndIsAnswered) {
  tTempConfig config;
  tSingleInstance running(TestName());
  ASSERT_EQ(running.Listen(), tSingleInstance::tListen::Listening);
  std::vector<QStringList> got;
  QObject::connect(&running, &tSingleInstance::Received,
                   [&](const QStringList& arguments) { got.push_back(arguments); });

  struct {
    QStringList arguments;
    const char* note;
  } rows[] = {
      {{"http://127.0.0.1:8000/live.ogg"}, "an address"},
      {{}, "no argument: the player only comes to the front"},
      {{QString::fromUtf8("/tmp/Fernsehen \xc3\xa4.ogg")}, "a file name with a blank and UTF-8"},
      {{"/tmp/a.ogv", "/tmp/--b.ogv", "http://127.0.0.1/c.ogg"}, "several, in order"},
  };
  for (const auto& r : rows) {
    got.clear();
    EXPECT_EQ(HandOverFromAnotherThread(r.arguments), tSingleInstance::tHandOver::Taken) << r.note;
    ASSERT_TRUE(WaitUntil([&] { return !got.empty(); })) << r.note;
    EXPECT_EQ(got.size(), 1u) << r.note;
    EXPECT_EQ(got[0], r.arguments) << r.note;
  }
}

TEST(SingleInstance, NobodyRunningTakesNothing) {
  tTempConfig config;
  tSingleInstance later(TestName());
  EXPECT_EQ(later.HandOver({"http://127.0.0.1/live.ogg"}, 500), tSingleInstance::tHandOver::NoPlayer);
}

TEST(SingleInstance, SilentPlayerIsToldApartAndTakenOver) {
  tTempConfig config;
  // Accepts (the kernel does that for a stopped process too) but never answers.
  QLocalServer silent;
  ASSERT_TRUE(silent.listen(TestName()));
  tSingleInstance later(TestName());
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(later.HandOver({"a.ogv"}), tSingleInstance::tHandOver::NoAnswer);
  EXPECT_GE(clock.elapsed(), tSingleInstance::kAnswerMs - 50) << "it was given its second";
  EXPECT_EQ(later.Listen(), tSingleInstance::tListen::Busy) << "plain listening leaves a live socket alone";
  ASSERT_TRUE(later.TakeOver());

  int received = 0;
  QObject::connect(&later, &tSingleInstance::Received, [&](const QStringList&) { ++received; });
  EXPECT_EQ(HandOverFromAnotherThread({"b.ogv"}), tSingleInstance::tHandOver::Taken)
      << "the next start reaches the one that took over";
  EXPECT_TRUE(WaitUntil([&] { return received == 1; }));
}

TEST(SingleInstance, HungPlayerDoesNotAnswer) {
  tTempConfig config;
  tSingleInstance running(TestName());
  ASSERT_EQ(running.Listen(), tSingleInstance::tListen::Listening);
  ASSERT_EQ(HandOverFromAnotherThread({"a.ogv"}), tSingleInstance::tHandOver::Taken) << "a busy loop answers";
  // This thread's event loop stands still, as a hung window's does; its listener thread still runs.
  std::this_thread::sleep_for(std::chrono::milliseconds(tSingleInstance::kHungMs + 300));
  tSingleInstance::tHandOver silent = tSingleInstance::tHandOver::Taken;
  std::thread later([&] { silent = tSingleInstance(TestName()).HandOver({"b.ogv"}); });
  later.join();
  EXPECT_EQ(silent, tSingleInstance::tHandOver::NoAnswer) << "a start may take the place of a hung player";
  RunEvents(600);  // the loop runs again
  EXPECT_EQ(HandOverFromAnotherThread({"c.ogv"}), tSingleInstance::tHandOver::Taken);
}

TEST(SingleInstance, StartsTakeTurnsThroughTheLock) {
  tTempConfig config;
  tSingleInstance first(TestName()), second(TestName());
  ASSERT_TRUE(first.LockStart());
  EXPECT_FALSE(second.LockStart(100)) << "the turn of the start before";
  first.ReleaseStartLock();
  EXPECT_TRUE(second.LockStart(100));
  {
    tSingleInstance third(TestName());
    EXPECT_FALSE(third.LockStart(100));
  }
  second.ReleaseStartLock();
  {
    tSingleInstance ended(TestName());
    ASSERT_TRUE(ended.LockStart(100));
  }
  EXPECT_TRUE(first.LockStart(100)) << "a start that went away let go of its turn";
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
  EXPECT_EQ(first.HandOver({"a.ogv"}, 500), tSingleInstance::tHandOver::NoPlayer)
      << "nobody answers a dead socket";
  EXPECT_EQ(first.Listen(), tSingleInstance::tListen::Listening) << "the stale socket is cleared";
  tSingleInstance second(name);
  EXPECT_EQ(second.Listen(), tSingleInstance::tListen::Busy) << "a live player's socket is left alone";
}

QByteArray Header(uint32_t tag, uint32_t length) {
  QByteArray header(8, '\0');
  qToLittleEndian<uint32_t>(tag, header.data());
  qToLittleEndian<uint32_t>(length, header.data() + 4);
  return header;
}

TEST(SingleInstance, BadPeersAreDroppedAndThePlayerGoesOn) {
  tTempConfig config;
  tSingleInstance running(TestName());
  ASSERT_EQ(running.Listen(), tSingleInstance::tListen::Listening);
  int received = 0;
  QObject::connect(&running, &tSingleInstance::Received, [&](const QStringList&) { ++received; });

  struct {
    QByteArray bytes;
    int atLeastMs;  // dropped no sooner than this (a slow peer gets its time)
    const char* note;
  } rows[] = {
      {Header(128, 0xFFFFFFF0u) + QByteArray(64, 'x'), 0, "a length past the bound"},
      {Header(0x4745, 3) + "GET", 0, "another tag"},
      {Header(128, 5).left(5), tSingleInstance::kPeerMs - 100, "half a header, then silence"},
      {Header(128, 100) + "abc", tSingleInstance::kPeerMs - 100, "a body cut short, then silence"},
  };
  for (const auto& r : rows) {
    QLocalSocket peer;
    peer.connectToServer(TestName());
    ASSERT_TRUE(peer.waitForConnected(2000)) << r.note;
    QElapsedTimer clock;
    clock.start();
    peer.write(r.bytes);
    peer.flush();
    EXPECT_TRUE(WaitUntil([&] { return peer.state() == QLocalSocket::UnconnectedState; }, 10000))
        << r.note << ": the player hangs up on it";
    EXPECT_GE(clock.elapsed(), r.atLeastMs) << r.note;
    EXPECT_TRUE(WaitUntil([&] { return running.PeerCount() == 0; })) << r.note;
    EXPECT_EQ(received, 0) << r.note;
  }
  EXPECT_EQ(HandOverFromAnotherThread({"after"}), tSingleInstance::tHandOver::Taken);
  EXPECT_TRUE(WaitUntil([&] { return received == 1; })) << "and still takes the next start";
}

TEST(SingleInstance, PeersHeldAtOnceAreBounded) {
  tTempConfig config;
  tSingleInstance running(TestName());
  ASSERT_EQ(running.Listen(), tSingleInstance::tListen::Listening);
  const int extra = 4;
  std::vector<std::unique_ptr<QLocalSocket>> peers;
  for (int i = 0; i < tSingleInstance::kMaxPeers + extra; ++i) {
    peers.push_back(std::make_unique<QLocalSocket>());
    peers.back()->connectToServer(TestName());
    ASSERT_TRUE(peers.back()->waitForConnected(2000));
    RunEvents(5);  // accepted in order
  }
  const auto hungUp = [&] {
    int n = 0;
    for (const auto& peer : peers) n += peer->state() == QLocalSocket::UnconnectedState;
    return n;
  };
  EXPECT_TRUE(WaitUntil([&] { return hungUp() == extra; })) << hungUp();
  EXPECT_EQ(running.PeerCount(), tSingleInstance::kMaxPeers);
  // The silent ones go after their time, and the player takes the next start.
  EXPECT_TRUE(WaitUntil([&] { return running.PeerCount() == 0; }, 10000));
  EXPECT_EQ(HandOverFromAnotherThread({"after"}), tSingleInstance::tHandOver::Taken);
}

}  // namespace
}  // namespace ktv
