// The frame the YUV benchmarks convert: 1280x720 4:2:0 of random samples, tight strides.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "ogg/codec_libraries.h"

namespace ktv::bench {

constexpr int kYUVWidth = 1280, kYUVHeight = 720;

struct tYUVFrame {
  tYUVFrame() {
    std::mt19937 rng(1);
    for (auto* p : {&Y, &U, &V})
      for (auto& b : *p) b = static_cast<unsigned char>(rng());
    yuv = {kYUVWidth,     kYUVHeight, kYUVWidth, kYUVWidth / 2, kYUVHeight / 2,
           kYUVWidth / 2, Y.data(),   U.data(),  V.data()};
  }
  std::vector<unsigned char> Y = std::vector<unsigned char>(kYUVWidth * kYUVHeight);
  std::vector<unsigned char> U = std::vector<unsigned char>(kYUVWidth * kYUVHeight / 4);
  std::vector<unsigned char> V = std::vector<unsigned char>(kYUVWidth * kYUVHeight / 4);
  yuv_buffer yuv;
};

inline void ReportMegapixels(benchmark::State& state) {
  state.counters["MPixel/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kYUVWidth * kYUVHeight / 1e6, benchmark::Counter::kIsRate);
}

}  // namespace ktv::bench
