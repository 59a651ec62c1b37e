// Writes a picture of 0x00RRGGBB pixels (rows top first) as an 8-bit RGB PNG file, compressed with zlib.
#pragma once

#include <cstdint>
#include <string>

namespace ktv {

// The PNG file's bytes; empty when the size is not positive or the picture cannot be compressed.
std::string EncodePng(const uint32_t* pixels, int32_t width, int32_t height);
// False when the file cannot be written completely.
bool WritePng(const std::string& path, const uint32_t* pixels, int32_t width, int32_t height);

}  // namespace ktv
