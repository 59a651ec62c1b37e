// The comparison for bench/yuv_bench: the same 1280x720 conversions by libswscale, one thread, nearest
// neighbour (no scaling happens). Built only where pkg-config finds libswscale; never part of the player.
extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "yuv_frame.h"

namespace {

using ktv::bench::kYUVHeight;
using ktv::bench::kYUVWidth;

SwsContext* MakeContext(AVPixelFormat to) {
  SwsContext* context = sws_alloc_context();
  if (!context) return nullptr;
  av_opt_set_int(context, "srcw", kYUVWidth, 0);
  av_opt_set_int(context, "srch", kYUVHeight, 0);
  av_opt_set_int(context, "src_format", AV_PIX_FMT_YUV420P, 0);
  av_opt_set_int(context, "dstw", kYUVWidth, 0);
  av_opt_set_int(context, "dsth", kYUVHeight, 0);
  av_opt_set_int(context, "dst_format", to, 0);
  av_opt_set_int(context, "sws_flags", SWS_POINT, 0);
  av_opt_set_int(context, "threads", 1, 0);  // older versions have no such option and use one thread anyway
  if (sws_init_context(context, nullptr, nullptr) < 0) {
    sws_freeContext(context);
    return nullptr;
  }
  return context;
}

void ConvertBySwscale(benchmark::State& state, AVPixelFormat to, int bytesPerPixel) {
  ktv::bench::tYUVFrame frame;
  SwsContext* context = MakeContext(to);
  if (!context) {
    state.SkipWithError("libswscale refused the conversion");
    return;
  }
  std::vector<uint8_t> dest(static_cast<size_t>(kYUVWidth) * kYUVHeight * bytesPerPixel);
  const uint8_t* const source[3] = {frame.yuv.y, frame.yuv.u, frame.yuv.v};
  const int sourceStrides[3] = {frame.yuv.y_stride, frame.yuv.uv_stride, frame.yuv.uv_stride};
  uint8_t* const target[1] = {dest.data()};
  const int targetStrides[1] = {kYUVWidth * bytesPerPixel};
  for (auto _ : state) {
    sws_scale(context, source, sourceStrides, 0, kYUVHeight, target, targetStrides);
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  sws_freeContext(context);
  ktv::bench::ReportMegapixels(state);
}

BENCHMARK_CAPTURE(ConvertBySwscale, RGB32, AV_PIX_FMT_BGR0, 4)
    ->Name("YUV/RGB32/swscale")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertBySwscale, RGB565, AV_PIX_FMT_RGB565LE, 2)
    ->Name("YUV/RGB565/swscale")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertBySwscale, RGB555, AV_PIX_FMT_RGB555LE, 2)
    ->Name("YUV/RGB555/swscale")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertBySwscale, YUY2, AV_PIX_FMT_YUYV422, 2)
    ->Name("YUV/YUY2/swscale")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertBySwscale, UYVY, AV_PIX_FMT_UYVY422, 2)
    ->Name("YUV/UYVY/swscale")
    ->Unit(benchmark::kMillisecond);

}  // namespace
