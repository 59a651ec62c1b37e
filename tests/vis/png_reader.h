// Reads back the PNG files the program writes (8-bit RGB, filter 0), checking every chunk's checksum: for
// the PNG writer's test and the vis command's.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ktv::test {

inline uint32_t BigEndian32(const std::string& s, size_t at) {
  return (uint32_t{static_cast<uint8_t>(s[at])} << 24) | (static_cast<uint8_t>(s[at + 1]) << 16) |
         (static_cast<uint8_t>(s[at + 2]) << 8) | static_cast<uint8_t>(s[at + 3]);
}

struct tDecoded {
  bool Ok = false;
  uint32_t Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;  // 0x00RRGGBB
};

// Reads back what EncodePng writes (8-bit RGB, filter 0), checking every chunk's CRC on the way.
inline tDecoded DecodePng(const std::string& png) {
  tDecoded out;
  if (png.size() < 8 || png.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)) != 0) return out;
  std::string idat;
  bool ended = false;
  for (size_t at = 8; at + 12 <= png.size() && !ended;) {
    uint32_t length = BigEndian32(png, at);
    if (at + 12 + length > png.size()) return out;
    std::string type = png.substr(at + 4, 4), body = png.substr(at + 8, length);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), length + 4);
    if (crc != BigEndian32(png, at + 8 + length)) return out;
    if (type == "IHDR") {
      out.Width = BigEndian32(body, 0), out.Height = BigEndian32(body, 4);
      if (body.substr(8, 5) != std::string("\x08\x02\x00\x00\x00", 5)) return out;
    } else if (type == "IDAT") {
      idat += body;
    } else if (type == "IEND") {
      ended = true;
    }
    at += 12 + length;
  }
  size_t rowBytes = 1 + 3 * size_t{out.Width};
  std::vector<Bytef> raw(rowBytes * out.Height);
  uLongf rawSize = raw.size();
  if (!ended ||
      uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
      rawSize != raw.size())
    return out;
  for (uint32_t y = 0; y < out.Height; ++y) {
    if (raw[y * rowBytes] != 0) return out;
    for (uint32_t x = 0; x < out.Width; ++x) {
      const Bytef* p = &raw[y * rowBytes + 1 + 3 * x];
      out.Pixels.push_back((uint32_t{p[0]} << 16) | (p[1] << 8) | p[2]);
    }
  }
  out.Ok = true;
  return out;
}

}  // namespace ktv::test
