// The Ogg source: turns bytes from ReadData into packets of logical streams. A header scan discovers the
// logical streams of a link and names their codecs; the decoders then pull packets of their own stream, which
// drives reading. A beginning-of-stream page met while fetching packets starts the next link of a chained
// stream: it is held in PendingPage until the decoding thread has closed its decoders, reset the streams and
// scanned again.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ogg/codec_libraries.h"

namespace ktv {

// One logical stream (one serial number) of the current link.
struct tOggStreamData {
  ogg_stream_state StreamState{};
  bool Active = false;    // a decoder uses this stream
  std::string CodecName;  // from the first page's body; at most 30 characters, never empty
  std::string Signature;  // the first bytes of the first page's body (the codec's identification)
};

// Bytes of a first page kept as a stream's signature: enough for every codec's identification magic.
constexpr long kStreamSignatureBytes = 8;

// Name of a stream from the body of its first page: "Vorbis", "Theora", "FLAC", "XML", ..., "Unknown".
std::string CodecNameFromFirstPage(const uint8_t* body, long length);

class tOggIOBase {
 public:
  tOggIOBase();
  virtual ~tOggIOBase();
  tOggIOBase(const tOggIOBase&) = delete;
  tOggIOBase& operator=(const tOggIOBase&) = delete;

  // Places up to `size` bytes in the buffer; 0 when nothing can be had. May block.
  virtual int32_t ReadData(uint8_t* buffer, int32_t size) = 0;

  // Scans the headers of the current link (starting from the held page, if any); true when the scan ran to
  // its end: the first page with a positive granule position, or the end of the source.
  bool ReadStreamHeaders();
  // Next packet of the stream (or a look at it, with peek); false when none could be had: the source has
  // nothing more for now, or the stream's pages have stopped coming while other streams' go on.
  bool GetPacket(int32_t index, ogg_packet* packet, bool peek);
  // The first position (granulepos) carried by a packet still buffered for the stream, and how many whole
  // packets come before that packet; false when none of the buffered packets carries one.
  bool PeekNextGranule(int32_t index, int64_t& granule, int32_t& packetsBefore) const;
  void ActivateStream(int32_t index);
  void DeactivateStream(int32_t index);
  void ResetStreams();

  // These two are also called on the main thread (stream information) while the decoding thread runs.
  int32_t StreamCount() const;
  std::string StreamName(int32_t index) const;
  // The stream's signature ("" for an index out of range): tells codecs apart whose names the name rule
  // mangles (a Speex stream is named "Peex...").
  std::string StreamSignature(int32_t index) const;

  bool OggAvailable;            // the library loaded at construction
  int64_t BytesRead = 0;        // bytes read while fetching packets (a day-long stream passes 2 GiB)
  bool PagePending = false;     // PendingPage holds the first page of the next chain link
  ogg_page PendingPage{};       // points into PendingHeader / PendingBody
  bool FeedAllStreams = false;  // feed pages of streams no decoder uses (while decoders open)

  // Bounds on what a damaged or hostile source can make the scan hold.
  static constexpr int32_t kMaxStreams = 64;
  static constexpr int64_t kMaxHeaderScanBytes = 16 * 1024 * 1024;

 private:
  int32_t Refill();
  bool NextPage(ogg_page& page);
  // True when a stream took the page (or dropped it, nobody decoding it); fedSerial receives the serial
  // number of the stream that took it in.
  bool FeedPage(ogg_page& page, bool force, int* fedSerial = nullptr);
  int32_t AddStream(std::unique_ptr<tOggStreamData> stream);
  void HoldPage(const ogg_page& page);
  void ClearPendingPage();
  std::string StreamField(int32_t index, std::string tOggStreamData::*field) const;

  // Streams is changed only by the decoding thread; StreamsLock orders those changes with the main thread's
  // StreamCount / StreamName.
  mutable std::mutex StreamsLock;
  std::vector<std::unique_ptr<tOggStreamData>> Streams;
  ogg_sync_state SyncState{};
  std::vector<uint8_t> PendingHeader, PendingBody;
};

}  // namespace ktv
