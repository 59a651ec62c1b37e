// What every decoder of one logical stream shares: it finds its stream itself (the stream whose first packet
// its header parser accepts), takes the stream's header packets out, keeps the comment lines, and marks the
// stream active while it is open. The codecs supply the library calls; the course of Open and Close is here.
//
// The source is not owned: close the decoder before the source goes. Each codec's destructor calls Close (a
// base destructor could not reach the codec's own records any more).
//
// Thread contract: Open and Close run on the decoding thread. Comments, Vendor and the codec's format may be
// read on the main thread while the stream is open (the decoding thread does not reopen meanwhile: it hands
// over through synchronised calls, or holds the lock the readers take).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ogg/ogg_io_base.h"

namespace ktv {

class tOggStreamDecoder {
 public:
  tOggStreamDecoder() = default;
  virtual ~tOggStreamDecoder() = default;
  tOggStreamDecoder(const tOggStreamDecoder&) = delete;
  tOggStreamDecoder& operator=(const tOggStreamDecoder&) = delete;

  // True when a stream of the source accepted the identification header and the decoder was set up; that
  // stream is then marked active. Closes first, so it also serves to reopen on the next chain link.
  bool Open(tOggIOBase& source);
  // Releases the stream and the library state. Closing a closed decoder does nothing harmful.
  void Close();
  bool IsOpen() const { return Source != nullptr; }

  tOggIOBase* Source = nullptr;       // null while closed
  int32_t StreamIndex = -1;           // -1 while closed
  std::vector<std::string> Comments;  // vendor string first (when not empty), then the comment lines
  std::string Vendor;                 // the comment header's vendor string ("" when it names none)

 protected:
  // The codec's library loaded at construction.
  virtual bool LibraryAvailable() const = 0;
  // Header packets the stream begins with, the identification header included.
  virtual int HeaderCount() const = 0;
  // Prepares the records for a new set of headers.
  virtual void BeginHeaders() = 0;
  // Parses one header packet: 0 when the identification header (the first) is accepted. The results for
  // later headers are not checked: a damaged one shows when the decoder is set up.
  virtual int HeaderIn(ogg_packet* packet) = 0;
  // After the headers: fills Comments and Vendor and sets the decoder up; false when it cannot be.
  virtual bool SetUp() = 0;
  // Frees the library records (only called while the library is available).
  virtual void ClearRecords() = 0;
  // The next packet of the open stream; false when none could be had.
  bool NextPacket(ogg_packet* packet);
};

// Sound leaves the decoders with its channels in the order of WAV files and of the sound device (front left,
// front right, centre, low frequency, back, side), not in the order both Ogg sound codecs code them in (front
// left, centre, front right, ..., low frequency last). For each output channel: the coded channel that goes
// there; null where the two orders agree (one, two and four channels) or for more than eight.
const uint8_t* WaveChannelOrder(int channels);

// A sound decoder: interleaved signed 16-bit PCM with the time of each block.
enum class tAudioCodecKind { Vorbis, Opus };
const char* AudioCodecName(tAudioCodecKind kind);  // "Vorbis", "Opus"

class tOggAudioCodec : public tOggStreamDecoder {
 public:
  // Fills `buffer` (room for count * Channels() values) with up to `count` sample frames; `count` comes back
  // as the number delivered. `time` is the time in seconds of the first frame delivered, or -1.0 while no
  // position is known. False when nothing could be had, or when the stream is damaged (frames already written
  // stay in the buffer and are counted).
  virtual bool Decode(int16_t* buffer, int32_t& count, double& time) = 0;
  // The format of the open stream (sample frames per second, channels).
  virtual int32_t Rate() const = 0;
  virtual int32_t Channels() const = 0;
  // Bits per second the identification header names; 0 when it names none.
  virtual int64_t NominalBitrate() const = 0;
  virtual tAudioCodecKind Kind() const = 0;
};

}  // namespace ktv
