#include "stream/ogg_page_watch.h"

#include <algorithm>

namespace ktv {

namespace {

// The fixed part of a page header: "OggS", version, flags, position, serial, sequence, checksum, segments.
constexpr size_t kFixedHeader = 27;
constexpr uint8_t kEndOfStream = 0x04;

}  // namespace

void tOggPageWatch::Feed(const char* Bytes, size_t Count) {
  while (Count > 0) {
    if (BodyLeft > 0) {
      size_t skip = static_cast<size_t>(std::min<uint64_t>(BodyLeft, Count));
      BodyLeft -= skip;
      Bytes += skip;
      Count -= skip;
      continue;
    }
    Head += *Bytes++;
    --Count;
    // Out of step (damage, or a connection that began mid-page): look for the next capture pattern.
    static const char kCapture[] = "OggS";
    size_t matched = std::min<size_t>(Head.size(), 4);
    if (Head.compare(0, matched, kCapture, matched) != 0) {
      Head.erase(0, 1);
      while (!Head.empty() && Head.compare(0, std::min<size_t>(Head.size(), 4), kCapture,
                                           std::min<size_t>(Head.size(), 4)) != 0)
        Head.erase(0, 1);
      continue;
    }
    if (Head.size() >= kFixedHeader && Head.size() == kFixedHeader + static_cast<uint8_t>(Head[26]))
      PageHeaderComplete();
  }
}

void tOggPageWatch::PageHeaderComplete() {
  const auto* h = reinterpret_cast<const uint8_t*>(Head.data());
  uint32_t serial = static_cast<uint32_t>(h[14]) | static_cast<uint32_t>(h[15]) << 8 |
                    static_cast<uint32_t>(h[16]) << 16 | static_cast<uint32_t>(h[17]) << 24;
  for (size_t i = kFixedHeader; i < Head.size(); ++i) BodyLeft += h[i];
  auto at = std::find(Open.begin(), Open.end(), serial);
  if (h[5] & kEndOfStream) {
    if (at != Open.end()) Open.erase(at);
  } else if (at == Open.end() && Open.size() < kMaxStreams) {
    Open.push_back(serial);
  }
  SawPage = true;
  Head.clear();
}

bool tOggPageWatch::StreamsEnded() const {
  return SawPage && Head.empty() && BodyLeft == 0 && Open.empty();
}

}  // namespace ktv
