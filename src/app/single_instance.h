// One running player per user and configuration: the first start listens on a local socket; a later start
// hands its first argument to it and ends. The message is the tag 128, the argument's length and its bytes
// (both numbers 32-bit little-endian; length 0 without an argument).
//
// The socket's name is made from the configuration folder, so players with different configurations
// (parallel test runs) never meet. It lives in a folder only this user can enter ($XDG_RUNTIME_DIR, else a
// folder of our own in the temporary folder): another user cannot take the name first and so catch the
// addresses (with their passwords) a start hands over. Where no such folder can be had, every start runs on
// its own. A socket left by a player that crashed is removed, and the start goes on as the first instance.
//
// Thread contract: main thread, with a Qt event loop for the listening side.
#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <cstdint>

namespace ktv {

class tSingleInstance : public QObject {
  Q_OBJECT

 public:
  static constexpr uint32_t kTag = 128;
  // Longer arguments are refused: no address or path comes near it, and the bytes are held in memory.
  static constexpr uint32_t kMaxArgumentBytes = 64 * 1024;

  explicit tSingleInstance(QString name = DefaultName(), QObject* parent = nullptr);

  // <private folder>/kestrova-tv-<hash of the configuration folder>; empty when there is no private folder.
  static QString DefaultName();

  // Hands the argument to a running player; true when one took it (this start should end).
  bool SendToRunning(const QByteArray& argument, int timeoutMs = 3000);
  // Listens as the first instance, removing a stale socket first; false when listening failed.
  bool Listen();
  QString Name() const { return SocketName; }
  bool IsListening() const { return Server.isListening(); }

 signals:
  // A later start handed over its argument (empty when it had none).
  void Received(const QByteArray& argument);

 private:
  void Accept();

  QString SocketName;
  QLocalServer Server;
};

}  // namespace ktv
