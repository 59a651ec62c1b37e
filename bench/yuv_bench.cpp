// YUV 4:2:0 to RGB conversion of a 1280x720 frame; reports megapixels per second.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "ogg/yuv_convert.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720;

struct tFrame {
  tFrame() {
    std::mt19937 rng(1);
    for (auto* p : {&Y, &U, &V})
      for (auto& b : *p) b = static_cast<unsigned char>(rng());
    yuv = {kWidth, kHeight, kWidth, kWidth / 2, kHeight / 2, kWidth / 2, Y.data(), U.data(), V.data()};
  }
  std::vector<unsigned char> Y = std::vector<unsigned char>(kWidth * kHeight);
  std::vector<unsigned char> U = std::vector<unsigned char>(kWidth * kHeight / 4);
  std::vector<unsigned char> V = std::vector<unsigned char>(kWidth * kHeight / 4);
  yuv_buffer yuv;
};

void Report(benchmark::State& state) {
  state.counters["MPixel/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kWidth * kHeight / 1e6, benchmark::Counter::kIsRate);
}

void BM_YUVToRGB32(benchmark::State& state) {
  ktv::BuildYUVTables();
  tFrame frame;
  std::vector<uint8_t> dest(kWidth * kHeight * 4);
  for (auto _ : state) {
    ktv::YUVToRGB32(dest.data(), kWidth * 4, frame.yuv);
    benchmark::DoNotOptimize(dest.data());
  }
  Report(state);
}

void BM_YUVToRGB16(benchmark::State& state) {
  ktv::BuildYUVTables();
  tFrame frame;
  std::vector<uint8_t> dest(kWidth * kHeight * 2);
  for (auto _ : state) {
    ktv::YUVToRGB16(dest.data(), kWidth * 2, frame.yuv, state.range(0) != 0);
    benchmark::DoNotOptimize(dest.data());
  }
  Report(state);
}

BENCHMARK(BM_YUVToRGB32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YUVToRGB16)->Arg(1)->Arg(0)->ArgName("is565")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
