// Turns the sound being played into what the visualisation draws from: a beat flag, a peak level, a 768-bin
// spectrum and a 2304-sample waveform snapshot.
//
// Thread contract: one thread feeds (AddSamples, Create) at a time. The drawing thread may read Beat, Peak,
// GetSpectrumBin and GetWaveSample while another thread feeds; those values are atomics, so every read sees a
// whole value (old or new), and one drawn frame may mix two consecutive blocks.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "vis/complex_fft.h"

namespace ktv {

class tBeatDetector {
 public:
  static constexpr int32_t kBlockLength = 768;                  // frames per analysis block (2^8 * 3)
  static constexpr int32_t kSnapshotLength = 3 * kBlockLength;  // three blocks make the drawn waveform
  static constexpr int32_t kMaxBands = 64;
  static constexpr int32_t kHistoryLength = 10;  // a beat must beat the ten blocks before it
  static constexpr double kBeatFactor = 1.2;

  tBeatDetector();
  // Starts afresh for a new audio format: every field back to zero, then the format and the beat gap.
  // Channels below 1 count as 1; a rate below 1 counts as 1.
  void Create(int32_t sampleRate, int32_t channels);

  // FrameCount interleaved frames of Channels signed 16-bit samples; analyses each completed 768-frame block.
  void AddSamples(const int16_t* samples, int32_t frameCount);

  TComplex GetSpectrumBin(int32_t index) const;  // 0..767
  float GetWaveSample(int32_t index) const;      // 0..2303, in [-1, 1]
  bool Beat() const { return BeatValue.load(std::memory_order_relaxed); }
  int32_t Peak() const { return PeakValue.load(std::memory_order_relaxed); }  // 0..32768, of the last call
  // Beats found since Create. Beat alone keeps the last block's result until the next block, so a feeder that
  // polls it after every call would count one beat twice or, over several blocks, miss one; the count does
  // not.
  uint32_t BeatCount() const { return BeatTotal.load(std::memory_order_relaxed); }

  // Feeding thread only (tests look at the analysis through these).
  double GetBand(int32_t index) const { return Bands[static_cast<size_t>(index)]; }
  int32_t GetBandCount() const;
  int32_t GetMinBeatGap() const { return MinBeatGap; }
  int32_t GetSampleRate() const { return SampleRate; }
  int32_t GetChannels() const { return Channels; }

 private:
  void Analyse();

  // Feeding thread only.
  std::array<TComplex, kBlockLength> Block;
  std::array<std::array<TComplex, kBlockLength>, 3> BlockRing;
  std::array<TComplex, kBlockLength> Transformed;
  std::array<double, kMaxBands> Bands;
  int32_t FillCount = 0;
  int32_t SampleRate = 0;
  int32_t Channels = 1;
  std::array<double, kHistoryLength + 1> History;  // positions 1..10 are used
  int32_t BlocksSinceBeat = 0;
  int32_t MinBeatGap = 0;
  int32_t HistoryPos = 0;
  int32_t RingSlot = 0;
  tComplexFFT FFT{kBlockLength};

  // Written by the feeding thread, read by the drawing thread (relaxed atomics: whole values, no ordering).
  std::array<std::atomic<float>, kSnapshotLength> WaveSnapshot;  // real parts only; the rest is never read
  std::array<std::atomic<float>, 2 * kBlockLength> Spectrum;     // real, imaginary pairs
  std::atomic<bool> BeatValue{false};
  std::atomic<int32_t> PeakValue{0};
  std::atomic<uint32_t> BeatTotal{0};
};

}  // namespace ktv
