#include "vis/png_writer.h"

#include <zlib.h>

#include <cstdio>
#include <vector>

namespace ktv {

namespace {

void PutBigEndian32(std::string& out, uint32_t v) {
  out += static_cast<char>(v >> 24);
  out += static_cast<char>(v >> 16);
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian32(out, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out += body;
  PutBigEndian32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                  static_cast<uInt>(body.size()))));
}

}  // namespace

std::string EncodePng(const uint32_t* pixels, int32_t width, int32_t height) {
  if (pixels == nullptr || width < 1 || height < 1) return {};
  // Each row: filter type 0 (none), then red, green, blue.
  size_t rowBytes = 1 + static_cast<size_t>(width) * 3;
  std::vector<Bytef> raw(rowBytes * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    Bytef* row = raw.data() + rowBytes * static_cast<size_t>(y);
    row[0] = 0;
    const uint32_t* line = pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
    for (int32_t x = 0; x < width; ++x) {
      row[1 + x * 3] = static_cast<Bytef>(line[x] >> 16);
      row[2 + x * 3] = static_cast<Bytef>(line[x] >> 8);
      row[3 + x * 3] = static_cast<Bytef>(line[x]);
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, raw.data(),
                static_cast<uLong>(raw.size()), Z_BEST_SPEED) != Z_OK)
    return {};
  packed.resize(packedSize);

  std::string header;
  PutBigEndian32(header, static_cast<uint32_t>(width));
  PutBigEndian32(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, adaptive filters, no interlace
  std::string png("\x89PNG\r\n\x1a\n", 8);
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", {});
  return png;
}

bool WritePng(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height) {
  std::string png = EncodePng(pixels, width, height);
  if (png.empty()) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace ktv
