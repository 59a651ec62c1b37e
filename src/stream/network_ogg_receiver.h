// The concrete Ogg source: a thread that fetches a stream from an HTTP/ICY server or a local file into a byte
// queue, moving through its states, and the tOggIOBase that the decoding thread reads it through.
//
// Threads: the receiver thread writes the queue and every field; the decoding thread calls
// ReadData/ReadExact, OpenStreams, IsActive, GetState and GetBufferLevel; the main thread calls Connect,
// Disconnect and the getters. State, error code and flags are atomics; the metadata strings are guarded by
// MetaLock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "net/easy_socket.h"
#include "net/url.h"
#include "ogg/byte_queue.h"
#include "ogg/ogg_io_base.h"
#include "platform/thread.h"

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

// The message shown for an error code; empty for codes without one.
std::string ReceiverErrorText(int code);

// A text looks binary when it holds a byte of 0-9, 11, 12, 14-29 or 128-255.
bool LooksBinary(const std::string& text);

class tNetworkReceiverThread : public tThread {
 public:
  // Prepares the source (file or network) and starts the thread; a session runs after Start.
  tNetworkReceiverThread(const std::string& url, int32_t bufferSeconds);
  ~tNetworkReceiverThread() override;

  void Start();
  void Stop();
  // Fills the buffer from the queue, waiting while data is still coming. Returns the bytes delivered: n, or
  // fewer only for the last bytes of a stream that has ended; 0 when nothing more can be had.
  int32_t ReadExact(uint8_t* buffer, int32_t n);
  int32_t GetBufferLevel();
  // The reader has played everything after the end of the input: the session may end (state 0, code 7).
  void FinishStream() { PlaybackFinished = true; }
  void CloseSocket();

  // Bounds on what a server can make us hold.
  static constexpr size_t kMaxHeaderLine = 8 * 1024;
  static constexpr size_t kMaxTextData = 1024 * 1024;
  static constexpr int64_t kMaxQueueBytes = 64 * 1024 * 1024;

  // written by the receiver thread (ReadExact may set State 0), polled by others
  std::atomic<uint8_t> State{RS_IDLE};
  std::atomic<uint8_t> ErrorCode{RE_NONE};
  std::atomic<bool> Running{false};
  std::atomic<bool> ErrorSet{false};
  std::atomic<int32_t> Bitrate{0};
  std::atomic<bool> IsPublic{true};
  std::atomic<bool> InputEnded{false};  // the file or connection has given its last byte
  std::atomic<bool> SocketOpen{false};  // connected and not yet closed (the socket is the receiver thread's)
  const bool IsFile;
  const int32_t BufferSeconds;

  // guarded by MetaLock
  mutable std::mutex MetaLock;
  std::string Server, ContentType, StationName, Description, Genre, StationURL, StreamURL, TextData;

  std::string Meta(const std::string tNetworkReceiverThread::*field) const;
  // The queue of the current session (null before the first); shared so that a reader keeps it alive.
  std::shared_ptr<tByteQueue> Queue() const;

 protected:
  void Execute() override;

 private:
  void NetworkSession();
  void FileSession();
  bool ReadLine(std::string& line);
  void Drain();
  void SetMeta(std::string tNetworkReceiverThread::*field, const std::string& value);
  void NewQueue(int64_t bytes);
  void FreeQueue();
  bool SleepUnlessTerminated(uint32_t milliseconds);

  tURLParts URLParts;
  std::unique_ptr<tEasySocket> Socket;  // null for a file
  mutable std::mutex QueueLock;
  std::shared_ptr<tByteQueue> QueueStore;  // guarded by QueueLock; replaced by each session
  std::atomic<bool> PlaybackFinished{false};
};

class tNetworkOggReceiver : public tOggIOBase {
 public:
  tNetworkOggReceiver() = default;
  ~tNetworkOggReceiver() override;

  void Connect(const std::string& url, int32_t bufferSeconds);
  void Disconnect();
  int32_t ReadData(uint8_t* buffer, int32_t size) override;
  // Scans the stream headers; on failure stops the session and stores error 6 (Abort).
  bool OpenStreams();
  // Stops the session, closes the connection and stores the error code.
  void Abort(uint8_t code);
  void SetError(uint8_t code);
  // The decoding thread has played everything after the end of the input.
  void FinishStream();

  bool IsActive() const;
  bool InputEnded() const;
  uint8_t GetState() const;
  uint8_t GetErrorCode() const;
  int32_t GetBufferLevel() const;
  int32_t GetQueueCapacity() const;  // 0 without a queue
  int32_t GetBitrate() const;
  bool GetIsPublic() const;
  std::string GetServer() const;
  std::string GetContentType() const;
  std::string GetStationName() const;
  std::string GetDescription() const;
  std::string GetGenre() const;
  std::string GetStationURL() const;
  std::string GetStreamURL() const;
  std::string GetTextData() const;

 private:
  // Connect/Disconnect may run on the main thread and on the decoding thread while either reads the getters:
  // every user takes its own reference under ThreadLock, so a thread object is destroyed only after its last
  // use.
  std::shared_ptr<tNetworkReceiverThread> Thread() const;
  mutable std::mutex ThreadLock;
  std::shared_ptr<tNetworkReceiverThread> ReceiverThread;  // guarded by ThreadLock; null while disconnected
};

}  // namespace ktv
