// The concrete Ogg source: the tOggIOBase that the decoding thread reads a stream through, fetched by a
// receiver thread (network_receiver_thread.h) from an HTTP/ICY server or a local file.
//
// Threads: the main thread calls Connect, Disconnect and the getters; the decoding thread calls ReadData,
// OpenStreams, Abort, FinishStream, SizeQueueForStream and the state getters. Every user takes its own
// reference to the receiver thread, so a thread object is destroyed only after its last use.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "ogg/ogg_io_base.h"
#include "stream/network_receiver_thread.h"

namespace ktv {

class tNetworkOggReceiver : public tOggIOBase {
 public:
  tNetworkOggReceiver() = default;
  ~tNetworkOggReceiver() override;

  void Connect(const std::string& url, int32_t bufferSeconds);
  void Connect(const std::string& url, const tReceiverOptions& options);
  void Disconnect();
  int32_t ReadData(uint8_t* buffer, int32_t size) override;
  // Scans the stream headers; on failure stops the session and stores RE_TYPE (Abort).
  bool OpenStreams();
  // Stops the session, closes the connection and stores the error code.
  void Abort(uint8_t code);
  void SetError(uint8_t code);
  // The decoding thread has played everything after the end of the input.
  void FinishStream();
  // See tNetworkReceiverThread::SizeQueueForStream.
  void SizeQueueForStream(int32_t nominalKbps);

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
  // The address as shown: the last of a redirect chain, without credentials.
  std::string GetStreamURL() const;
  // The address the stream finally came from (credentials kept) when redirects moved it; empty when none did.
  std::string GetFinalURL() const;
  std::string GetTextData() const;
  // While a dropped live stream is being reconnected: the attempt (1-based) and how many there may be; 0
  // otherwise.
  int32_t GetReconnectAttempt() const;
  int32_t GetReconnectAttempts() const;
  // Reconnects that brought the stream back so far.
  int32_t GetReconnects() const;
  // After a text answer: the options to open its entries with (PlaylistEntryOptions).
  tReceiverOptions EntryOptions() const;
  // The source is a local file (which is never recorded); false while disconnected.
  bool IsLocalFile() const;
  // Pages of the network stream go to this recorder from now on (null: to none). False for a local file or
  // while disconnected.
  bool AttachRecorder(std::shared_ptr<tStreamRecorder> recorder);

 private:
  std::shared_ptr<tNetworkReceiverThread> Thread() const;
  std::string Meta(const std::string tStreamMetadata::*field) const;
  mutable std::mutex ThreadLock;
  std::shared_ptr<tNetworkReceiverThread> ReceiverThread;  // guarded by ThreadLock; null while disconnected
};

}  // namespace ktv
