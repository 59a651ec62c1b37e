// Software YUV 4:2:0 to RGB conversion for the back-ends that draw on a bitmap. Table driven: no floating
// point per pixel. BuildYUVTables runs once at start-up, before any conversion; the tables are read-only
// afterwards.
#pragma once

#include <cstdint>

#include "ogg/codec_libraries.h"

namespace ktv {

void BuildYUVTables();

// Each chroma sample covers 2 x 2 luma samples. Pixels are written as B, G, R (the fourth byte is left alone)
// at dest + row * pitch + 4 * column.
void YUVToRGB32(uint8_t* dest, int32_t pitch, const yuv_buffer& yuv);
// The same picture as 16-bit words at dest + row * pitch + 2 * column: RGB565 when is565, else RGB555.
void YUVToRGB16(uint8_t* dest, int32_t pitch, const yuv_buffer& yuv, bool is565);

}  // namespace ktv
