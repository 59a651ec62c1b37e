// Any bytes through the header scan and packet fetching of every stream, fed in small uneven reads.
#include "fuzz_source.h"

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
