// Software YUV to RGB conversion for the back-ends that draw on a bitmap, and the packed 4:2:2 forms the
// accelerated back-end uploads, for the three chroma layouts of Theora (4:2:0, 4:2:2, 4:4:4). Table driven:
// no floating point per pixel. BuildYUVTables runs once at start-up, before any conversion; the tables are
// read-only afterwards.
//
// The conversions run vector kernels where the processor has them (SSE2 on every x86-64, AVX2 where present)
// and give the same bytes as the tables for every input. Any thread may convert; each call writes only its
// destination.
#pragma once

#include <cstdint>

#include "ogg/codec_libraries.h"

namespace ktv {

void BuildYUVTables();

// How the chroma planes of a buffer are subsampled, read from its own sizes: chroma as wide as luma is not
// subsampled across (else each sample covers 2 columns), chroma as tall as luma is not subsampled down
// (else 2 rows). Full width over half height is no Theora layout: Other, which the converters leave alone.
enum class tChromaLayout : int32_t { YUV420 = 0, YUV422 = 1, YUV444 = 2, Other = 3 };
tChromaLayout ChromaLayoutOf(const yuv_buffer& yuv);
// Luma columns and rows one chroma sample covers; 0 for Other.
int32_t ChromaColumns(tChromaLayout layout);
int32_t ChromaRows(tChromaLayout layout);

// The chroma planes drive the walk: the picture written is ChromaColumns x uv_width pixels wide and
// ChromaRows x uv_height rows tall (y_width and y_height only choose the layout). Pixels are written as
// B, G, R (the fourth byte is left alone) at dest + row * pitch + 4 * column.
void YUVToRGB32(uint8_t* dest, int32_t pitch, const yuv_buffer& yuv);
// The same picture as 16-bit words at dest + row * pitch + 2 * column: RGB565 when is565, else RGB555.
void YUVToRGB16(uint8_t* dest, int32_t pitch, const yuv_buffer& yuv, bool is565);
// Packed 4:2:2 without colour conversion: per pixel pair Y0 U Y1 V (YUY2), or U Y0 V Y1 when uyvy. In 4:2:0
// rows 2j and 2j + 1 both get chroma row j; in 4:2:2 each row has its own. 4:4:4 has two chroma samples per
// pair: the pair takes those of its even pixel (the nearest 2 x 1 sample, no averaging), and a last odd
// column stays unwritten. Needs no tables.
void YUVToPacked(uint8_t* dest, int32_t pitch, const yuv_buffer& yuv, bool uyvy);

// How the conversions run. Plain is the tables alone, for processors without our vector kernels.
enum class tYUVPath : int32_t { Plain = 0, SSE2 = 1, AVX2 = 2 };
constexpr tYUVPath kYUVPaths[] = {tYUVPath::Plain, tYUVPath::SSE2, tYUVPath::AVX2};

const char* YUVPathName(tYUVPath path);
// Whether this build and processor can run the path.
bool YUVPathSupported(tYUVPath path);
// The fastest supported path until SetYUVPath chooses another.
tYUVPath CurrentYUVPath();
// For tests and benchmarks: makes every later conversion take `path`. False, and nothing changes, when the
// path is not supported here.
bool SetYUVPath(tYUVPath path);

}  // namespace ktv
