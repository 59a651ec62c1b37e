// Decodes the Vorbis logical stream of a tOggIOBase into interleaved signed 16-bit PCM, with the time of each
// block it delivers. The codec finds its stream itself, by offering the first packet of every logical stream
// to the Vorbis header parser.
//
// The source is not owned: close the codec before the source goes.
//
// Thread contract: Open, Close and Decode run on the decoding thread. Comments and Info are changed only by
// Open and Close; the main thread may read them while the stream is open (the decoding thread does not
// reopen while the main thread reads: it hands over through synchronised calls).
#pragma once

#include <cstdint>

#include "ogg/codec_libraries.h"
#include "ogg/stream_decoder.h"

namespace ktv {

class tOggVorbisCodec final : public tOggAudioCodec {
 public:
  tOggVorbisCodec();
  ~tOggVorbisCodec() override;

  bool Decode(int16_t* buffer, int32_t& count, double& time) override;
  int32_t Rate() const override { return static_cast<int32_t>(Info.rate); }
  int32_t Channels() const override { return Info.channels; }
  int64_t NominalBitrate() const override { return Info.bitrate_nominal > 0 ? Info.bitrate_nominal : 0; }
  tAudioCodecKind Kind() const override { return tAudioCodecKind::Vorbis; }

  // Float sample to 16 bits: truncated, limited to -32767..32767 (NaN gives 0).
  static int16_t ToSample(float value);

  bool VorbisAvailable;
  vorbis_info Info{};
  vorbis_dsp_state DspState{};
  vorbis_block Block{};
  vorbis_comment Comment{};
  int64_t SamplePos = 0;  // absolute sample position just after the last frame delivered

 protected:
  bool LibraryAvailable() const override { return VorbisAvailable; }
  int HeaderCount() const override { return 3; }
  void BeginHeaders() override;
  int HeaderIn(ogg_packet* packet) override;
  bool SetUp() override;
  void ClearRecords() override;
};

}  // namespace ktv
