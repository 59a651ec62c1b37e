// The sound half of a playback back-end, without windows: what the back-end does with the decoding thread's
// sound events. tRingAudioOutput (looping ring, accelerated back-end) and tWaveOutAudioOutput (block queue,
// compatible back-end) derive from it; the back-end forwards its events here:
//   OnAudioData(samples, count) → WriteAudio, OnGetAudioTime → GetAudioTime, OnBufferState → SetBufferState,
//   OnPlaybackDone → IsPlaybackDone; the visualisation's played-frames request → GetPlayedFrames.
// This class holds what both share: opening a device for the stream's format (or taking the "no sound
// output" path), reopening it when a chain link changes the format, the volume, and the end by Shutdown.
//
// Threads: every operation runs on the main thread (the decoding thread and the visualisation reach it
// through synchronised calls). Closing a device may wait for the device's own threads, and that wait serves
// the main-thread call queue: a question arriving then is nested inside another operation. It is answered
// without touching the device (see each operation), so no caller needs to guard against it.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/audio_visualiser.h"
#include "platform/sound_device.h"

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
  tAudioOutput(const tAudioOutput&) = delete;
  tAudioOutput& operator=(const tAudioOutput&) = delete;

  // samples + count > 0: a block to play (count sample frames); true = taken (or dropped because there is no
  // output), false = no room now, offer the same block again later (also the answer to a nested call).
  // (null, −1): stop the sound (playback left the playing states); the position is kept. Returns true.
  // (null, 0): close the output completely. Returns true.
  bool WriteAudio(const int16_t* samples, int32_t count);
  // Seconds of sound heard since the output last restarted its count (a nested call: the last answer).
  double GetAudioTime();
  // Sample frames heard since the output last restarted its count (a nested call: the last answer).
  int64_t GetPlayedFrames();
  // True once everything written has been played out; then the count restarts from 0 for the next chain link
  // and the visualisation's position is reset. A nested call: false (ask again).
  bool IsPlaybackDone();
  // 0..65535; applied now and to every output opened later.
  void SetVolume(uint16_t volume);
  // Buffering indication from the thread: neither output shows it.
  void SetBufferState(bool /*buffering*/, uint8_t /*level*/) {}
  // Ends the output for good, just before the back-end is freed: no device opens after it.
  void Shutdown();

  // A device is open for the format below.
  bool IsOpen() const { return DeviceOpen(); }
  const tWaveFormat& Format() const { return WaveFormat; }

 protected:
  // visualisationSeconds: how much sound the visualisation keeps queued for this kind of output.
  tAudioOutput(tAudioOutputLinks links, int32_t visualisationSeconds);

  // The device's own half. Each runs inside one of the operations above, never nested.
  // Opens the device for the format (WaveFormat already describes it); false when it cannot play it.
  virtual bool OpenDevice(const tAudioFormat& format) = 0;
  // Closes the device (may wait for its threads); DeviceOpen is false as soon as the wait begins.
  virtual void CloseDevice() = 0;
  virtual bool DeviceOpen() const = 0;
  // Plays or queues a block: true taken, false full.
  virtual bool PlayBlock(const int16_t* samples, int32_t count) = 0;
  virtual void StopSound() = 0;
  virtual double DeviceAudioTime() = 0;
  virtual int64_t DevicePlayedFrames() = 0;
  // Whether the device has played everything out; when it has, its count restarts.
  virtual bool DevicePlaybackDone() = 0;
  virtual void ApplyVolume(uint16_t volume) = 0;

  tAudioOutputLinks Links;
  tWaveFormat WaveFormat;

 private:
  class tCall;
  void Open();
  void Close();

  const int32_t VisualisationSeconds;
  uint16_t CurrentVolume = 65535;
  bool Released = false;  // after Shutdown no device opens again
  bool InCall = false;    // an operation is running: a call arriving now is nested
  double LastAudioTime = 0;
  int64_t LastPlayedFrames = 0;
};

}  // namespace ktv
