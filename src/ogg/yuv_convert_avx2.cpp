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
  static T LoadLuma(const uint8_t* p) { return Load(p); }
  static __m128i LoadHalf(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static T LoadChroma(const uint8_t* p) {
    const __m128i signedBytes = _mm_xor_si128(LoadHalf(p), _mm_set1_epi8(static_cast<char>(0x80)));
    return _mm256_slli_epi16(_mm256_cvtepi8_epi16(signedBytes), 8);
  }
  static T LoadChromaPairs(const uint8_t* u, const uint8_t* v) {
    // Samples 0..7 in the low half and 8..15 in the high half, matching the in-half unpack of luma.
    const __m128i cb = LoadHalf(u), cr = LoadHalf(v);
    return _mm256_set_m128i(_mm_unpackhi_epi8(cb, cr), _mm_unpacklo_epi8(cb, cr));
  }

  static T Add16(T a, T b) { return _mm256_add_epi16(a, b); }
  static T Sub16(T a, T b) { return _mm256_sub_epi16(a, b); }
  static T MulHi16(T a, T b) { return _mm256_mulhi_epi16(a, b); }
  static T MulHiU16(T a, T b) { return _mm256_mulhi_epu16(a, b); }
  static T SubSatU16(T a, T b) { return _mm256_subs_epu16(a, b); }
  static T And(T a, T b) { return _mm256_and_si256(a, b); }
  static T Or(T a, T b) { return _mm256_or_si256(a, b); }
  template <int N>
  static T Sra16(T a) {
    return _mm256_srai_epi16(a, N);
  }
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
  // Packing also works per half, which puts the two unpacked halves back in memory order.
  static T PackUS16(T a, T b) { return _mm256_packus_epi16(a, b); }
  // Unpacked registers hold [0..7 | 16..23] and [8..15 | 24..31] (in their element size).
  static void Natural2(T* w) {
    const T first = _mm256_permute2x128_si256(w[0], w[1], 0x20);
    w[1] = _mm256_permute2x128_si256(w[0], w[1], 0x31);
    w[0] = first;
  }
  // Four pixel registers of [0..3 | 16..19], [4..7 | 20..23], [8..11 | 24..27], [12..15 | 28..31].
  static void Natural4(T* q) {
    const T a = _mm256_permute2x128_si256(q[0], q[1], 0x20), b = _mm256_permute2x128_si256(q[2], q[3], 0x20);
    const T c = _mm256_permute2x128_si256(q[0], q[1], 0x31), d = _mm256_permute2x128_si256(q[2], q[3], 0x31);
    q[0] = a, q[1] = b, q[2] = c, q[3] = d;
  }
};

}  // namespace

extern const tKernels kAVX2Kernels = MakeKernels<tAVX2>();

}  // namespace ktv::yuv
