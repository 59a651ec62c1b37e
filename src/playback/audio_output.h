// The sound half of a playback back-end, without windows: what the back-end does with the decoding thread's
// sound events. tRingAudioOutput (looping ring, accelerated back-end) and tWaveOutAudioOutput (block queue,
// compatible back-end) implement it; the back-end forwards its events here:
//   OnAudioData(samples, count) → WriteAudio, OnGetAudioTime → GetAudioTime, OnBufferState → SetBufferState,
//   OnPlaybackDone → IsPlaybackDone; the visualisation's played-frames request → GetPlayedFrames.
//
// Threads: every operation runs on the main thread (the decoding thread reaches it through synchronised
// calls).
#pragma once

#include <cstdint>
#include <functional>

#include "platform/sound_device.h"
#include "platform/audio_visualiser.h"

namespace ktv {

// Format of the sound the decoding thread hands over (from its Vorbis decoder): interleaved signed 16-bit
// PCM.
struct tAudioFormat {
  int32_t SampleRate = 0;
  int32_t Channels = 0;
};

// The format an output opened its device with (16 bits per sample, interleaved).
struct tWaveFormat {
  int32_t Channels = 0;
  int32_t SamplesPerSec = 0;
  int32_t BlockAlign = 0;      // bytes per sample frame: 2 × channels
  int32_t AvgBytesPerSec = 0;  // SamplesPerSec × BlockAlign
};

inline tWaveFormat MakeWaveFormat(const tAudioFormat& format) {
  tWaveFormat wave;
  wave.Channels = format.Channels;
  wave.SamplesPerSec = format.SampleRate;
  wave.BlockAlign = 2 * format.Channels;
  wave.AvgBytesPerSec = format.SampleRate * wave.BlockAlign;
  return wave;
}

// Formats a sound output opens; anything else (a damaged or hostile header) takes the "no sound output" path
// instead of sizing buffers from it.
constexpr int32_t kMaxSampleRate = 384000;
constexpr int32_t kMaxChannels = 8;
inline bool IsPlayableFormat(const tAudioFormat& format) {
  return format.SampleRate >= 1 && format.SampleRate <= kMaxSampleRate && format.Channels >= 1 &&
         format.Channels <= kMaxChannels;
}

// What an output is wired to; everything is called on the main thread.
struct tAudioOutputLinks {
  // The format of the stream now playing (the attached thread's Vorbis decoder); asked when a block arrives.
  std::function<tAudioFormat()> GetFormat;
  // The visualisation; may be null.
  tAudioVisualiser* Visualisation = nullptr;
  // Called when the output cannot be opened: the back-end unbinds OnAudioData and OnGetAudioTime from the
  // thread, which then times pictures by the wall clock. May be empty.
  std::function<void()> OnNoSoundOutput;
  // Makes the sound device; empty means the SDL device.
  tSoundDeviceFactory CreateDevice;
};

class tAudioOutput {
 public:
  virtual ~tAudioOutput() = default;
  // samples + count > 0: a block to play (count sample frames); true = taken (or dropped because there is no
  // output), false = no room now, offer the same block again later.
  // (null, −1): stop the sound (playback left the playing states); the position is kept. Returns true.
  // (null, 0): close the output completely. Returns true.
  virtual bool WriteAudio(const int16_t* samples, int32_t count) = 0;
  // Seconds of sound heard since the output last restarted its count.
  virtual double GetAudioTime() = 0;
  // Sample frames heard since the output last restarted its count.
  virtual int64_t GetPlayedFrames() = 0;
  // True once everything written has been played out; then the count restarts from 0 for the next chain link
  // and the visualisation's position is reset.
  virtual bool IsPlaybackDone() = 0;
  // 0..65535; applied now and to every output opened later.
  virtual void SetVolume(uint16_t volume) = 0;
  // Buffering indication from the thread: neither output shows it.
  virtual void SetBufferState(bool /*buffering*/, uint8_t /*level*/) {}
  // Ends the output for good, just before the back-end is freed.
  virtual void Shutdown() = 0;
};

}  // namespace ktv
