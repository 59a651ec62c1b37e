#include "ogg/theora_codec.h"

#include <algorithm>

#include "ogg/decoder_support.h"

namespace ktv {

tPictureRegion PictureRegion(const theora_info& info) {
  tPictureRegion r;
  r.Width = static_cast<int32_t>(std::min(info.frame_width, info.width));
  r.Height = static_cast<int32_t>(std::min(info.frame_height, info.height));
  r.X = static_cast<int32_t>(std::min<uint32_t>(info.offset_x, info.width - static_cast<uint32_t>(r.Width)));
  // The legacy record counts offset_y from the top edge (the bitstream counts from the bottom; the library
  // converts).
  r.Y =
      static_cast<int32_t>(std::min<uint32_t>(info.offset_y, info.height - static_cast<uint32_t>(r.Height)));
  return r;
}

tOggTheoraCodec::tOggTheoraCodec() : TheoraAvailable(LoadTheoraLibrary()) {
  if (TheoraAvailable) {
    TheoraApi.theora_info_init(&Info);
    TheoraApi.theora_clear(&Decoder);
    TheoraApi.theora_comment_init(&Comment);
  }
}

tOggTheoraCodec::~tOggTheoraCodec() {
  Close();
  if (TheoraAvailable) UnloadTheoraLibrary();
}

void tOggTheoraCodec::BeginHeaders() {
  TheoraApi.theora_info_init(&Info);
  TheoraApi.theora_comment_init(&Comment);
}

int tOggTheoraCodec::HeaderIn(ogg_packet* packet) {
  return TheoraApi.theora_decode_header(&Info, &Comment, packet);
}

bool tOggTheoraCodec::SetUp() {
  Comments = CommentLines(Comment.vendor, Comment.user_comments, Comment.comment_lengths, Comment.comments);
  if (Comment.vendor) Vendor = Comment.vendor;
  bool sizeOk = static_cast<int64_t>(Info.width) * Info.height <= kMaxCodedSamples;
  return sizeOk && TheoraApi.theora_decode_init(&Decoder, &Info) == 0;
}

void tOggTheoraCodec::ClearRecords() {
  TimeOffset = 0;
  OffsetKnown = false;
  TheoraApi.theora_clear(&Decoder);
  TheoraApi.theora_info_clear(&Info);
  TheoraApi.theora_comment_clear(&Comment);
}

bool tOggTheoraCodec::DecodeFrame(yuv_buffer& yuv, bool* keyframe, double& time) {
  ogg_packet packet;
  if (!NextPacket(&packet)) return false;
  if (TheoraApi.theora_decode_packetin(&Decoder, &packet) != 0) return false;
  time = TheoraApi.theora_granule_time(&Decoder, Decoder.granulepos);
  if (packet.granulepos >= 0) {
    TimeOffset = TheoraApi.theora_granule_time(&Decoder, packet.granulepos) - time;
    OffsetKnown = true;
  } else if (!OffsetKnown) {
    // Before the first packet with a position, the next one still buffered tells this frame's time: one
    // frame per packet.
    int64_t granule;
    int32_t before;
    if (Source->PeekNextGranule(StreamIndex, granule, before))
      TimeOffset = TheoraApi.theora_granule_time(&Decoder, granule) - (before + 1) / FrameRate() - time;
  }
  time += TimeOffset;
  if (keyframe) *keyframe = TheoraApi.theora_packet_iskeyframe(&packet) == 1;
  return TheoraApi.theora_decode_YUVout(&Decoder, &yuv) == 0;
}

double tOggTheoraCodec::FrameRate() const {
  uint32_t num = Info.fps_numerator, den = Info.fps_denominator;
  return den != 0 ? static_cast<double>(num) / den : 15.0;
}

int32_t tOggTheoraCodec::PixelFormat() const {
  return static_cast<int32_t>(Info.pixelformat);
}

double tOggTheoraCodec::AspectRatio() const {
  return Info.aspect_denominator != 0 ? static_cast<double>(Info.aspect_numerator) / Info.aspect_denominator
                                      : 1.0;
}

}  // namespace ktv
