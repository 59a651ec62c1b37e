// The sound output of the compatible back-end: each PCM block goes to the device as one of 40 queued blocks
// (tWaveOut); a block is reused once the device has marked it WHDR_DONE. Sound starts with the first block;
// the audio clock is the device's own play position.
//
// Threads: every operation runs on the main thread (see tAudioOutput); the device marks blocks done on its
// own thread, and this class only reads those flags.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "platform/wave_out.h"
#include "playback/audio_output.h"

namespace ktv {

class tWaveOutAudioOutput final : public tAudioOutput {
 public:
  static constexpr int kBlockCount = 40;
  // Playback counts as done when at most two blocks are still queued.
  static constexpr int kDoneFreeBlocks = 38;

  explicit tWaveOutAudioOutput(tAudioOutputLinks links);
  ~tWaveOutAudioOutput() override;

  // For tests and diagnostics.
  tWaveOut* Device() const { return WaveOut.get(); }
  bool IsPaused() const { return Paused; }
  // Bytes of memory held by block i (0..39).
  uint64_t BlockCapacity(int i) const { return Blocks[i].User; }

 protected:
  bool OpenDevice(const tAudioFormat& format) override;
  void CloseDevice() override;
  bool DeviceOpen() const override { return WaveOut != nullptr; }
  bool PlayBlock(const int16_t* samples, int32_t count) override;
  void StopSound() override;
  double DeviceAudioTime() override;
  int64_t DevicePlayedFrames() override;
  bool DevicePlaybackDone() override;
  void ApplyVolume(uint16_t volume) override;

 private:
  bool IsFree(const tWaveHeader& block) const;
  int FreeBlocks() const;

  // Each block's Data is its memory (owned by BlockMemory); User holds the capacity in bytes.
  std::array<tWaveHeader, kBlockCount> Blocks;
  std::array<std::unique_ptr<uint8_t[]>, kBlockCount> BlockMemory;
  std::unique_ptr<tWaveOut> WaveOut;  // null when no output is open
  bool Paused = false;
  int64_t FramesWritten = 0;  // sample frames handed to the device since the output opened
  int64_t PlayedBase = 0;     // device position (frames) that counts as 0
};

}  // namespace ktv
