// Any bytes through the header scan and packet fetching of every stream, fed in small uneven reads.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ogg/ogg_io_base.h"

namespace {

class tFuzzSource : public ktv::tOggIOBase {
 public:
  tFuzzSource(const uint8_t* data, size_t size) : Data(data), Size(size) {}
  int32_t ReadData(uint8_t* buffer, int32_t size) override {
    size_t n = std::min<size_t>({static_cast<size_t>(size), Size - Pos, 1 + (Pos * 7) % 3000});
    std::memcpy(buffer, Data + Pos, n);
    Pos += n;
    return static_cast<int32_t>(n);
  }
  bool AtEnd() const { return Pos == Size; }

 private:
  const uint8_t* Data;
  size_t Size, Pos = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tFuzzSource src(data, size);
  for (int link = 0; link < 4; ++link) {
    src.ReadStreamHeaders();
    for (int32_t i = 0; i < src.StreamCount(); ++i) {
      src.ActivateStream(i);
      (void)src.StreamName(i);
    }
    ogg_packet packet;
    for (bool any = true; any || !src.AtEnd();) {
      any = false;
      for (int32_t i = 0; i < src.StreamCount(); ++i) {
        if (i % 2 == 1) {  // odd streams look at each packet before taking it
          while (src.GetPacket(i, &packet, true) && src.GetPacket(i, &packet, false)) any = true;
        } else {
          while (src.GetPacket(i, &packet, false)) any = true;
        }
      }
      if (src.PagePending || src.StreamCount() == 0) break;
    }
    if (!src.PagePending) break;
    src.ResetStreams();
  }
  return 0;
}
