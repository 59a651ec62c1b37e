// What the sound outputs tell the visualisation about the sound they play. The visualisation system
// implements it; the outputs hold a pointer that may be null (no visualisation). All calls come from the main
// thread.
#pragma once

#include <cstdint>

namespace ktv {

class tAudioVisualiser {
 public:
  virtual ~tAudioVisualiser() = default;
  // A stream opened: interleaved 16-bit PCM of this format follows; QueueSeconds sizes the analysis queue.
  virtual void SetAudioFormat(int32_t sampleRate, int32_t channels, int32_t queueSeconds) = 0;
  // A block of interleaved 16-bit PCM was queued for output (FrameCount sample frames).
  virtual void AddAudio(const int16_t* samples, int32_t frameCount) = 0;
  // Playback (re)starts: the played-frames count starts again from 0.
  virtual void ResetPosition() = 0;
};

}  // namespace ktv
