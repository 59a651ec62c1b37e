// Shared by the converters and their vector kernels only (not part of the ogg interface): the row kernels'
// signature, the fixed-point form of the lookup tables, and the processor check of each build.
#pragma once

#include <cstdint>

// Only the standard integer types: the AVX2 file includes this header, and must not get its own copies of
// any shared inline function.
namespace ktv {
enum class tYUVPath : int32_t;  // ogg/yuv_convert.h
}

namespace ktv::yuv {

// Two luma rows, their chroma row and the two output rows of one pass of the block walk. The kernels for
// chroma that is not subsampled down (4:2:2, 4:4:4) take one luma row at a time: Y1 and Out1 are unused.
struct tRowPair {
  const uint8_t* Y0;
  const uint8_t* Y1;
  const uint8_t* U;
  const uint8_t* V;
  uint8_t* Out0;
  uint8_t* Out1;
};

// Converts the first output pixel pairs of a row (pair) in whole vectors and returns how many pairs it did (a
// multiple of its vector width, at most count); the table-driven code finishes the row. A pixel pair has one
// chroma sample in 4:2:0 and 4:2:2, two in 4:4:4.
using tRowKernel = int (*)(const tRowPair& rows, int count);

struct tFormatKernels {
  tRowKernel RGB32, RGB565, RGB555, YUY2, UYVY;
};

// One set per chroma layout, in the order of tChromaLayout (ogg/yuv_convert.h).
struct tKernels {
  tFormatKernels Layout[3];
};

// The tables restated as the 16-bit fixed point the vectors compute; the tests show that both give the same
// bytes for every Y, U and V. A chroma term of sample c, d = c - 128, is
//   (mulhi(d << 8, Factor) + 2^(Shift - 1)) >> Shift
// where mulhi keeps the top 16 bits of the signed 32-bit product; with a rounding high product (SSSE3 and
// later: (a x b + 2^14) >> 15) it is one step, mulhrs(d << 1, RoundedFactor). Both are round(d x factor)
// with the tables' ties (CbToB's +-221.5 go to +-222) for these constants only. Luma is
//   max(mulhu(c << 8, kLumaFactor) - kLumaOffset, 0) >> kLumaShift
// with an unsigned high product: the offset folds in the 16 of studio black and the rounding, and the
// saturating subtraction is the clamp at 0 (the top, 255, needs none).
struct tChromaFactor {
  int32_t Factor, Shift, RoundedFactor;
};
constexpr tChromaFactor kCrToR{22970, 6, 22970};  // 1.402 x 2^14
constexpr tChromaFactor kCbToG{22554, 8, 5638};   // 0.34414 x 2^16, x 2^14
constexpr tChromaFactor kCrToG{23401, 7, 11700};  // 0.71414 x 2^15, x 2^14
constexpr tChromaFactor kCbToB{29033, 6, 29033};  // 1.772 x 2^14, the one constant that rounds the ties right
constexpr int32_t kLumaFactor = 34963;            // 1.067 x 2^15
constexpr int32_t kLumaOffset = 2121;             // 16 x 1.067 x 2^7, less half a step of 2^7
constexpr int32_t kLumaShift = 7;

// The vector kernels of the paths this build and processor can run; null for the table-driven path and for
// paths not built here (one definition per processor family).
bool PathSupported(tYUVPath path);
const tKernels* KernelsFor(tYUVPath path);

}  // namespace ktv::yuv
