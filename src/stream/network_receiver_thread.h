// The receiver thread: fetches a stream from an HTTP/ICY server, plain or over TLS, following redirects
// (network_session.cpp), or a local file (file_session.cpp) into a byte queue, moving through its states, and
// hands the bytes to the decoding thread through ReadExact. A live stream that drops is reconnected, when
// the options allow it: the new connection's bytes follow the old ones in the queue as a new chain link.
//
// Threads: the receiver thread writes the queue and the fields; the decoding thread calls ReadExact and the
// level getters; any thread calls Start, Stop, CloseSocket and the getters. State, the error code, flags and
// numbers are atomics; the metadata texts are guarded by MetaLock; the queue pointer by QueueLock.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "net/easy_socket.h"
#include "net/http_answer.h"
#include "net/url.h"
#include "platform/byte_queue.h"
#include "platform/thread.h"
#include "stream/ogg_page_watch.h"
#include "stream/stream_metadata.h"
#include "stream/stream_recorder.h"

namespace ktv {

// Receiver states.
constexpr uint8_t RS_IDLE = 0;
constexpr uint8_t RS_CONNECTING = 1;
constexpr uint8_t RS_REQUESTING = 2;
constexpr uint8_t RS_READING_HEADERS = 3;
constexpr uint8_t RS_BUFFERING = 4;
constexpr uint8_t RS_PLAYING = 5;
constexpr uint8_t RS_TEXT = 6;

// Receiver error codes.
constexpr uint8_t RE_NONE = 0;
constexpr uint8_t RE_DNS = 1;
constexpr uint8_t RE_NETWORK = 2;
constexpr uint8_t RE_TIMEOUT = 3;
constexpr uint8_t RE_CONNECT = 4;
constexpr uint8_t RE_NOT_AVAILABLE = 5;
constexpr uint8_t RE_TYPE = 6;
constexpr uint8_t RE_ENDED = 7;
constexpr uint8_t RE_FILE = 8;
constexpr uint8_t RE_SECURE = 9;  // no secure connection: a failed TLS handshake or an untrusted certificate

// The message shown for an error code; empty for codes without one.
std::string ReceiverErrorText(int code);

// A text looks binary when it holds a byte of 0-9, 11, 12, 14-29 or 128-255.
bool LooksBinary(const std::string& text);

// Whether an address names a local file: "file://" in any case, a path beginning with "/", "./", "../" or
// "~/" (whether or not the file exists: a missing one is a file that cannot be opened), or an existing file.
bool NamesALocalFile(const std::string& url);
// The file's path: "file://" removed, "~/" taken from $HOME.
std::string LocalFilePath(const std::string& url);

// How a receiver fetches its stream.
struct tReceiverOptions {
  int32_t BufferSeconds = 10;  // seconds of stream the queue is sized for
  // Reconnects of a live stream (no Content-Length) that drops; 0: it ends instead.
  int32_t ReconnectAttempts = 0;
  // The waits before the attempts are 1, 2, 4, 8 and 16 (and 16 for any later) of this many milliseconds.
  uint32_t ReconnectUnitMs = 1000;
  // The socket's limit for a connect, a handshake and each receive, and for an answer's whole header: a
  // server silent (or still sending its header) this long has dropped.
  int32_t TimeOutSeconds = 60;
  // A connection that carried the stream this long has recovered it: a later drop counts attempts from 1.
  uint32_t ReconnectSteadyMs = 10000;
  // Attempts within this window are limited to three times ReconnectAttempts, whatever each connection did.
  uint32_t ReconnectWindowMs = 10 * 60 * 1000;
  // A decoding thread will size the queue for the stream's own rate (SizeQueueForStream) once it has read
  // the headers: a stream whose server names no bit rate buffers until then, so that it never starts on a
  // queue sized for 100 kbit/s and falls back to buffering when the queue grows.
  bool AwaitStreamRate = false;
  // Playlist answers that led to this address (0: the user named it). A text answer at kMaxPlaylistDepth
  // is refused (RE_TYPE): a playlist that names itself, or playlists nested without end, end there.
  int32_t PlaylistDepth = 0;
  // The address is an entry of a playlist that came from the network: only http and https are opened, never
  // a local file (RE_NOT_AVAILABLE).
  bool FromNetworkPlaylist = false;
};

// Playlist answers nest at most this deep.
constexpr int32_t kMaxPlaylistDepth = 3;

// Whether an address is one a network playlist may name: http or https (in any case).
bool IsStreamAddress(const std::string& url);

// The options to open the entries of a text answer (a playlist) with: one level deeper, and restricted to
// stream addresses when the playlist came from the network.
tReceiverOptions PlaylistEntryOptions(const tReceiverOptions& playlist, bool playlistFromNetwork);

class tNetworkReceiverThread : public tThread {
 public:
  // Prepares the source (file or network) and starts the thread; a session runs after Start.
  tNetworkReceiverThread(const std::string& url, int32_t bufferSeconds);
  tNetworkReceiverThread(const std::string& url, const tReceiverOptions& options);
  ~tNetworkReceiverThread() override;

  void Start();
  void Stop();
  // Fills the buffer from the queue, waiting while data is still coming. Returns the bytes delivered: n, or
  // fewer only for the last bytes of a stream that has ended; 0 when nothing more can be had.
  int32_t ReadExact(uint8_t* buffer, int32_t n);
  int32_t GetBufferLevel() const;
  // The reader has played everything after the end of the input: the session may end (RS_IDLE, RE_ENDED).
  void FinishStream();
  void CloseSocket();
  // The decoding thread knows the stream's nominal bit rate (kbit/s) from its identification headers. When
  // the server named none, the queue grows to hold the buffer setting's seconds of this stream, so that the
  // setting means seconds of what is played; it never shrinks.
  void SizeQueueForStream(int32_t nominalKbps);

  // The error code (low bits) and the flag that the owner stored it (ErrorSet), as one value: the thread
  // never replaces a code the owner stored, however the two race.
  uint8_t GetErrorCode() const { return ErrorState.load() & kCodeMask; }
  // The owner stores a code; the thread leaves it alone from then on.
  void SetError(uint8_t code) { ErrorState = static_cast<uint8_t>(code | kOwnerSet); }

  // Bounds on what a server can make us hold.
  static constexpr size_t kMaxHeaderLine = 8 * 1024;
  static constexpr size_t kMaxTextData = 1024 * 1024;
  static constexpr int64_t kMaxQueueBytes = 64 * 1024 * 1024;

  // written by the receiver thread (ReadExact may set State 0), polled by others
  std::atomic<uint8_t> State{RS_IDLE};
  std::atomic<bool> Running{false};
  std::atomic<int32_t> Bitrate{0};
  std::atomic<bool> IsPublic{true};
  std::atomic<bool> InputEnded{false};  // the file or connection has given its last byte
  std::atomic<bool> SocketOpen{false};  // connected and not yet closed (the socket is the receiver thread's)
  // A live stream dropped and is being reconnected: the reader waits for what comes next.
  std::atomic<bool> Reconnecting{false};
  std::atomic<int32_t> ReconnectAttempt{0};  // the attempt waited for or under way, 1-based; 0 when none
  std::atomic<int32_t> Reconnects{0};        // reconnects that brought the stream back
  const bool IsFile;
  const int32_t BufferSeconds;
  const tReceiverOptions Options;
  const bool Refused;  // the address is not one this receiver may open (see FromNetworkPlaylist)

  std::string Meta(const std::string tStreamMetadata::*field) const;
  // The queue of the current session (null before the first); shared so that a reader keeps it alive.
  std::shared_ptr<tByteQueue> Queue() const;

  // The pages of a network stream as they arrive, for a recording: fed by the receiver thread, a recorder
  // attached by any thread (it has its own lock). A file is never recorded, so it is never fed.
  tRecordingTap RecordingTap;

 protected:
  void Execute() override;

 private:
  static constexpr uint8_t kOwnerSet = 0x80;
  static constexpr uint8_t kCodeMask = 0x7F;

  // One session each (network_session.cpp, file_session.cpp).
  void NetworkSession();
  void FileSession();

  // The network session's steps. Each gives RE_NONE or the error code it failed with.
  // Connects, asks and reads the answer's header, following redirects; on a reconnect the state stays.
  uint8_t OpenAnswer(tAnswerHeader& header, bool reconnecting);
  // CheckConnection: a connection that closes during the header is a failure (not for a redirect).
  uint8_t ReadHeader(tAnswerHeader& header, bool checkConnection);
  // Keeps what the answer says about the stream.
  void StoreAnswer(tAnswerHeader& header);
  // Why the bytes of a connection stopped coming.
  enum class tStreamStop { Stopped, Ended, Broken };
  tStreamStop PumpStream(tByteQueue& queue, int64_t& contentLength, bool& full, tOggPageWatch& pages);
  // Brings a dropped live stream back: true when a new connection carries it on. False when the session
  // was stopped, or when every attempt failed (the last failure's code is then set).
  bool Reconnect(tByteQueue& queue, int64_t& contentLength, bool& full, tOggPageWatch& pages);
  // Counts one attempt against the window's budget; false when the budget is spent.
  bool TakeReconnectBudget();
  // The wait before an attempt, keeping the buffering state right meanwhile; false when stopped.
  bool WaitToReconnect(int32_t attempt, bool& full);

  // Shared by both sessions.
  void BeginSession();
  // The session's own code, unless the owner has stored one.
  // OnlyWhenNone: leaves a code already set (another thread's end of the session names its own).
  void SetSessionError(uint8_t code, bool onlyWhenNone = false);
  // Ends a session in failure: state 0 and the code.
  void Fail(uint8_t code);
  // A text answer: collects it through read (which fills up to the given bytes and returns how many it read,
  // 0 at the end) unless it looks binary or grows too long (then RE_TYPE). Either way the thread then ends.
  void CaptureText(std::string text, const std::function<size_t(char*, size_t)>& read);
  // Stores the bytes in the queue, waiting for room while the session runs; false when it stopped first.
  bool WriteToQueue(tByteQueue& queue, const char* bytes, int32_t count);
  // RS_BUFFERING below level 25 after playing, RS_PLAYING above level 191 (once the queue has its size).
  void UpdateLevelState(bool& full);
  void Drain();
  void SetMeta(std::string tStreamMetadata::*field, const std::string& value);
  void NewQueue(int64_t bytes);
  void FreeQueue();
  // Ends every wait on the queue so that the waiters look at the flags again.
  void WakeWaiters();

  tURLParts URLParts;
  std::unique_ptr<tEasySocket> Socket;    // null for a file
  std::unique_ptr<tAnswerReader> Reader;  // receiver thread only: the answer on the current connection
  // receiver thread only: reconnect bookkeeping of the session
  int32_t AttemptsUsed = 0;           // attempts since the stream last ran steadily
  uint32_t ConnectionStart = 0;       // when the current connection began carrying the stream
  std::deque<uint32_t> AttemptTicks;  // when each attempt within the window began
  int64_t PlayingCapacity = 0;        // the queue's capacity when it last turned to playing
  // Bytes the reader took while the stream was buffering (the header scan reads on to the first page of
  // the stream): they wait in the reader to be played, so they count toward the level that starts playing.
  std::atomic<int64_t> TakenWhileBuffering{0};
  std::atomic<uint8_t> ErrorState{RE_NONE};
  std::atomic<int32_t> NamedBitrate{0};
  std::atomic<bool> QueueSized{false};  // SizeQueueForStream was called in this session  // the server's own
                                        // "ICY-BR"/"ICE-BITRATE", 0 when it named none
  std::atomic<bool> PlaybackFinished{false};
  mutable std::mutex MetaLock;
  tStreamMetadata Metadata;  // guarded by MetaLock
  mutable std::mutex QueueLock;
  std::shared_ptr<tByteQueue> QueueStore;  // guarded by QueueLock; replaced by each session
};

}  // namespace ktv
