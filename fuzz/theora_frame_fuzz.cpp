// Any bytes as an Ogg stream through the Theora decoder, link after link, and every decoded frame through the
// picture converters in whatever chroma layout the stream declares (4:2:0, 4:2:2, 4:4:4): each vector path
// must give the bytes the tables give, and no path may write beyond the frame.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_source.h"
#include "ogg/codec_libraries.h"
#include "ogg/theora_codec.h"
#include "ogg/yuv_convert.h"

namespace {

// Guard bytes after the picture: a conversion that overruns changes them.
constexpr size_t kGuard = 64;

// Converts `yuv` in every format with `path` into `out` (resized, filled with a pattern first).
void ConvertAll(const yuv_buffer& yuv, ktv::tYUVPath path, std::vector<uint8_t>& out) {
  ktv::SetYUVPath(path);
  const size_t pixels = static_cast<size_t>(yuv.y_width) * static_cast<size_t>(yuv.y_height);
  out.assign(pixels * (4 + 2 + 2 + 2 + 2) + 5 * kGuard, 0xA5);
  uint8_t* at = out.data();
  ktv::YUVToRGB32(at, 4 * yuv.y_width, yuv);
  at += pixels * 4 + kGuard;
  ktv::YUVToRGB16(at, 2 * yuv.y_width, yuv, true);
  at += pixels * 2 + kGuard;
  ktv::YUVToRGB16(at, 2 * yuv.y_width, yuv, false);
  at += pixels * 2 + kGuard;
  ktv::YUVToPacked(at, 2 * yuv.y_width, yuv, false);
  at += pixels * 2 + kGuard;
  ktv::YUVToPacked(at, 2 * yuv.y_width, yuv, true);
}

void CheckFrame(const yuv_buffer& yuv) {
  // The decoder's frames are whole macroblocks in a Theora layout.
  if (ktv::ChromaLayoutOf(yuv) == ktv::tChromaLayout::Other || yuv.y_width % 16 || yuv.y_height % 16)
    __builtin_trap();
  static std::vector<uint8_t> expected, got;
  ConvertAll(yuv, ktv::tYUVPath::Plain, expected);
  const size_t pixels = static_cast<size_t>(yuv.y_width) * static_cast<size_t>(yuv.y_height);
  for (ktv::tYUVPath path : ktv::kYUVPaths) {
    if (path == ktv::tYUVPath::Plain || !ktv::YUVPathSupported(path)) continue;
    ConvertAll(yuv, path, got);
    if (got != expected) __builtin_trap();
  }
  // The guard after each picture is untouched.
  size_t offset = 0;
  for (size_t block : {pixels * 4, pixels * 2, pixels * 2, pixels * 2, pixels * 2}) {
    offset += block;
    for (size_t i = 0; i < kGuard; ++i)
      if (expected[offset + i] != 0xA5) __builtin_trap();
    offset += kGuard;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The library stays loaded for the whole run: loading and unloading it per input would leave what it
  // allocates while it loads unreachable, which the leak checker reports.
  static const bool ready = (ktv::BuildYUVTables(), ktv::LoadTheoraLibrary());
  (void)ready;
  tFuzzSource src(data, size);
  ktv::tOggTheoraCodec theora;
  for (int link = 0; link < 4; ++link) {
    src.ReadStreamHeaders();
    if (theora.Open(src)) {
      yuv_buffer yuv{};
      double time = 0;
      // A frame per packet; a handful is enough to reach every layout's converters.
      for (int frames = 0; frames < 8 && theora.DecodeFrame(yuv, nullptr, time); ++frames) CheckFrame(yuv);
    }
    if (!src.PagePending) break;
    theora.Close();
    src.ResetStreams();
  }
  theora.Close();
  return 0;
}
