// The SSE2 kernels: the x86-64 baseline, so every 64-bit x86 processor runs them.
#include <emmintrin.h>

#include "ogg/yuv_convert_simd.h"

namespace ktv::yuv {
namespace {

struct tSSE2 {
  using T = __m128i;
  static constexpr int kChroma = 8;
  static constexpr int kBytes = 16;

  static T Zero() { return _mm_setzero_si128(); }
  static T Set16(int32_t x) { return _mm_set1_epi16(static_cast<int16_t>(x)); }
  static T Set32(int32_t x) { return _mm_set1_epi32(x); }
  static T Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const T*>(p)); }
  static void Store(uint8_t* p, T x) { _mm_storeu_si128(reinterpret_cast<T*>(p), x); }
  template <int>
  static T LoadLuma(const uint8_t* p) {
    return Load(p);
  }
  template <int>
  static T LoadChroma(const uint8_t* p) {
    // Flipping the top bit makes c - 128 a signed byte; in the high half of a zero lane it is (c - 128) << 8.
    const T signedBytes =
        _mm_xor_si128(_mm_loadl_epi64(reinterpret_cast<const T*>(p)), _mm_set1_epi8(static_cast<char>(0x80)));
    return _mm_unpacklo_epi8(_mm_setzero_si128(), signedBytes);
  }
  // SSE2 has no rounding high product: multiply, round and shift.
  template <tChromaFactor F>
  static T ChromaTerm(T shifted) {
    return _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epi16(shifted, Set16(F.Factor)), Set16(1 << (F.Shift - 1))),
                          F.Shift);
  }
  static T LoadChromaPairs(const uint8_t* u, const uint8_t* v) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const T*>(u)),
                             _mm_loadl_epi64(reinterpret_cast<const T*>(v)));
  }

  static T Add16(T a, T b) { return _mm_add_epi16(a, b); }
  static T Sub16(T a, T b) { return _mm_sub_epi16(a, b); }
  static T MulHiU16(T a, T b) { return _mm_mulhi_epu16(a, b); }
  static T SubSatU16(T a, T b) { return _mm_subs_epu16(a, b); }
  static T And(T a, T b) { return _mm_and_si128(a, b); }
  static T Or(T a, T b) { return _mm_or_si128(a, b); }
  template <int N>
  static T Srl16(T a) {
    return _mm_srli_epi16(a, N);
  }
  template <int N>
  static T Sll16(T a) {
    return _mm_slli_epi16(a, N);
  }
  static T UnpackLo8(T a, T b) { return _mm_unpacklo_epi8(a, b); }
  static T UnpackHi8(T a, T b) { return _mm_unpackhi_epi8(a, b); }
  static T UnpackLo16(T a, T b) { return _mm_unpacklo_epi16(a, b); }
  static T UnpackHi16(T a, T b) { return _mm_unpackhi_epi16(a, b); }
  static T PackUS16(T a, T b) { return _mm_packus_epi16(a, b); }
  static T KeepFourthBytes(T old, T pixels) {
    return _mm_or_si128(_mm_and_si128(old, _mm_set1_epi32(static_cast<int32_t>(0xFF000000u))), pixels);
  }
  static void Natural2(T*) {}
  static T FlipTopBits(T a) { return _mm_xor_si128(a, _mm_set1_epi8(static_cast<char>(0x80))); }
  static T ChromaFromHighBytes(T a) { return a; }  // LoadChroma's form already
};

}  // namespace

extern const tKernels kSSE2Kernels = MakeKernels<tSSE2>();

}  // namespace ktv::yuv
