// Any bytes as an Ogg stream through the Opus decoder, link after link: the positions of damaged pages
// (pre-skip, end trimming, streams joined anywhere) must never take the decoder out of its buffers.
#include <cstdint>
#include <vector>

#include "fuzz_source.h"
#include "ogg/opus_codec.h"

namespace {

constexpr int32_t kBlock = 1000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tFuzzSource src(data, size);
  ktv::tOggOpusCodec opus;
  std::vector<int16_t> pcm(static_cast<size_t>(kBlock) * ktv::kMaxOpusFamily1Channels);
  for (int link = 0; link < 4; ++link) {
    src.ReadStreamHeaders();
    if (opus.Open(src)) {
      for (int idle = 0; idle < 3;) {
        int32_t count = kBlock;
        double time = 0;
        opus.Decode(pcm.data(), count, time);
        if (count < 0 || count > kBlock) __builtin_trap();
        idle = count > 0 ? 0 : idle + 1;
      }
    }
    if (!src.PagePending) break;
    opus.Close();
    src.ResetStreams();
  }
  opus.Close();
  return 0;
}
