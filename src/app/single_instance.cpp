#include "app/single_instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QVariant>
#include <QtEndian>

#include "platform/registry.h"

namespace ktv {

namespace {

constexpr int kHeaderBytes = 8;  // tag, length

// A folder that is ours alone: a directory we own that nobody else may enter.
bool IsPrivateFolder(const QByteArray& path) {
  struct stat info {};
  return lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
         (info.st_mode & 077) == 0;
}

QString PrivateFolder() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && IsPrivateFolder(runtime)) return QString::fromLocal8Bit(runtime);
  const QByteArray own =
      QFile::encodeName(QDir::tempPath() + QStringLiteral("/kestrova-tv-%1").arg(getuid()));
  mkdir(own.constData(), 0700);  // fails harmlessly when it exists; then it must pass the check below
  return IsPrivateFolder(own) ? QFile::decodeName(own) : QString();
}

}  // namespace

tSingleInstance::tSingleInstance(QString name, QObject* parent)
    : QObject(parent), SocketName(std::move(name)) {
  connect(&Server, &QLocalServer::newConnection, this, &tSingleInstance::Accept);
}

QString tSingleInstance::DefaultName() {
  const QString folder = PrivateFolder();
  if (folder.isEmpty()) return {};
  // The settings file lives in the configuration folder, so its path names the configuration.
  const QByteArray settings = QByteArray::fromStdString(DefaultRegistryFile());
  const QByteArray hash = QCryptographicHash::hash(settings, QCryptographicHash::Sha1).toHex().left(16);
  return folder + QStringLiteral("/kestrova-tv-") + QString::fromLatin1(hash);
}

bool tSingleInstance::SendToRunning(const QByteArray& argument, int timeoutMs) {
  if (SocketName.isEmpty()) return false;
  QLocalSocket socket;
  socket.connectToServer(SocketName);
  if (!socket.waitForConnected(timeoutMs)) return false;
  QByteArray message(kHeaderBytes, '\0');
  qToLittleEndian<uint32_t>(kTag, message.data());
  qToLittleEndian<uint32_t>(static_cast<uint32_t>(argument.size()), message.data() + 4);
  message += argument;
  socket.write(message);
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
  return true;
}

bool tSingleInstance::Listen() {
  if (SocketName.isEmpty()) return false;
  if (Server.listen(SocketName)) return true;
  if (Server.serverError() != QAbstractSocket::AddressInUseError) return false;
  // Someone answering means a player runs: leave its socket alone.
  QLocalSocket probe;
  probe.connectToServer(SocketName);
  if (probe.waitForConnected(500)) return false;
  QLocalServer::removeServer(SocketName);
  return Server.listen(SocketName);
}

void tSingleInstance::Accept() {
  while (QLocalSocket* socket = Server.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // The whole message is read as it arrives; a peer that sends too much or too little is dropped.
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (socket->property("done").toBool()) return;
      if (socket->bytesAvailable() < kHeaderBytes) return;
      QByteArray header = socket->peek(kHeaderBytes);
      const uint32_t length = qFromLittleEndian<uint32_t>(header.constData() + 4);
      if (length > kMaxArgumentBytes) {
        socket->setProperty("done", true);
        socket->abort();
        return;
      }
      if (socket->bytesAvailable() < kHeaderBytes + static_cast<qint64>(length)) return;
      socket->read(kHeaderBytes);
      const QByteArray argument = socket->read(length);
      socket->setProperty("done", true);
      socket->disconnectFromServer();
      emit Received(argument);
    });
  }
}

}  // namespace ktv
