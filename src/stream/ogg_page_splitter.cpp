#include "stream/ogg_page_splitter.h"

#include <array>

namespace ktv {

namespace {

constexpr size_t kFixedHeader = 27;
constexpr uint8_t kBeginsStream = 0x02;
constexpr uint8_t kEndsStream = 0x04;
constexpr std::string_view kCapture{"OggS", 4};

constexpr std::array<uint32_t, 256> MakeChecksumTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = i << 24;
    for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
    table[i] = r;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kChecksumTable = MakeChecksumTable();

uint32_t ReadLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t OggChecksum(const uint8_t* bytes, size_t count, uint32_t crc) {
  for (size_t i = 0; i < count; ++i) crc = (crc << 8) ^ kChecksumTable[((crc >> 24) ^ bytes[i]) & 0xFF];
  return crc;
}

tOggPageInfo ReadOggPageInfo(std::string_view page) {
  tOggPageInfo info;
  if (page.size() < kFixedHeader) return info;
  const auto* h = reinterpret_cast<const uint8_t*>(page.data());
  info.BeginsStream = h[5] & kBeginsStream;
  info.EndsStream = h[5] & kEndsStream;
  info.Granule = static_cast<int64_t>(static_cast<uint64_t>(ReadLE32(h + 6)) |
                                      static_cast<uint64_t>(ReadLE32(h + 10)) << 32);
  info.Serial = ReadLE32(h + 14);
  return info;
}

void tOggPageSplitter::Feed(const char* bytes, size_t count,
                            const std::function<void(std::string_view page)>& page) {
  while (count > 0) {
    // Taken in pieces so that Held stays within one page however much arrives at once.
    size_t piece = std::min(count, kMaxPage);
    Held.append(bytes, piece);
    bytes += piece;
    count -= piece;
    while (TakePage(page)) {
    }
  }
}

bool tOggPageSplitter::TakePage(const std::function<void(std::string_view page)>& page) {
  size_t at = Held.find(kCapture);
  if (at == std::string::npos) {
    // Keep a tail that may be the start of a capture pattern.
    Held.erase(0, Held.size() > 3 ? Held.size() - 3 : 0);
    return false;
  }
  Held.erase(0, at);
  if (Held.size() < kFixedHeader) return false;
  const auto* h = reinterpret_cast<const uint8_t*>(Held.data());
  const size_t segments = h[26];
  if (Held.size() < kFixedHeader + segments) return false;
  size_t body = 0;
  for (size_t i = 0; i < segments; ++i) body += h[kFixedHeader + i];
  const size_t size = kFixedHeader + segments + body;
  if (Held.size() < size) return false;
  // The checksum is computed with its own field as zero.
  static constexpr uint8_t kZero[4] = {0, 0, 0, 0};
  uint32_t crc = OggChecksum(h, 22);
  crc = OggChecksum(kZero, 4, crc);
  crc = OggChecksum(h + 26, size - 26, crc);
  if (h[4] != 0 || crc != ReadLE32(h + 22)) {
    // Not a page: look for the next capture pattern after this one.
    Held.erase(0, 1);
    return true;
  }
  page(std::string_view(Held.data(), size));
  Held.erase(0, size);
  return true;
}

}  // namespace ktv
