// The AVX2 kernels, chosen at run time where the processor has AVX2. This file alone is compiled with -mavx2
// (src/ogg/CMakeLists.txt); it includes nothing but the intrinsics and the kernel templates, so that no
// AVX2-compiled copy of a shared inline function can stand in for the baseline one at link time.
#include <immintrin.h>

#include "ogg/yuv_convert_simd.h"

namespace ktv::yuv {
namespace {

struct tAVX2 {
  using T = __m256i;
  static constexpr int kChroma = 16;
  static constexpr int kBytes = 32;

  static T Zero() { return _mm256_setzero_si256(); }
  static T Set16(int32_t x) { return _mm256_set1_epi16(static_cast<int16_t>(x)); }
  static T Set32(int32_t x) { return _mm256_set1_epi32(x); }
  static T Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const T*>(p)); }
  static void Store(uint8_t* p, T x) { _mm256_storeu_si256(reinterpret_cast<T*>(p), x); }
  static __m128i LoadHalf(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  // Unpacking a register's halves and packing them again gives [0..7 | 16..23] and [8..15 | 24..31] of what
  // went in, and the RGB32 interleave splits that once more. The loads put the samples where those steps
  // want them: for 16-bit pixels the 64-bit pieces go 0, 2, 1, 3; for 32-bit pixels the 32-bit pieces go
  // 0, 2, 4, 6, 1, 3, 5, 7 (pieces of luma bytes, and of chroma as 16-bit lanes).
  template <int BytesPerPixel>
  static T LoadLuma(const uint8_t* p) {
    if constexpr (BytesPerPixel == 4)
      return _mm256_permutevar8x32_epi32(Load(p), _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    else
      return _mm256_permute4x64_epi64(Load(p), 0xD8);
  }
  template <int BytesPerPixel>
  static T LoadChroma(const uint8_t* p) {
    __m128i signedBytes = _mm_xor_si128(LoadHalf(p), _mm_set1_epi8(static_cast<char>(0x80)));
    if constexpr (BytesPerPixel == 4)
      signedBytes =
          _mm_shuffle_epi8(signedBytes, _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15));
    else
      signedBytes = _mm_shuffle_epi32(signedBytes, 0xD8);
    return _mm256_slli_epi16(_mm256_cvtepi8_epi16(signedBytes), 1);
  }
  template <tChromaFactor F>
  static T ChromaTerm(T doubled) {
    return _mm256_mulhrs_epi16(doubled, Set16(F.RoundedFactor));
  }
  static T LoadChromaPairs(const uint8_t* u, const uint8_t* v) {
    // Samples 0..7 in the low half and 8..15 in the high half, matching the in-half unpack of luma.
    const __m128i cb = LoadHalf(u), cr = LoadHalf(v);
    return _mm256_set_m128i(_mm_unpackhi_epi8(cb, cr), _mm_unpacklo_epi8(cb, cr));
  }

  static T Add16(T a, T b) { return _mm256_add_epi16(a, b); }
  static T Sub16(T a, T b) { return _mm256_sub_epi16(a, b); }
  static T MulHiU16(T a, T b) { return _mm256_mulhi_epu16(a, b); }
  static T SubSatU16(T a, T b) { return _mm256_subs_epu16(a, b); }
  static T And(T a, T b) { return _mm256_and_si256(a, b); }
  static T Or(T a, T b) { return _mm256_or_si256(a, b); }
  template <int N>
  static T Srl16(T a) {
    return _mm256_srli_epi16(a, N);
  }
  template <int N>
  static T Sll16(T a) {
    return _mm256_slli_epi16(a, N);
  }
  static T UnpackLo8(T a, T b) { return _mm256_unpacklo_epi8(a, b); }
  static T UnpackHi8(T a, T b) { return _mm256_unpackhi_epi8(a, b); }
  static T UnpackLo16(T a, T b) { return _mm256_unpacklo_epi16(a, b); }
  static T UnpackHi16(T a, T b) { return _mm256_unpackhi_epi16(a, b); }
  static T PackUS16(T a, T b) { return _mm256_packus_epi16(a, b); }
  static T KeepFourthBytes(T old, T pixels) {
    return _mm256_blendv_epi8(pixels, old, _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u)));
  }
  static T FlipTopBits(T a) { return _mm256_xor_si256(a, _mm256_set1_epi8(static_cast<char>(0x80))); }
  // d << 8 to LoadChroma's doubled form, d << 1.
  static T ChromaFromHighBytes(T a) { return _mm256_srai_epi16(a, 7); }
  // The packed formats' unpacked registers hold pixels [0..7 | 16..23] and [8..15 | 24..31].
  static void Natural2(T* w) {
    const T first = _mm256_permute2x128_si256(w[0], w[1], 0x20);
    w[1] = _mm256_permute2x128_si256(w[0], w[1], 0x31);
    w[0] = first;
  }
};

}  // namespace

extern const tKernels kAVX2Kernels = MakeKernels<tAVX2>();

}  // namespace ktv::yuv
