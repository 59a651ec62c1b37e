// Decodes the Theora logical stream of a tOggIOBase into planar YUV frames, each with its presentation time
// and keyframe flag. Like the Vorbis codec it finds its stream by offering first packets to the header
// parser.
//
// Geometry of the legacy records (checked against generated clips with uneven margins): Info.width/height is
// the coded frame (a multiple of 16); Info.frame_width/frame_height is the picture; offset_x counts from the
// left edge and offset_y from the TOP edge of the coded frame (the bitstream counts from the bottom; the
// library converts). The yuv_buffer of DecodeFrame holds the whole coded frame, rows from the top.
// PictureRegion gives the picture, bounded by the coded frame.
//
// The source is not owned: close the codec before the source goes.
//
// Thread contract: Open, Close and DecodeFrame run on the decoding thread. Info, Comments, FrameRate,
// AspectRatio and PixelFormat may be read on the main thread while the stream is open.
#pragma once

#include <cstdint>

#include "ogg/codec_libraries.h"
#include "ogg/stream_decoder.h"

namespace ktv {

// The picture within the coded frame, in luma samples, rows counted from the top.
struct tPictureRegion {
  int32_t X = 0, Y = 0, Width = 0, Height = 0;
};
tPictureRegion PictureRegion(const theora_info& info);

// Whether pictures of a Theora pixel format are shown: 4:2:0, 4:2:2 and 4:4:4 (0, 2, 3); the reserved 1 is
// not.
constexpr bool DrawnPixelFormat(int32_t format) {
  return format == OC_PF_420 || format == OC_PF_422 || format == OC_PF_444;
}

class tOggTheoraCodec final : public tOggStreamDecoder {
 public:
  tOggTheoraCodec();
  ~tOggTheoraCodec() override;

  // Decodes the next packet. `yuv` points into the library's frame memory and stays valid until the next
  // DecodeFrame or Close. `time` is the presentation time in seconds (the stream's own, also when it was
  // joined in the middle, as a live server's listener joins it); `keyframe` (may be null) tells whether
  // the packet was a keyframe. False when no packet could be had or the decoder rejected it (keyframe and
  // time are then left alone).
  bool DecodeFrame(yuv_buffer& yuv, bool* keyframe, double& time);

  double FrameRate() const;     // frames per second; 15 when the denominator is 0
  int32_t PixelFormat() const;  // 0 is 4:2:0 (OC_PF_420), 2 is 4:2:2, 3 is 4:4:4
  double AspectRatio() const;   // of a pixel; 1.0 when unknown

  // Coded frames beyond this many samples are refused at Open: a damaged or hostile header must not make the
  // decoder allocate gigabytes (8K UHD fits).
  static constexpr int64_t kMaxCodedSamples = 7680LL * 4320;

  bool TheoraAvailable;
  theora_info Info{};
  theora_state Decoder{};
  theora_comment Comment{};

 protected:
  bool LibraryAvailable() const override { return TheoraAvailable; }
  int HeaderCount() const override { return 3; }
  void BeginHeaders() override;
  int HeaderIn(ogg_packet* packet) override;
  bool SetUp() override;
  void ClearRecords() override;

 private:
  // The decoder counts frames from its start; the stream's own positions (where a packet carries one) are
  // ahead by this many seconds when the stream was joined in the middle.
  double TimeOffset = 0;
  bool OffsetKnown = false;  // a packet with a position has been decoded since Open
};

}  // namespace ktv
