// The vector kernels written once over a small set of 16-bit lane operations; yuv_convert_sse2.cpp and
// yuv_convert_avx2.cpp instantiate them with their own register type (tOps), each in its own file so that
// only the AVX2 file is compiled for AVX2. Include it only there.
//
// tOps provides, for a register of T:
//   kChroma: chroma samples per step (a step reads 2 x kChroma luma bytes per row, one register);
//   LoadLuma<BytesPerPixel>, LoadChroma<BytesPerPixel> (c - 128 per 16-bit lane, in the form its
//   ChromaTerm<tChromaFactor> takes, which gives the table's term, yuv_convert_kernels.h): the samples
//   in whatever lane order makes the unpacks and packs below leave the output pixels in memory order, the
//   same order for luma and its chroma (plain memory order for 128-bit registers; AVX2 unpacks and packs
//   within each 128-bit half, so it loads the halves' pieces interleaved);
//   LoadChromaPairs (U0 V0 U1 V1 ...) with Natural2 for the packed formats, which put two registers made by
//   UnpackLo8/UnpackHi8 of a luma register back into memory order;
//   KeepFourthBytes(old, pixels): pixels with the fourth byte of each 32-bit pixel taken from old;
//   FlipTopBits (c - 128 as signed bytes) and ChromaFromHighBytes (a signed byte d in the high half of a zero
//   16-bit lane, d << 8, into the form ChromaTerm takes), for chroma that is as wide as luma;
//   and the lane operations used below.
#pragma once

#include <cstdint>

#include "ogg/yuv_convert_kernels.h"

namespace ktv::yuv {
namespace {

template <class tOps>
struct tChromaTerms {
  using T = typename tOps::T;
  // Per pixel, 16-bit, in the lane order of UnpackLo8/UnpackHi8 of a luma register.
  T BlueLo, BlueHi, GreenLo, GreenHi, RedLo, RedHi;
};

template <class tOps>
struct tPixelBytes {
  typename tOps::T B, G, R;  // clamped bytes, in the lane order that tOps loaded them in
};

template <class tOps, int BytesPerPixel>
inline tChromaTerms<tOps> ChromaTerms(const uint8_t* u, const uint8_t* v) {
  const auto du = tOps::template LoadChroma<BytesPerPixel>(u),
             dv = tOps::template LoadChroma<BytesPerPixel>(v);
  const auto blue = tOps::template ChromaTerm<kCbToB>(du), red = tOps::template ChromaTerm<kCrToR>(dv);
  const auto green =
      tOps::Add16(tOps::template ChromaTerm<kCbToG>(du), tOps::template ChromaTerm<kCrToG>(dv));
  return {tOps::UnpackLo16(blue, blue),   tOps::UnpackHi16(blue, blue), tOps::UnpackLo16(green, green),
          tOps::UnpackHi16(green, green), tOps::UnpackLo16(red, red),   tOps::UnpackHi16(red, red)};
}

// YScale of 16-bit lanes holding c << 8.
template <class tOps>
inline typename tOps::T LumaTerm(typename tOps::T shifted) {
  return tOps::template Srl16<kLumaShift>(
      tOps::SubSatU16(tOps::MulHiU16(shifted, tOps::Set16(kLumaFactor)), tOps::Set16(kLumaOffset)));
}

template <class tOps, int BytesPerPixel>
inline tPixelBytes<tOps> Pixels(const uint8_t* luma, const tChromaTerms<tOps>& c) {
  const auto y = tOps::template LoadLuma<BytesPerPixel>(luma), zero = tOps::Zero();
  const auto lo = LumaTerm<tOps>(tOps::UnpackLo8(zero, y)), hi = LumaTerm<tOps>(tOps::UnpackHi8(zero, y));
  // Sums stay within -227..480, and the unsigned pack is the clamp table.
  return {tOps::PackUS16(tOps::Add16(lo, c.BlueLo), tOps::Add16(hi, c.BlueHi)),
          tOps::PackUS16(tOps::Sub16(lo, c.GreenLo), tOps::Sub16(hi, c.GreenHi)),
          tOps::PackUS16(tOps::Add16(lo, c.RedLo), tOps::Add16(hi, c.RedHi))};
}

template <class tOps>
inline void StoreKeeping(uint8_t* at, typename tOps::T pixels) {
  tOps::Store(at, tOps::KeepFourthBytes(tOps::Load(at), pixels));
}

template <class tOps>
inline void StoreRGB32(uint8_t* out, const tPixelBytes<tOps>& p) {
  using T = typename tOps::T;
  const T zero = tOps::Zero();
  const T bgLo = tOps::UnpackLo8(p.B, p.G), bgHi = tOps::UnpackHi8(p.B, p.G);
  const T rLo = tOps::UnpackLo8(p.R, zero), rHi = tOps::UnpackHi8(p.R, zero);
  // The fourth byte of each pixel belongs to the caller: read it back and keep it. (Written out, not as a
  // loop over an array, which compilers keep on the stack.)
  StoreKeeping<tOps>(out, tOps::UnpackLo16(bgLo, rLo));
  StoreKeeping<tOps>(out + tOps::kBytes, tOps::UnpackHi16(bgLo, rLo));
  StoreKeeping<tOps>(out + 2 * tOps::kBytes, tOps::UnpackLo16(bgHi, rHi));
  StoreKeeping<tOps>(out + 3 * tOps::kBytes, tOps::UnpackHi16(bgHi, rHi));
}

template <class tOps, bool Is565>
inline typename tOps::T Pack16(typename tOps::T b, typename tOps::T g, typename tOps::T shiftedR) {
  // b and g hold bytes in 16-bit lanes, shiftedR holds R << 8.
  if constexpr (Is565) {
    return tOps::Or(tOps::Or(tOps::And(shiftedR, tOps::Set16(0xF800)),
                             tOps::template Sll16<3>(tOps::And(g, tOps::Set16(0xFC)))),
                    tOps::template Srl16<3>(b));
  } else {
    return tOps::Or(tOps::Or(tOps::template Srl16<1>(tOps::And(shiftedR, tOps::Set16(0xF800))),
                             tOps::template Sll16<2>(tOps::And(g, tOps::Set16(0xF8)))),
                    tOps::template Srl16<3>(b));
  }
}

template <class tOps, bool Is565>
inline void StoreRGB16(uint8_t* out, const tPixelBytes<tOps>& p) {
  const typename tOps::T zero = tOps::Zero();
  tOps::Store(out, Pack16<tOps, Is565>(tOps::UnpackLo8(p.B, zero), tOps::UnpackLo8(p.G, zero),
                                       tOps::UnpackLo8(zero, p.R)));
  tOps::Store(out + tOps::kBytes, Pack16<tOps, Is565>(tOps::UnpackHi8(p.B, zero), tOps::UnpackHi8(p.G, zero),
                                                      tOps::UnpackHi8(zero, p.R)));
}

// Chroma as wide as luma (4:4:4): one sample per pixel, loaded and unpacked like the luma register so that
// every lane meets its own pixel.
template <class tOps, int BytesPerPixel>
inline tChromaTerms<tOps> FullChromaTerms(const uint8_t* u, const uint8_t* v) {
  const auto zero = tOps::Zero();
  const auto su = tOps::FlipTopBits(tOps::template LoadLuma<BytesPerPixel>(u)),
             sv = tOps::FlipTopBits(tOps::template LoadLuma<BytesPerPixel>(v));
  const auto uLo = tOps::ChromaFromHighBytes(tOps::UnpackLo8(zero, su)),
             uHi = tOps::ChromaFromHighBytes(tOps::UnpackHi8(zero, su)),
             vLo = tOps::ChromaFromHighBytes(tOps::UnpackLo8(zero, sv)),
             vHi = tOps::ChromaFromHighBytes(tOps::UnpackHi8(zero, sv));
  return {tOps::template ChromaTerm<kCbToB>(uLo),
          tOps::template ChromaTerm<kCbToB>(uHi),
          tOps::Add16(tOps::template ChromaTerm<kCbToG>(uLo), tOps::template ChromaTerm<kCrToG>(vLo)),
          tOps::Add16(tOps::template ChromaTerm<kCbToG>(uHi), tOps::template ChromaTerm<kCrToG>(vHi)),
          tOps::template ChromaTerm<kCrToR>(vLo),
          tOps::template ChromaTerm<kCrToR>(vHi)};
}

// RGB kernels: BytesPerPixel 4 (RGB32) or 2 (16-bit). Rows 2 is 4:2:0 (two luma rows share the chroma row),
// 1 is 4:2:2.
template <class tOps, int BytesPerPixel, void (*StorePixels)(uint8_t*, const tPixelBytes<tOps>&), int Rows>
int ConvertRGBRows(const tRowPair& rows, int count) {
  constexpr int step = tOps::kChroma;
  // Local copies: the byte stores could alias the record, which would make the compiler reload it.
  const tRowPair r = rows;
  int i = 0;
  for (; i + step <= count; i += step) {
    const tChromaTerms<tOps> chroma = ChromaTerms<tOps, BytesPerPixel>(r.U + i, r.V + i);
    StorePixels(r.Out0 + 2 * BytesPerPixel * i, Pixels<tOps, BytesPerPixel>(r.Y0 + 2 * i, chroma));
    if constexpr (Rows == 2)
      StorePixels(r.Out1 + 2 * BytesPerPixel * i, Pixels<tOps, BytesPerPixel>(r.Y1 + 2 * i, chroma));
  }
  return i;
}

// 4:4:4: count and the result are pixel pairs, as for the other layouts.
template <class tOps, int BytesPerPixel, void (*StorePixels)(uint8_t*, const tPixelBytes<tOps>&)>
int ConvertRGBRow444(const tRowPair& rows, int count) {
  constexpr int step = tOps::kChroma;
  const tRowPair r = rows;  // as in ConvertRGBRows
  int i = 0;
  for (; i + step <= count; i += step) {
    const tChromaTerms<tOps> chroma = FullChromaTerms<tOps, BytesPerPixel>(r.U + 2 * i, r.V + 2 * i);
    StorePixels(r.Out0 + 2 * BytesPerPixel * i, Pixels<tOps, BytesPerPixel>(r.Y0 + 2 * i, chroma));
  }
  return i;
}

template <class tOps, bool Uyvy>
inline void StorePacked(uint8_t* out, typename tOps::T y, typename tOps::T pairs) {
  typename tOps::T w[2] = {Uyvy ? tOps::UnpackLo8(pairs, y) : tOps::UnpackLo8(y, pairs),
                           Uyvy ? tOps::UnpackHi8(pairs, y) : tOps::UnpackHi8(y, pairs)};
  tOps::Natural2(w);
  tOps::Store(out, w[0]);
  tOps::Store(out + tOps::kBytes, w[1]);
}

template <class tOps, bool Uyvy, int Rows>
int ConvertPackedRows(const tRowPair& rows, int count) {
  constexpr int step = tOps::kChroma;
  const tRowPair r = rows;  // as in ConvertRGBRows
  int i = 0;
  for (; i + step <= count; i += step) {
    const auto pairs = tOps::LoadChromaPairs(r.U + i, r.V + i);
    StorePacked<tOps, Uyvy>(r.Out0 + 4 * i, tOps::Load(r.Y0 + 2 * i), pairs);
    if constexpr (Rows == 2) StorePacked<tOps, Uyvy>(r.Out1 + 4 * i, tOps::Load(r.Y1 + 2 * i), pairs);
  }
  return i;
}

// 4:4:4 into a packed pair takes the chroma of the pair's even pixel: the low byte of each 16-bit lane of
// the U row and of the V row, side by side, in memory order as LoadChromaPairs gives them.
template <class tOps, bool Uyvy>
int ConvertPackedRow444(const tRowPair& rows, int count) {
  constexpr int step = tOps::kChroma;
  const tRowPair r = rows;  // as in ConvertRGBRows
  int i = 0;
  for (; i + step <= count; i += step) {
    const auto pairs = tOps::Or(tOps::And(tOps::Load(r.U + 2 * i), tOps::Set16(0x00FF)),
                                tOps::template Sll16<8>(tOps::Load(r.V + 2 * i)));
    StorePacked<tOps, Uyvy>(r.Out0 + 4 * i, tOps::Load(r.Y0 + 2 * i), pairs);
  }
  return i;
}

template <class tOps>
constexpr tKernels MakeKernels() {
  return {
      {{&ConvertRGBRows<tOps, 4, &StoreRGB32<tOps>, 2>, &ConvertRGBRows<tOps, 2, &StoreRGB16<tOps, true>, 2>,
        &ConvertRGBRows<tOps, 2, &StoreRGB16<tOps, false>, 2>, &ConvertPackedRows<tOps, false, 2>,
        &ConvertPackedRows<tOps, true, 2>},
       {&ConvertRGBRows<tOps, 4, &StoreRGB32<tOps>, 1>, &ConvertRGBRows<tOps, 2, &StoreRGB16<tOps, true>, 1>,
        &ConvertRGBRows<tOps, 2, &StoreRGB16<tOps, false>, 1>, &ConvertPackedRows<tOps, false, 1>,
        &ConvertPackedRows<tOps, true, 1>},
       {&ConvertRGBRow444<tOps, 4, &StoreRGB32<tOps>>, &ConvertRGBRow444<tOps, 2, &StoreRGB16<tOps, true>>,
        &ConvertRGBRow444<tOps, 2, &StoreRGB16<tOps, false>>, &ConvertPackedRow444<tOps, false>,
        &ConvertPackedRow444<tOps, true>}}};
}

}  // namespace
}  // namespace ktv::yuv
