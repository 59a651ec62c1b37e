#include "platform/pull_clock.h"

#include <algorithm>

namespace ktv {

void tPullClock::Configure(bool realTime, uint32_t bytesPerSecond, uint32_t blockAlign) {
  RealTime = realTime && bytesPerSecond > 0;
  BytesPerSecond = bytesPerSecond;
  BlockAlign = std::max<uint32_t>(blockAlign, 1);
  PullBytes = 0;
}

void tPullClock::Pulled(uint32_t bytes) {
  if (!RealTime) return;
  PullBytes = bytes;
  PullTime = std::chrono::steady_clock::now();
}

uint32_t tPullClock::Unheard() const {
  if (!RealTime || PullBytes == 0) return 0;
  auto elapsed =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - PullTime);
  uint64_t heard = static_cast<uint64_t>(std::max<int64_t>(elapsed.count(), 0)) * BytesPerSecond / 1000000;
  heard -= heard % BlockAlign;
  return heard >= PullBytes ? 0 : PullBytes - static_cast<uint32_t>(heard);
}

}  // namespace ktv
