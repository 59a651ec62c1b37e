#include "vis/complex_fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace ktv {
namespace {

using Complex = std::complex<double>;

std::vector<Complex> DirectDFT(const std::vector<TComplex>& in) {
  size_t n = in.size();
  std::vector<Complex> out(n);
  for (size_t k = 0; k < n; ++k) {
    Complex sum = 0;
    for (size_t j = 0; j < n; ++j) {
      double phase = -2 * std::numbers::pi * static_cast<double>((k * j) % n) / static_cast<double>(n);
      sum += Complex(in[j].Re, in[j].Im) * std::polar(1.0, phase);
    }
    out[k] = sum;
  }
  return out;
}

// Largest error over the largest output value: independent of the transform's (missing) scaling.
double RelativeError(const std::vector<TComplex>& got, const std::vector<Complex>& want) {
  double maxErr = 0, maxVal = 0;
  for (size_t k = 0; k < want.size(); ++k) {
    maxErr = std::max(maxErr, std::abs(Complex(got[k].Re, got[k].Im) - want[k]));
    maxVal = std::max(maxVal, std::abs(want[k]));
  }
  return maxErr / std::max(maxVal, 1e-30);
}

TEST(ComplexFFTTest, MatchesDirectTransformOnRandomInput) {
  // Each length exercises other butterflies: 768 the detector's (4s and a 3), the rest the 2-, 5-, 7- and
  // generic paths and the degenerate lengths.
  std::mt19937 gen(7);
  std::uniform_real_distribution<float> dist(-1, 1);
  for (int32_t n : {768, 1, 2, 3, 5, 7, 8, 12, 30, 60, 97, 210, 1000, 1021}) {
    std::vector<TComplex> in(static_cast<size_t>(n)), out(static_cast<size_t>(n));
    for (auto& v : in) v = {dist(gen), dist(gen)};
    ASSERT_TRUE(ComplexFFT(in.data(), out.data(), n)) << n;
    EXPECT_LE(RelativeError(out, DirectDFT(in)), 1e-4) << "length " << n;
  }
}

TEST(ComplexFFTTest, KnownSignals) {
  constexpr int32_t n = 768;
  tComplexFFT fft(n);
  std::vector<TComplex> in(n), out(n);
  // An impulse at 0 has a flat spectrum of 1s.
  in[0] = {1, 0};
  ASSERT_TRUE(fft.Transform(in.data(), out.data()));
  for (int32_t k = 0; k < n; ++k) {
    EXPECT_NEAR(out[static_cast<size_t>(k)].Re, 1, 1e-5) << k;
    EXPECT_NEAR(out[static_cast<size_t>(k)].Im, 0, 1e-5) << k;
  }
  // A cosine of 5 cycles is unscaled: N/2 in bins 5 and N-5, nothing elsewhere.
  for (int32_t j = 0; j < n; ++j)
    in[static_cast<size_t>(j)] = {static_cast<float>(std::cos(2 * std::numbers::pi * 5 * j / n)), 0};
  fft.Transform(in.data(), out.data());
  for (int32_t k = 0; k < n; ++k) {
    double want = (k == 5 || k == n - 5) ? n / 2.0 : 0;
    EXPECT_NEAR(out[static_cast<size_t>(k)].Re, want, 2e-3) << k;
    EXPECT_NEAR(out[static_cast<size_t>(k)].Im, 0, 2e-3) << k;
  }
}

TEST(ComplexFFTTest, RefusesLengthsItCannotTransform) {
  TComplex in[1], out[1] = {{9, 9}};
  EXPECT_FALSE(ComplexFFT(in, out, 0));
  EXPECT_FALSE(tComplexFFT(-5).Valid());
  EXPECT_FALSE(tComplexFFT(1031).Valid());  // prime above 1021
  EXPECT_FALSE(tComplexFFT(2 * 2039).Valid());
  EXPECT_EQ(out[0].Re, 9);
}

}  // namespace
}  // namespace ktv
