#include "vis/complex_fft.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ktv {

namespace {

// The largest prime factor a generic butterfly is asked to handle.
constexpr int32_t kMaxPrimeFactor = 1021;

inline TComplex Mul(TComplex a, TComplex b) {
  return {a.Re * b.Re - a.Im * b.Im, a.Re * b.Im + a.Im * b.Re};
}
inline TComplex Add(TComplex a, TComplex b) {
  return {a.Re + b.Re, a.Im + b.Im};
}
inline TComplex Sub(TComplex a, TComplex b) {
  return {a.Re - b.Re, a.Im - b.Im};
}

}  // namespace

tComplexFFT::tComplexFFT(int32_t n) {
  if (n < 1) return;
  // Radix 4 first (the cheapest butterfly per point), then 2, 3, then odd primes by trial division.
  int32_t rest = n;
  for (int32_t p : {4, 2, 3}) {
    while (rest % p == 0) {
      Factors.push_back(p);
      rest /= p;
    }
  }
  for (int32_t p = 5; rest > 1; p += 2) {
    if (p > kMaxPrimeFactor) return;
    if (static_cast<int64_t>(p) * p > rest) p = rest;  // what is left is prime
    if (p > kMaxPrimeFactor) return;
    while (rest % p == 0) {
      Factors.push_back(p);
      rest /= p;
    }
  }
  if (Factors.empty()) Factors.push_back(1);
  Twiddles.resize(static_cast<size_t>(n));
  for (int32_t k = 0; k < n; ++k) {
    // Computed in double so that the table adds no error beyond float rounding.
    double phase = -2.0 * std::numbers::pi * k / n;
    Twiddles[static_cast<size_t>(k)] = {static_cast<float>(std::cos(phase)),
                                        static_cast<float>(std::sin(phase))};
  }
  int32_t largest = 1;
  for (int32_t f : Factors) largest = std::max(largest, f);
  Scratch.resize(static_cast<size_t>(largest));
  N = n;
}

bool tComplexFFT::Transform(const TComplex* input, TComplex* output) {
  if (!Valid()) return false;
  Pass(output, input, 1, 0);
  return true;
}

// Decimation in time: the output block of this stage is p sub-transforms of length m, each of every p-th
// input, combined by one butterfly per remaining index.
void tComplexFFT::Pass(TComplex* out, const TComplex* in, int32_t stride, size_t factorIndex) {
  int32_t p = Factors[factorIndex];
  int32_t m = 1;
  for (size_t i = factorIndex + 1; i < Factors.size(); ++i) m *= Factors[i];
  if (m == 1) {
    for (int32_t j = 0; j < p; ++j) out[j] = in[static_cast<ptrdiff_t>(j) * stride];
  } else {
    for (int32_t j = 0; j < p; ++j)
      Pass(out + j * m, in + static_cast<ptrdiff_t>(j) * stride, stride * p, factorIndex + 1);
  }
  switch (p) {
    case 1:
      break;
    case 2:
      Butterfly2(out, stride, m);
      break;
    case 3:
      Butterfly3(out, stride, m);
      break;
    case 4:
      Butterfly4(out, stride, m);
      break;
    default:
      ButterflyGeneric(out, stride, m, p);
      break;
  }
}

void tComplexFFT::Butterfly2(TComplex* out, int32_t stride, int32_t m) {
  for (int32_t k = 0; k < m; ++k) {
    TComplex t = Mul(out[k + m], Twiddles[static_cast<size_t>(k * stride)]);
    out[k + m] = Sub(out[k], t);
    out[k] = Add(out[k], t);
  }
}

void tComplexFFT::Butterfly3(TComplex* out, int32_t stride, int32_t m) {
  const float sin60 = -0.866025403784438646763723f;  // imaginary part of e^(-2 pi i / 3)
  for (int32_t k = 0; k < m; ++k) {
    TComplex a = out[k];
    TComplex b = Mul(out[k + m], Twiddles[static_cast<size_t>(k * stride)]);
    TComplex c = Mul(out[k + 2 * m], Twiddles[static_cast<size_t>(2 * k * stride)]);
    TComplex s = Add(b, c);
    TComplex d = Sub(b, c);
    out[k] = Add(a, s);
    TComplex h = {a.Re - 0.5f * s.Re, a.Im - 0.5f * s.Im};
    // (b - c) times i * sin(-120 degrees)
    TComplex r = {-d.Im * sin60, d.Re * sin60};
    out[k + m] = Add(h, r);
    out[k + 2 * m] = Sub(h, r);
  }
}

void tComplexFFT::Butterfly4(TComplex* out, int32_t stride, int32_t m) {
  for (int32_t k = 0; k < m; ++k) {
    TComplex a = out[k];
    TComplex b = Mul(out[k + m], Twiddles[static_cast<size_t>(k * stride)]);
    TComplex c = Mul(out[k + 2 * m], Twiddles[static_cast<size_t>(2 * k * stride)]);
    TComplex d = Mul(out[k + 3 * m], Twiddles[static_cast<size_t>(3 * k * stride)]);
    TComplex ac0 = Add(a, c), ac1 = Sub(a, c);
    TComplex bd0 = Add(b, d), bd1 = Sub(b, d);
    // bd1 times -i
    TComplex bdr = {bd1.Im, -bd1.Re};
    out[k] = Add(ac0, bd0);
    out[k + m] = Add(ac1, bdr);
    out[k + 2 * m] = Sub(ac0, bd0);
    out[k + 3 * m] = Sub(ac1, bdr);
  }
}

void tComplexFFT::ButterflyGeneric(TComplex* out, int32_t stride, int32_t m, int32_t p) {
  for (int32_t k = 0; k < m; ++k) {
    for (int32_t q = 0; q < p; ++q) Scratch[static_cast<size_t>(q)] = out[k + q * m];
    for (int32_t q = 0; q < p; ++q) {
      // Output index k + q m of the whole transform: twiddle (k + q m) * j * stride for input j.
      int64_t step = static_cast<int64_t>(k + q * m) * stride % N;
      int64_t at = 0;
      TComplex sum = Scratch[0];
      for (int32_t j = 1; j < p; ++j) {
        at += step;
        if (at >= N) at -= N;
        sum = Add(sum, Mul(Scratch[static_cast<size_t>(j)], Twiddles[static_cast<size_t>(at)]));
      }
      out[k + q * m] = sum;
    }
  }
}

bool ComplexFFT(const TComplex* input, TComplex* output, int32_t n) {
  tComplexFFT plan(n);
  return plan.Transform(input, output);
}

}  // namespace ktv
