// The frame the YUV benchmarks convert: 1280x720 of random samples, tight strides, 4:2:0 unless asked.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "ogg/codec_libraries.h"

namespace ktv::bench {

constexpr int kYUVWidth = 1280, kYUVHeight = 720;

// Each chroma sample covers columns x rows luma samples (2 x 2 is 4:2:0, 2 x 1 4:2:2, 1 x 1 4:4:4).
struct tYUVFrame {
  explicit tYUVFrame(int columns = 2, int rows = 2)
      : U(static_cast<size_t>(kYUVWidth / columns) * (kYUVHeight / rows)), V(U.size()) {
    std::mt19937 rng(1);
    for (auto* p : {&Y, &U, &V})
      for (auto& b : *p) b = static_cast<unsigned char>(rng());
    yuv = {kYUVWidth, kYUVHeight, kYUVWidth, kYUVWidth / columns, kYUVHeight / rows, kYUVWidth / columns,
           Y.data(),  U.data(),   V.data()};
  }
  std::vector<unsigned char> Y = std::vector<unsigned char>(kYUVWidth * kYUVHeight);
  std::vector<unsigned char> U, V;
  yuv_buffer yuv;
};

inline void ReportMegapixels(benchmark::State& state) {
  state.counters["MPixel/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kYUVWidth * kYUVHeight / 1e6, benchmark::Counter::kIsRate);
}

}  // namespace ktv::bench
