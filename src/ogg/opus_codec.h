// Decodes the Opus logical stream of a tOggIOBase into interleaved signed 16-bit PCM at 48 kHz, with the
// time of each block it delivers. Like the Vorbis codec it finds its stream itself, by its "OpusHead"
// identification packet; both mapping families we play (0: mono/stereo, 1: up to 7.1 in the Vorbis channel
// order) go through libopus's multistream decoder.
//
// Positions: a granule position counts 48 kHz samples from the start of the link, the pre-skip included.
// The first samples of a link, up to the pre-skip, are decoded but never delivered, and the end of the last
// page cuts the sound where its position says. To know where the first packet starts, the sound of the
// first page is decoded ahead and held until a packet with a position comes (the end of that page).
//
// Thread contract: as the Vorbis codec's (Open, Close and Decode on the decoding thread; Comments and Info
// read by the main thread while the stream is open).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ogg/codec_libraries.h"
#include "ogg/opus_header.h"
#include "ogg/stream_decoder.h"

namespace ktv {

class tOggOpusCodec final : public tOggAudioCodec {
 public:
  tOggOpusCodec();
  ~tOggOpusCodec() override;

  bool Decode(int16_t* buffer, int32_t& count, double& time) override;
  int32_t Rate() const override { return kOpusRate; }
  int32_t Channels() const override { return Info.Channels; }
  int64_t NominalBitrate() const override { return 0; }  // the header names none
  tAudioCodecKind Kind() const override { return tAudioCodecKind::Opus; }

  // The longest packet: 120 ms at 48 kHz.
  static constexpr int32_t kMaxPacketFrames = 5760;
  // Sound held back at the start of a link while no position is known; past this much the link is taken
  // to start at position 0.
  static constexpr int32_t kMaxHeldFrames = 5 * kOpusRate;

  bool OpusAvailable;
  tOpusHeader Info;

 protected:
  bool LibraryAvailable() const override { return OpusAvailable; }
  int HeaderCount() const override { return 2; }
  void BeginHeaders() override;
  int HeaderIn(ogg_packet* packet) override;
  bool SetUp() override;
  void ClearRecords() override;

 private:
  enum class tPacketResult { Decoded, NoPacket, Damaged };
  tPacketResult DecodePacket();
  // Places the decoded sound of the packet just decoded (`frames` of it at the end of Pcm) in the link.
  void PlacePacket(const ogg_packet& packet, int64_t frames);
  int64_t FramesReady() const;

  OpusMSDecoder* Decoder = nullptr;
  bool HeadRead = false;  // the identification header of this Open was accepted
  std::vector<std::string> Tags;
  std::string TagsVendor;
  std::vector<int16_t> Scratch;  // one packet's sound
  // Decoded sound not yet delivered (interleaved); the frames before PcmAt are delivered or skipped.
  std::vector<int16_t> Pcm;
  size_t PcmAt = 0;
  int64_t PcmPos = 0;       // position of the frame at PcmAt (valid once Positioned)
  bool Positioned = false;  // the link's positions are known
};

}  // namespace ktv
