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
#include <string>
#include <vector>

#include "ogg/codec_libraries.h"
#include "ogg/ogg_io_base.h"

namespace ktv {

class tOggVorbisCodec {
 public:
  tOggVorbisCodec();
  ~tOggVorbisCodec();
  tOggVorbisCodec(const tOggVorbisCodec&) = delete;
  tOggVorbisCodec& operator=(const tOggVorbisCodec&) = delete;

  // True when a stream of the source accepted the Vorbis identification header and the decoder was set up;
  // that stream is then marked active. Closes first, so it also serves to reopen on the next chain link.
  bool Open(tOggIOBase& source);
  void Close();

  // Fills `buffer` (room for count * Info.channels values) with up to `count` sample frames; `count` comes
  // back as the number delivered. `time` is the time in seconds of the first frame delivered, or -1.0 while
  // no granule position is known. False when nothing could be had, or when the stream is damaged (frames
  // already written stay in the buffer and are counted).
  bool Decode(int16_t* buffer, int32_t& count, double& time);

  // Float sample to 16 bits: truncated, limited to -32767..32767 (NaN gives 0).
  static int16_t ToSample(float value);

  uint8_t State = 0;  // 0 closed, 2 open
  tOggIOBase* Source = nullptr;
  int32_t StreamIndex = -1;
  bool VorbisAvailable;
  std::vector<std::string> Comments;  // vendor string first (when not empty), then the comment lines
  vorbis_info Info{};
  vorbis_dsp_state DspState{};
  vorbis_block Block{};
  vorbis_comment Comment{};
  int64_t SamplePos = 0;  // absolute sample position just after the last frame delivered
};

}  // namespace ktv
