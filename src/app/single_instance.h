// One running player per user and configuration: the first start listens on a local socket; a later start
// hands its arguments to it, waits for the answer and ends. The message is the tag 128, the length and the
// arguments (instance_message.h); the running player answers within a second. A player that does not answer
// (stopped, hung) is taken over: the new start removes its socket and becomes the player.
//
// Starts at the same moment (a file manager starts one per selected file) take turns through a lock file
// beside the socket: a start holds it from before its hand-over until it listens and its event loop runs,
// so exactly one of them becomes the player and the others hand over to it.
//
// The socket's name is made from the configuration folder, so players with different configurations
// (parallel test runs) never meet. It lives in a folder only this user can enter ($XDG_RUNTIME_DIR, else a
// folder of our own in the temporary folder, checked for owner and mode; when another user took our usual
// name first, the next free one of a short series): another user cannot take the name first and so catch
// the addresses (with their passwords) a start hands over. Where no such folder can be had, every start
// runs on its own. A socket left by a player that crashed is removed, and the start goes on as the first.
//
// A player that was taken over and goes on later leaves the socket of the one that took its place alone.
//
// The answer comes from a thread of the listener's own, so a player whose window is busy for a moment
// (opening a stream on a loaded machine) still answers in time; it answers only while the main thread's
// heartbeat is recent, so a hung player is taken over. The arguments reach the main thread as a queued
// Received.
//
// The listening side is bounded: at most kMaxPeers connections at once, each dropped when its message is
// not whole after kPeerMs, has another tag or is too long.
//
// Thread contract: made and used on one thread (the main thread), whose event loop delivers Received and
// beats the heartbeat; the server and its peers live on the listener thread.
#pragma once

#include <sys/types.h>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <optional>
#include <utility>

namespace ktv {

class tSingleInstance : public QObject {
  Q_OBJECT

 public:
  static constexpr int kAnswerMs = 1000;  // a running player answers a hand-over within this
  static constexpr int kPeerMs = 2000;    // a peer's whole message arrives within this, or it is dropped
  static constexpr int kMaxPeers = 16;    // more connections at once are refused at once
  static constexpr int kLockMs = 20000;   // a start that held the lock longer than this is hung
  static constexpr int kHungMs = 5000;    // a main thread silent this long is hung: no answer

  explicit tSingleInstance(QString name = DefaultName(), QObject* parent = nullptr);
  ~tSingleInstance() override;

  // <private folder>/kestrova-tv-<hash of the configuration folder>; empty when there is no private folder.
  static QString DefaultName();

  // Waits (at most timeoutMs) for the starts before this one to finish their turn. False when it could not
  // be had; the start goes on without it.
  bool LockStart(int timeoutMs = kLockMs);
  void ReleaseStartLock();
  bool HoldsStartLock() const { return LockFile >= 0; }

  enum class tHandOver {
    Taken,     // the running player answered: this start ends
    NoPlayer,  // nobody listens
    NoAnswer,  // somebody listens but did not answer in time
    Refused,   // the running player hung up without an answer
  };
  // Hands the arguments to a running player. Arguments beyond the message's bound are left out with a note
  // on standard error.
  tHandOver HandOver(const QStringList& arguments, int answerMs = kAnswerMs);

  enum class tListen {
    Listening,
    Busy,    // a live player answers on the name
    Failed,  // no name, or the socket could not be made
  };
  // Listens as the first instance, removing a stale socket first; a live one is left alone.
  tListen Listen();
  // Removes whatever socket has the name (a player that does not answer) and listens.
  bool TakeOver();

  QString Name() const { return SocketName; }
  bool IsListening() const { return Listening; }
  int PeerCount() const { return Peers; }

 signals:
  // A later start handed over its arguments (none: it only wants the player in front).
  void Received(const QStringList& arguments);

 private:
  void Accept();
  void ReadPeer(class QLocalSocket* socket);
  // Main thread, once listening: hands the server to the listener thread and starts the heartbeat.
  void StartListener();
  void NoteOwnSocket();
  // Closes the server; the socket file goes only when it is still ours.
  void StopListening();

  QString SocketName;
  QLocalServer Server;
  std::optional<std::pair<dev_t, ino_t>> OwnSocket;  // the socket file we made (device, inode)
  int LockFile = -1;
  bool Listening = false;     // main thread
  std::atomic<int> Peers{0};  // connections held now; written by the listener thread
  // Milliseconds of the steady clock at the main thread's last beat; read by the listener thread.
  std::atomic<int64_t> Heartbeat{0};
  QTimer Beat;
  QThread Listener;
};

}  // namespace ktv
