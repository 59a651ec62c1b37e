// Integer helpers shared by the beat detector, the surface and the visualisation thread.
#pragma once

#include <cmath>
#include <cstdint>

namespace ktv {

// a × b / c with a 64-bit intermediate, rounded to nearest with halves away from zero; -1 when c is 0 or the
// result does not fit in 32 bits (the behaviour the drawing code was written against).
inline int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t num = static_cast<int64_t>(a) * b;
  int64_t q = num / c;
  int64_t rem = num % c;
  if (rem != 0) {
    int64_t absRem = rem < 0 ? -rem : rem;
    int64_t absC = c < 0 ? -static_cast<int64_t>(c) : c;
    if (2 * absRem >= absC) q += ((num < 0) == (c < 0)) ? 1 : -1;
  }
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int32_t>(q);
}

// Rounds to nearest with halves to even. A value that is NaN or infinite gives 0 and anything beyond the
// 32-bit range is clamped, so no picture computation can ever convert an undefined float to an integer.
inline int32_t Nearest(double v) {
  if (!(std::fabs(v) < 2147483647.0)) {
    if (!std::isfinite(v)) return 0;
    return v > 0 ? INT32_MAX : INT32_MIN;
  }
  // Adding and taking away 1.5 * 2^52 leaves v rounded to an integer in the default rounding mode (to
  // nearest, halves to even) without a library call: this runs for every pixel of a rotation.
  constexpr double kRoundingMagic = 6755399441055744.0;
  return static_cast<int32_t>((v + kRoundingMagic) - kRoundingMagic);
}

}  // namespace ktv
