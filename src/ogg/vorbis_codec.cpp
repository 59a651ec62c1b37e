#include "ogg/vorbis_codec.h"

#include <algorithm>
#include <cmath>

#include "ogg/decoder_support.h"

namespace ktv {

tOggVorbisCodec::tOggVorbisCodec() : VorbisAvailable(LoadVorbisLibrary()) {
  if (VorbisAvailable) {
    VorbisApi.vorbis_info_init(&Info);
    VorbisApi.vorbis_block_init(&DspState, &Block);
    VorbisApi.vorbis_comment_init(&Comment);
  }
}

tOggVorbisCodec::~tOggVorbisCodec() {
  Close();
  if (VorbisAvailable) UnloadVorbisLibrary();
}

void tOggVorbisCodec::BeginHeaders() {
  VorbisApi.vorbis_info_init(&Info);
  VorbisApi.vorbis_comment_init(&Comment);
}

int tOggVorbisCodec::HeaderIn(ogg_packet* packet) {
  return VorbisApi.vorbis_synthesis_headerin(&Info, &Comment, packet);
}

bool tOggVorbisCodec::SetUp() {
  Comments = CommentLines(Comment.vendor, Comment.user_comments, Comment.comment_lengths, Comment.comments);
  if (Comment.vendor) Vendor = Comment.vendor;
  return VorbisApi.vorbis_synthesis_init(&DspState, &Info) == 0 &&
         VorbisApi.vorbis_block_init(&DspState, &Block) == 0;
}

void tOggVorbisCodec::ClearRecords() {
  VorbisApi.vorbis_comment_clear(&Comment);
  VorbisApi.vorbis_block_clear(&Block);
  VorbisApi.vorbis_dsp_clear(&DspState);
  VorbisApi.vorbis_info_clear(&Info);
}

int16_t tOggVorbisCodec::ToSample(float value) {
  // In double: a float product is rounded before the truncation and misses Trunc(pcm x 32767) by one step
  // for some samples.
  double scaled = static_cast<double>(value) * 32767.0;
  if (scaled >= 32767.0) return 32767;
  if (scaled <= -32767.0) return -32767;
  if (std::isnan(scaled)) return 0;
  return static_cast<int16_t>(scaled);  // truncation toward zero
}

bool tOggVorbisCodec::Decode(int16_t* buffer, int32_t& count, double& time) {
  int32_t wanted = count;
  int32_t delivered = 0;
  count = 0;
  // A closed codec has no synthesis state to ask.
  if (!IsOpen() || !buffer) return false;
  const int channels = Info.channels;
  while (wanted > 0) {
    float** pcm = nullptr;
    int avail = VorbisApi.vorbis_synthesis_pcmout(&DspState, &pcm);
    if (avail < 1) {
      ogg_packet packet;
      if (!NextPacket(&packet)) {
        if (delivered == 0) return false;
        break;
      }
      if (VorbisApi.vorbis_synthesis(&Block, &packet) != 0 ||
          VorbisApi.vorbis_synthesis_blockin(&DspState, &Block) != 0)
        return false;
      continue;
    }
    int32_t n = std::min<int32_t>(avail, wanted);
    int16_t* out = buffer + static_cast<int64_t>(delivered) * channels;
    if (const uint8_t* order = WaveChannelOrder(channels)) {
      for (int32_t f = 0; f < n; ++f)
        for (int c = 0; c < channels; ++c) *out++ = ToSample(pcm[order[c]][f]);
    } else {
      for (int32_t f = 0; f < n; ++f)
        for (int c = 0; c < channels; ++c) *out++ = ToSample(pcm[c][f]);
    }
    delivered += n;
    count = delivered;
    wanted -= n;
    if (VorbisApi.vorbis_synthesis_read(&DspState, n) != 0) return false;
    if (DspState.granulepos >= 0)
      SamplePos = DspState.granulepos - avail + n;
    else
      SamplePos += n;
  }
  count = delivered;
  time = DspState.granulepos < 0 ? -1.0 : VorbisApi.vorbis_granule_time(&DspState, SamplePos - delivered);
  return true;
}

}  // namespace ktv
