// The sound output of the accelerated back-end: PCM blocks are copied into a looping two-second ring
// (tSoundRing) whose watcher (tPauseAtBufferEnd) counts the bytes heard, exactly; that count is the player's
// audio clock. Sound starts once a second is queued, so short stalls of the stream are never heard.
//
// Threads: every operation runs on the main thread (see tAudioOutput); the watcher runs on its own thread.
#pragma once

#include <cstdint>
#include <memory>

#include "playback/audio_output.h"
#include "playback/pause_at_buffer_end.h"

namespace ktv {

class tRingAudioOutput final : public tAudioOutput {
 public:
  explicit tRingAudioOutput(tAudioOutputLinks links);
  ~tRingAudioOutput() override;

  // Ring attenuation in hundredths of a decibel for a volume 0..65535: 1000 × log2 of the volume fraction
  // (each halving lowers the level by 10 dB), truncated, limited to −10000.
  static int32_t VolumeToAttenuation(uint16_t volume);

  // For tests and diagnostics: the open ring (null when none).
  tSoundRing* Ring() const { return SoundBuffer.get(); }

 protected:
  bool OpenDevice(const tAudioFormat& format) override;
  void CloseDevice() override;
  bool DeviceOpen() const override { return SoundBuffer != nullptr; }
  bool PlayBlock(const int16_t* samples, int32_t count) override;
  void StopSound() override;
  double DeviceAudioTime() override;
  int64_t DevicePlayedFrames() override;
  bool DevicePlaybackDone() override;
  void ApplyVolume(uint16_t volume) override;

 private:
  bool Playing();

  std::shared_ptr<tSoundRing> SoundBuffer;
  uint32_t WriteCursor = 0;
  std::unique_ptr<tPauseAtBufferEnd> Watcher;  // exists exactly while SoundBuffer does
};

}  // namespace ktv
