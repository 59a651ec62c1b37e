#include "vis/beat_detector.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "vis/vis_math.h"

namespace ktv {

namespace {
constexpr int32_t kBandRate = 48000;  // the rate at which all 64 bands exist
constexpr int32_t kHalfBlock = tBeatDetector::kBlockLength / 2;
}  // namespace

tBeatDetector::tBeatDetector() {
  Create(0, 1);
}

void tBeatDetector::Create(int32_t sampleRate, int32_t channels) {
  for (auto& b : Block) b = {};
  for (auto& slot : BlockRing)
    for (auto& b : slot) b = {};
  for (auto& t : Transformed) t = {};
  Bands.fill(0);
  History.fill(0);
  for (auto& w : WaveSnapshot) w.store(0, std::memory_order_relaxed);
  for (auto& s : Spectrum) s.store(0, std::memory_order_relaxed);
  BeatValue.store(false, std::memory_order_relaxed);
  PeakValue.store(0, std::memory_order_relaxed);
  BeatTotal.store(0, std::memory_order_relaxed);
  FillCount = 0;
  BlocksSinceBeat = 0;
  HistoryPos = 0;
  RingSlot = 0;
  SampleRate = std::max(sampleRate, 0);
  Channels = std::max(channels, 1);
  MinBeatGap = SampleRate / kBlockLength / 4;
}

int32_t tBeatDetector::GetBandCount() const {
  int64_t count = static_cast<int64_t>(SampleRate) * kMaxBands / kBandRate;
  return static_cast<int32_t>(std::min<int64_t>(count, kMaxBands));
}

void tBeatDetector::AddSamples(const int16_t* samples, int32_t frameCount) {
  int32_t peak = 0;
  if (frameCount >= 1 && samples != nullptr) {
    for (int32_t f = 0; f < frameCount; ++f) {
      const int16_t* frame = samples + static_cast<ptrdiff_t>(f) * Channels;
      int32_t sum = 0;
      for (int32_t c = 0; c < Channels; ++c) sum += frame[c];
      int32_t mono = sum / Channels;  // truncates toward zero
      peak = std::max(peak, std::abs(mono));
      Block[static_cast<size_t>(FillCount)] = {static_cast<float>(mono / 32768.0), 0.0f};
      if (++FillCount == kBlockLength) {
        BlockRing[static_cast<size_t>(RingSlot)] = Block;
        RingSlot = (RingSlot + 1) % 3;
        if (RingSlot == 0) {
          // The drawn waveform changes only every third block, all at once.
          size_t at = 0;
          for (const auto& slot : BlockRing)
            for (const TComplex& v : slot) WaveSnapshot[at++].store(v.Re, std::memory_order_relaxed);
        }
        Analyse();
        FillCount = 0;
      }
    }
  }
  PeakValue.store(peak, std::memory_order_relaxed);
}

void tBeatDetector::Analyse() {
  FFT.Transform(Block.data(), Transformed.data());
  for (size_t i = 0; i < Transformed.size(); ++i) {
    Spectrum[2 * i].store(Transformed[i].Re, std::memory_order_relaxed);
    Spectrum[2 * i + 1].store(Transformed[i].Im, std::memory_order_relaxed);
  }
  Bands.fill(0);
  int32_t bandCount = GetBandCount();
  for (int32_t i = 0; i < kHalfBlock; ++i) {
    // Real parts of the bin and its mirror (767 - i, as the energies were tuned with), not magnitudes.
    int32_t b = MulDiv(i, bandCount, kHalfBlock) - 1;
    if (b >= 0 && b < kMaxBands) {
      Bands[static_cast<size_t>(b)] += std::fabs(Transformed[static_cast<size_t>(i)].Re) +
                                       std::fabs(Transformed[static_cast<size_t>(kBlockLength - 1 - i)].Re);
    }
  }
  double energy = 0;
  for (int32_t b = 1; b <= 8; ++b) energy += Bands[static_cast<size_t>(b)];
  energy /= 4;

  bool beat = false;
  if (++BlocksSinceBeat >= MinBeatGap) {
    beat = true;
    for (int32_t j = 1; j <= kHistoryLength; ++j) {
      if (kBeatFactor * History[static_cast<size_t>(j)] >= energy) {
        beat = false;
        break;
      }
    }
    if (beat) {
      BlocksSinceBeat = 0;
      BeatTotal.store(BeatTotal.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }
  }
  BeatValue.store(beat, std::memory_order_relaxed);
  if (++HistoryPos > kHistoryLength) HistoryPos = 1;
  History[static_cast<size_t>(HistoryPos)] = energy;
}

TComplex tBeatDetector::GetSpectrumBin(int32_t index) const {
  size_t i = static_cast<size_t>(index);
  return {Spectrum[2 * i].load(std::memory_order_relaxed),
          Spectrum[2 * i + 1].load(std::memory_order_relaxed)};
}

float tBeatDetector::GetWaveSample(int32_t index) const {
  return WaveSnapshot[static_cast<size_t>(index)].load(std::memory_order_relaxed);
}

}  // namespace ktv
