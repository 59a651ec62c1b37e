// Cuts a byte stream into whole Ogg pages, each checked against its checksum. Bytes that are not part of a
// sound page (damage, a connection that began mid-page) are skipped up to the next capture pattern, so only
// pages a reader can take ever come out.
//
// Thread contract: one thread at a time (the receiver's recording tap, under its lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ktv {

// The Ogg checksum (CRC-32, polynomial 0x04C11DB7, no reflection, initial 0) of the bytes.
uint32_t OggChecksum(const uint8_t* bytes, size_t count, uint32_t crc = 0);

// What the splitter reads from a page header.
struct tOggPageInfo {
  uint32_t Serial = 0;
  int64_t Granule = -1;
  bool BeginsStream = false;  // the first page of a logical stream
  bool EndsStream = false;
};

// Reads the header fields of a whole page (as the splitter hands it out).
tOggPageInfo ReadOggPageInfo(std::string_view page);

class tOggPageSplitter {
 public:
  // The largest page Ogg allows: a 27-byte header, 255 lacing values and 255 segments of 255 bytes.
  static constexpr size_t kMaxPage = 27 + 255 + 255 * 255;

  // Hands every whole page completed by these bytes to `page`, in order. What is held between calls stays
  // below two pages, however many bytes come at once.
  void Feed(const char* bytes, size_t count, const std::function<void(std::string_view page)>& page);
  // A new connection: its bytes start afresh; a page left half done is dropped.
  void Restart() { Held.clear(); }
  size_t HeldBytes() const { return Held.size(); }

 private:
  // Takes pages from the front of Held; false when it needs more bytes.
  bool TakePage(const std::function<void(std::string_view page)>& page);
  std::string Held;
};

}  // namespace ktv
