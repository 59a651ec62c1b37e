#include "ogg/opus_header.h"

#include <cstring>

namespace ktv {

namespace {

constexpr size_t kMagicBytes = 8;
// Family 0's header ends after the mapping family; family 1 adds stream count, coupled count and mapping.
constexpr size_t kOpusHeadBytes = 19;
constexpr size_t kFamily1LayoutAt = 19;
// The upper four bits of the version are the major version; only major version 0 is known.
constexpr uint8_t kMaxVersion = 15;

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

bool HasMagic(const uint8_t* data, size_t size, const char* magic) {
  return data && size >= kMagicBytes && std::memcmp(data, magic, kMagicBytes) == 0;
}

bool ReadLayout(const uint8_t* data, size_t size, tOpusHeader& h) {
  if (h.MappingFamily == 0) {
    if (h.Channels > kMaxOpusFamily0Channels) return false;
    h.StreamCount = 1;
    h.CoupledCount = static_cast<uint8_t>(h.Channels - 1);
    for (uint8_t c = 0; c < h.Channels; ++c) h.Mapping[c] = c;
    return true;
  }
  if (h.MappingFamily != 1 || h.Channels > kMaxOpusFamily1Channels) return false;
  if (size < kFamily1LayoutAt + 2 + h.Channels) return false;
  h.StreamCount = data[kFamily1LayoutAt];
  h.CoupledCount = data[kFamily1LayoutAt + 1];
  // Each coupled stream decodes to two channels, each other stream to one.
  const int decoded = h.StreamCount + h.CoupledCount;
  if (h.StreamCount == 0 || h.CoupledCount > h.StreamCount || decoded > 255) return false;
  for (uint8_t c = 0; c < h.Channels; ++c) {
    h.Mapping[c] = data[kFamily1LayoutAt + 2 + c];
    if (h.Mapping[c] != 255 && h.Mapping[c] >= decoded) return false;
  }
  return true;
}

}  // namespace

bool ReadOpusHead(const uint8_t* data, size_t size, tOpusHeader& header) {
  header = tOpusHeader();
  if (!HasMagic(data, size, "OpusHead") || size < kOpusHeadBytes) return false;
  tOpusHeader h;
  h.Version = data[8];
  h.Channels = data[9];
  h.PreSkip = Le16(data + 10);
  h.InputRate = Le32(data + 12);
  h.OutputGain = static_cast<int16_t>(Le16(data + 16));
  h.MappingFamily = data[18];
  if (h.Version > kMaxVersion || h.Channels == 0 || !ReadLayout(data, size, h)) return false;
  header = h;
  return true;
}

bool ReadOpusTags(const uint8_t* data, size_t size, std::vector<std::string>& lines, std::string& vendor) {
  if (!HasMagic(data, size, "OpusTags")) return false;
  lines.clear();
  vendor.clear();
  size_t at = kMagicBytes;
  // One length-prefixed string; false when the packet ends before it does.
  auto text = [&](std::string& out) {
    if (size - at < 4) return false;
    uint32_t length = Le32(data + at);
    at += 4;
    if (length > size - at) return false;
    out.assign(reinterpret_cast<const char*>(data + at), length);
    at += length;
    return true;
  };
  if (!text(vendor)) return true;
  if (!vendor.empty()) lines.push_back(vendor);
  if (size - at < 4) return true;
  uint32_t count = Le32(data + at);
  at += 4;
  std::string line;
  for (uint32_t i = 0; i < count && text(line); ++i) lines.push_back(line);
  return true;
}

}  // namespace ktv
