// YUV conversion of a 1280x720 frame into each output format, on every conversion path this processor runs
// (plain tables, SSE2, AVX2), for 4:2:0 (YUV/...) and for 4:2:2 and 4:4:4 (YUV422/..., YUV444/...); reports
// megapixels per second. Where libswscale was found at configure
// time, yuv_swscale.cpp adds the same conversions by libswscale (one thread, nearest neighbour) to the run.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "ogg/yuv_convert.h"
#include "yuv_frame.h"

namespace {

using ktv::bench::kYUVHeight;
using ktv::bench::kYUVWidth;

struct tFormat {
  const char* Name;
  int BytesPerPixel;
  void (*Convert)(uint8_t*, int32_t, const yuv_buffer&);
};

const tFormat kFormats[] = {
    {"RGB32", 4, [](uint8_t* d, int32_t pitch, const yuv_buffer& yuv) { ktv::YUVToRGB32(d, pitch, yuv); }},
    {"RGB565", 2,
     [](uint8_t* d, int32_t pitch, const yuv_buffer& yuv) { ktv::YUVToRGB16(d, pitch, yuv, true); }},
    {"RGB555", 2,
     [](uint8_t* d, int32_t pitch, const yuv_buffer& yuv) { ktv::YUVToRGB16(d, pitch, yuv, false); }},
    {"YUY2", 2,
     [](uint8_t* d, int32_t pitch, const yuv_buffer& yuv) { ktv::YUVToPacked(d, pitch, yuv, false); }},
    {"UYVY", 2,
     [](uint8_t* d, int32_t pitch, const yuv_buffer& yuv) { ktv::YUVToPacked(d, pitch, yuv, true); }},
};

struct tLayout {
  const char* Name;
  int Columns, Rows;
};

const tLayout kLayouts[] = {{"YUV", 2, 2}, {"YUV422", 2, 1}, {"YUV444", 1, 1}};

void ConvertFrames(benchmark::State& state, ktv::tYUVPath path, const tFormat& format,
                   const tLayout& layout) {
  ktv::BuildYUVTables();
  ktv::SetYUVPath(path);
  ktv::bench::tYUVFrame frame(layout.Columns, layout.Rows);
  std::vector<uint8_t> dest(static_cast<size_t>(kYUVWidth) * kYUVHeight * format.BytesPerPixel);
  for (auto _ : state) {
    format.Convert(dest.data(), kYUVWidth * format.BytesPerPixel, frame.yuv);
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  ktv::bench::ReportMegapixels(state);
}

}  // namespace

int main(int argc, char** argv) {
  for (const tLayout& layout : kLayouts) {
    for (const tFormat& format : kFormats) {
      for (ktv::tYUVPath path : ktv::kYUVPaths) {
        if (!ktv::YUVPathSupported(path)) continue;
        const std::string name = std::string(layout.Name) + "/" + format.Name + "/" + ktv::YUVPathName(path);
        benchmark::RegisterBenchmark(name.c_str(), ConvertFrames, path, format, layout)
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
