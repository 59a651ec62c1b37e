// Forward complex FFT of any length (mixed radix), unscaled: Output[k] = sum of Input[n] * e^(-2 pi i k n /
// N). The beat detector uses it for blocks of 768 = 2^8 * 3 samples, which is why powers of two alone do not
// do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ktv {

struct TComplex {
  float Re = 0;
  float Im = 0;
};

// A transform of one fixed length: factors and twiddles are computed once, so Transform allocates nothing.
// Not shared between threads while transforming (it keeps scratch space).
class tComplexFFT {
 public:
  // Lengths below 1, or with a prime factor above 1021, give a plan that refuses to transform (Valid()
  // false).
  explicit tComplexFFT(int32_t n);
  bool Valid() const { return N > 0; }
  int32_t Length() const { return N; }
  // Input and Output hold Length() values each and must not overlap. False (Output untouched) when not
  // Valid().
  bool Transform(const TComplex* input, TComplex* output);

 private:
  void Pass(TComplex* out, const TComplex* in, int32_t stride, size_t factorIndex);
  void Butterfly2(TComplex* out, int32_t stride, int32_t m);
  void Butterfly3(TComplex* out, int32_t stride, int32_t m);
  void Butterfly4(TComplex* out, int32_t stride, int32_t m);
  void ButterflyGeneric(TComplex* out, int32_t stride, int32_t m, int32_t p);

  int32_t N = 0;
  std::vector<int32_t> Factors;    // radices, largest stage first; their product is N
  std::vector<TComplex> Twiddles;  // e^(-2 pi i k / N), k = 0..N-1
  std::vector<TComplex> Scratch;   // one butterfly's worth for the generic radix
};

// One-off transform of length n (builds a plan each call; the detector keeps its own plan instead).
bool ComplexFFT(const TComplex* input, TComplex* output, int32_t n);

}  // namespace ktv
