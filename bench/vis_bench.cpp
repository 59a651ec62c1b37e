// Visualisation speed: time per RenderFrame at the default maximum render size (352 x 288) and at full screen
// (1920 x 1080), averaged over every combination of background, foreground and extra step the effect choice
// can make; and the 768-point FFT the beat detector runs about 57 times a second. Targets (one core): under 1
// ms per frame at 352 x 288, under 12 ms at 1920 x 1080.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <numbers>
#include <random>
#include <vector>

#include "vis/beat_detector.h"
#include "vis/complex_fft.h"
#include "vis/visulisation_renderer.h"

namespace {

using ktv::TVisulisationRenderer;

// CPU time of this thread: the figure is per core, and the machine running it may be shared.
double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Sound with a beat, so that the spectrum, the waveform and the peak have something to show.
void FeedMusic(ktv::tBeatDetector& detector) {
  std::vector<int16_t> pcm(768 * 3 * 2);
  for (size_t f = 0; f < pcm.size() / 2; ++f) {
    double t = static_cast<double>(f) / 44100;
    double s =
        0.4 * std::cos(2 * std::numbers::pi * 229.6875 * t) + 0.3 * std::sin(2 * std::numbers::pi * 1800 * t);
    pcm[2 * f] = pcm[2 * f + 1] = static_cast<int16_t>(std::lround(s * 32767));
  }
  detector.AddSamples(pcm.data(), static_cast<int32_t>(pcm.size() / 2));
}

void BM_RenderFrame(benchmark::State& state) {
  const auto width = static_cast<int32_t>(state.range(0)), height = static_cast<int32_t>(state.range(1));
  ktv::tBeatDetector detector;
  detector.Create(44100, 2);
  FeedMusic(detector);
  ktv::tVisRandom random(42);  // fixed seed: the same pictures every run
  TVisulisationRenderer r(detector, [&random](int32_t n) { return random(n); });
  uint32_t now = 100000;
  r.Recreate(width, height, now);
  r.Level = 0.7;
  int64_t frames = 0;
  double seconds = 0;
  for (auto _ : state) {
    seconds = 0, frames = 0;
    for (int32_t background = 0; background < 18; ++background) {
      for (int32_t kind = 0; kind < TVisulisationRenderer::kForegroundKinds; ++kind) {
        // Extra step: none, mirror (refused with a spectrum), pixelate (on beats), zoom, rotate.
        for (int32_t extra : {0, 2, 3, 4, 5}) {
          if (extra == 2 && kind > 8) continue;
          r.ForegroundKind = -1;                         // new foreground objects for every combination
          r.ForceEffects(background, kind, extra, now);  // maps are built on effect changes only: not timed
          for (int32_t f = 0; f < 2; ++f, now += 20) {
            bool beat = (frames % 4) == 0;
            double start = ThreadSeconds();
            r.RenderFrame(beat, now);
            seconds += ThreadSeconds() - start;
            ++frames;
            ++r.FrameCount;
          }
        }
      }
    }
    benchmark::DoNotOptimize(r.Surface->FrontBuffer());
    state.SetIterationTime(seconds);
  }
  double msPerFrame = seconds * 1000 / static_cast<double>(frames);
  state.counters["ms/frame"] = msPerFrame;
  state.counters["frames"] = static_cast<double>(frames);
  std::printf(
      "RenderFrame %dx%d: %.3f ms per frame over %lld frames of every effect combination (target %s)\n",
      width, height, msPerFrame, static_cast<long long>(frames), width <= 352 ? "< 1 ms" : "< 12 ms");
}
BENCHMARK(BM_RenderFrame)
    ->Args({352, 288})
    ->Args({1920, 1080})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_ComplexFFT768(benchmark::State& state) {
  ktv::tComplexFFT fft(768);
  std::mt19937 gen(5);
  std::uniform_real_distribution<float> dist(-1, 1);
  std::vector<ktv::TComplex> in(768), out(768);
  for (auto& v : in) v = {dist(gen), 0};
  for (auto _ : state) {
    fft.Transform(in.data(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_ComplexFFT768)->Unit(benchmark::kMicrosecond);

// One analysis block as the detector runs it: mixing 768 stereo frames, the FFT, bands and the beat test.
void BM_BeatDetectorBlock(benchmark::State& state) {
  ktv::tBeatDetector detector;
  detector.Create(44100, 2);
  std::vector<int16_t> pcm(768 * 2);
  std::mt19937 gen(9);
  for (auto& s : pcm) s = static_cast<int16_t>(gen() % 20000) - 10000;
  for (auto _ : state) {
    detector.AddSamples(pcm.data(), 768);
    benchmark::DoNotOptimize(detector.Beat());
  }
}
BENCHMARK(BM_BeatDetectorBlock)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
