#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <QVariant>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/instance_message.h"
#include "platform/registry.h"

namespace ktv {

namespace {

// Names tried in the temporary folder when another user (or a mistake) holds ours: enough to step past a
// few squatters, few enough that every start of ours finds the same folder quickly.
constexpr int kFallbackFolders = 8;
constexpr int kProbeMs = 500;         // a live player accepts a connection at once
constexpr int kLockPollMs = 10;       // how often a waiting start looks at the lock again
constexpr int kBeatMs = 250;          // the main thread's heartbeat
constexpr int kReleaseLockMs = 2000;  // at exit: a start holding the lock longer is not waited for
constexpr const char* kDoneProperty = "ktvDone";

// A folder that is ours alone: a directory (not a link to one) we own that nobody else may enter.
bool IsPrivateFolder(const QByteArray& path) {
  struct stat info {};
  return lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
         (info.st_mode & 077) == 0;
}

QString PrivateFolder() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && IsPrivateFolder(runtime)) return QString::fromLocal8Bit(runtime);
  const QString base = QDir::tempPath() + QStringLiteral("/kestrova-tv-%1").arg(getuid());
  for (int i = 0; i < kFallbackFolders; ++i) {
    const QByteArray own = QFile::encodeName(i == 0 ? base : base + QStringLiteral("-%1").arg(i));
    mkdir(own.constData(), 0700);  // fails harmlessly when it exists; then it must pass the check below
    if (IsPrivateFolder(own)) return QFile::decodeName(own);
  }
  return {};
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

tSingleInstance::tSingleInstance(QString name, QObject* parent)
    : QObject(parent), SocketName(std::move(name)) {
  // Runs on the server's thread: the listener thread once listening.
  connect(&Server, &QLocalServer::newConnection, &Server, [this] { Accept(); });
  Beat.setInterval(kBeatMs);
  connect(&Beat, &QTimer::timeout, this, [this] { Heartbeat = NowMs(); });
}

void tSingleInstance::StartListener() {
  NoteOwnSocket();
  Listening = true;
  Heartbeat = NowMs();
  Beat.start();
  Server.moveToThread(&Listener);
  Listener.start();
}

tSingleInstance::~tSingleInstance() {
  StopListening();
  ReleaseStartLock();
}

void tSingleInstance::NoteOwnSocket() {
  struct stat info {};
  const QByteArray path = QFile::encodeName(Server.fullServerName());
  OwnSocket =
      stat(path.constData(), &info) == 0 ? std::optional(std::pair(info.st_dev, info.st_ino)) : std::nullopt;
}

void tSingleInstance::StopListening() {
  if (!Listening) return;
  Listening = false;
  Beat.stop();
  QThread* home = thread();
  const QByteArray path = QFile::encodeName(Server.fullServerName());
  struct stat info {};
  const bool ours =
      OwnSocket && stat(path.constData(), &info) == 0 && std::pair(info.st_dev, info.st_ino) == *OwnSocket;
  // A start that took our place while we did not answer must keep its socket, which closing would remove
  // by the name: it is moved aside while we close, under the lock, so no start looks for it in between.
  const bool aside = !ours && LockStart(kReleaseLockMs);
  const QByteArray asidePath = path + ".aside";
  const bool moved = aside && rename(path.constData(), asidePath.constData()) == 0;
  QMetaObject::invokeMethod(
      &Server,
      [this, home] {
        Server.close();
        // The peers are the server's children and come along; they go with it on this thread.
        Server.moveToThread(home);
      },
      Qt::BlockingQueuedConnection);
  Listener.quit();
  Listener.wait();
  if (moved) rename(asidePath.constData(), path.constData());
  if (aside) ReleaseStartLock();
}

QString tSingleInstance::DefaultName() {
  const QString folder = PrivateFolder();
  if (folder.isEmpty()) return {};
  // The settings file lives in the configuration folder, so its path names the configuration.
  const QByteArray settings = QByteArray::fromStdString(DefaultRegistryFile());
  const QByteArray hash = QCryptographicHash::hash(settings, QCryptographicHash::Sha1).toHex().left(16);
  return folder + QStringLiteral("/kestrova-tv-") + QString::fromLatin1(hash);
}

bool tSingleInstance::LockStart(int timeoutMs) {
  if (SocketName.isEmpty()) return false;
  if (LockFile >= 0) return true;
  const QByteArray path = QFile::encodeName(SocketName + QStringLiteral(".lock"));
  const int fd = open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  QElapsedTimer clock;
  clock.start();
  // flock is let go by the kernel when the holder ends in any way, so a crashed start never blocks the next.
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (clock.elapsed() >= timeoutMs) {
      close(fd);
      return false;
    }
    QThread::msleep(kLockPollMs);
  }
  LockFile = fd;
  return true;
}

void tSingleInstance::ReleaseStartLock() {
  // The starts that waited for our turn connect now: a long start-up must not look like a hang to them.
  if (Listening) Heartbeat = NowMs();
  if (LockFile < 0) return;
  close(LockFile);  // releases the lock; the file stays, so that every start locks the same one
  LockFile = -1;
}

tSingleInstance::tHandOver tSingleInstance::HandOver(const QStringList& arguments, int answerMs) {
  if (SocketName.isEmpty()) return tHandOver::NoPlayer;
  std::vector<std::string> list;
  for (const QString& argument : arguments) list.push_back(argument.toUtf8().toStdString());
  std::string body;
  const size_t went = JoinInstanceArguments(list, body);
  if (went < list.size())
    std::fprintf(stderr, "kestrova-tv: %zu of %zu arguments do not fit in one hand-over and are left out\n",
                 list.size() - went, list.size());

  QLocalSocket socket;
  socket.connectToServer(SocketName);
  if (!socket.waitForConnected(answerMs)) return tHandOver::NoPlayer;
  QElapsedTimer clock;
  clock.start();
  const auto remaining = [&] { return static_cast<int>(std::max<qint64>(0, answerMs - clock.elapsed())); };
  const std::string message = EncodeInstanceMessage(kInstanceTag, body);
  socket.write(message.data(), static_cast<qint64>(message.size()));
  while (socket.bytesToWrite() > 0) {
    if (socket.waitForBytesWritten(remaining())) continue;
    return socket.state() == QLocalSocket::ConnectedState ? tHandOver::NoAnswer : tHandOver::Refused;
  }
  while (socket.bytesAvailable() < static_cast<qint64>(kInstanceHeaderBytes)) {
    if (socket.waitForReadyRead(remaining())) continue;
    if (socket.bytesAvailable() >= static_cast<qint64>(kInstanceHeaderBytes)) break;
    return socket.state() == QLocalSocket::ConnectedState ? tHandOver::NoAnswer : tHandOver::Refused;
  }
  const QByteArray answer = socket.read(kInstanceHeaderBytes);
  std::string none;
  size_t used = 0;
  const bool taken = ReadInstanceMessage(reinterpret_cast<const uint8_t*>(answer.constData()),
                                         static_cast<size_t>(answer.size()), kInstanceAnswerTag, none,
                                         used) == tInstanceRead::Complete;
  socket.disconnectFromServer();
  return taken ? tHandOver::Taken : tHandOver::Refused;
}

tSingleInstance::tListen tSingleInstance::Listen() {
  if (SocketName.isEmpty()) return tListen::Failed;
  if (Listening) return tListen::Listening;
  if (Server.listen(SocketName)) {
    StartListener();
    return tListen::Listening;
  }
  if (Server.serverError() != QAbstractSocket::AddressInUseError) return tListen::Failed;
  // Someone accepting means a player runs: leave its socket alone.
  QLocalSocket probe;
  probe.connectToServer(SocketName);
  if (probe.waitForConnected(kProbeMs)) return tListen::Busy;
  QLocalServer::removeServer(SocketName);
  if (!Server.listen(SocketName)) return tListen::Failed;
  StartListener();
  return tListen::Listening;
}

bool tSingleInstance::TakeOver() {
  if (SocketName.isEmpty() || Listening) return false;
  // The silent player keeps its listening socket, but nobody can reach it by the name any more.
  QLocalServer::removeServer(SocketName);
  if (!Server.listen(SocketName)) return false;
  StartListener();
  return true;
}

void tSingleInstance::Accept() {
  while (QLocalSocket* socket = Server.nextPendingConnection()) {
    if (Peers >= kMaxPeers) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    ++Peers;
    connect(socket, &QObject::destroyed, &Server, [this] { --Peers; });
    // Room for the longest message and no more: a peer that sends on without end is not buffered.
    socket->setReadBufferSize(static_cast<qint64>(kInstanceHeaderBytes + kMaxInstanceBytes));
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { ReadPeer(socket); });
    // A peer that has not sent its whole message by then (or not read our answer) is dropped.
    QTimer::singleShot(kPeerMs, socket, [socket] {
      socket->abort();
      socket->deleteLater();
    });
    ReadPeer(socket);
  }
}

void tSingleInstance::ReadPeer(QLocalSocket* socket) {
  if (socket->property(kDoneProperty).toBool()) return;
  const QByteArray bytes = socket->peek(socket->bytesAvailable());
  std::string body;
  size_t used = 0;
  switch (ReadInstanceMessage(reinterpret_cast<const uint8_t*>(bytes.constData()),
                              static_cast<size_t>(bytes.size()), kInstanceTag, body, used)) {
    case tInstanceRead::NeedMore:
      return;
    case tInstanceRead::Refused:
      socket->setProperty(kDoneProperty, true);
      socket->abort();
      socket->deleteLater();
      return;
    case tInstanceRead::Complete:
      break;
  }
  if (NowMs() - Heartbeat > kHungMs) {
    // Our window does not run: no answer (the peer's time ends it), so that the start takes our place.
    socket->setProperty(kDoneProperty, true);
    return;
  }
  socket->read(static_cast<qint64>(used));
  socket->setProperty(kDoneProperty, true);
  const std::string answer = EncodeInstanceMessage(kInstanceAnswerTag, {});
  socket->write(answer.data(), static_cast<qint64>(answer.size()));
  socket->disconnectFromServer();
  QStringList arguments;
  for (const std::string& argument : SplitInstanceArguments(body))
    arguments << QString::fromUtf8(argument.data(), static_cast<qsizetype>(argument.size()));
  // Emitted on our own (the main) thread.
  QMetaObject::invokeMethod(
      this, [this, arguments] { emit Received(arguments); }, Qt::QueuedConnection);
}

}  // namespace ktv
