// An Ogg source over bytes in memory, for tests: reads in chunks of a chosen size pattern and counts its
// reads.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "media_files.h"
#include "ogg/ogg_io_base.h"

namespace ktv::test {

class tMemorySource : public tOggIOBase {
 public:
  explicit tMemorySource(std::string bytes, std::vector<int32_t> chunks = {})
      : Bytes(std::move(bytes)), Chunks(std::move(chunks)) {}
  int32_t ReadData(uint8_t* buffer, int32_t size) override {
    ++ReadCalls;
    int32_t n = std::min<int32_t>(size, static_cast<int32_t>(Bytes.size() - Pos));
    if (!Chunks.empty()) n = std::min(n, Chunks[static_cast<size_t>(ReadCalls) % Chunks.size()]);
    std::memcpy(buffer, Bytes.data() + Pos, static_cast<size_t>(n));
    Pos += static_cast<size_t>(n);
    return n;
  }
  bool AtEnd() const { return Pos == Bytes.size(); }
  int ReadCalls = 0;

 private:
  std::string Bytes;
  std::vector<int32_t> Chunks;  // cycle of maximum read sizes; empty = whatever is asked
  size_t Pos = 0;
};

// An Ogg page of one stream holding `body` as 255-byte segments, with a shorter last segment when `ends`
// (a packet ends on this page; then the granule position counts). flags: 1 continues a packet, 2 first page.
inline std::string OggPage(uint32_t serial, uint32_t sequence, int64_t granule, int flags,
                           const std::string& body, bool ends) {
  std::string lacing(body.size() / 255, '\xff');
  if (ends) lacing += static_cast<char>(body.size() % 255);
  auto put = [](std::string& out, uint64_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) out += static_cast<char>(value >> (8 * k));
  };
  std::string page = "OggS";
  page += '\0';
  page += static_cast<char>(flags);
  put(page, static_cast<uint64_t>(ends ? granule : -1), 8);
  put(page, serial, 4);
  put(page, sequence, 4);
  put(page, 0, 4);  // the checksum, filled in below
  page += static_cast<char>(lacing.size());
  page += lacing + body;
  uint32_t crc = OggCrc(page);
  for (int k = 0; k < 4; ++k) page[22 + static_cast<size_t>(k)] = static_cast<char>(crc >> (8 * k));
  return page;
}

// A packet as pages of at most 12750 bytes (50 full segments) each.
inline std::vector<std::string> OggPacketPages(uint32_t serial, uint32_t& sequence, const std::string& packet,
                                               int64_t granule, bool first) {
  constexpr size_t kPiece = 50 * 255;
  std::vector<std::string> pages;
  for (size_t at = 0; at == 0 || at < packet.size(); at += kPiece) {
    const bool ends = packet.size() - at <= kPiece;
    const int flags = (at > 0 ? 1 : 0) | (first && at == 0 ? 2 : 0);
    pages.push_back(OggPage(serial, sequence++, granule, flags, packet.substr(at, kPiece), ends));
  }
  return pages;
}

}  // namespace ktv::test
