// Shared by the sound-output tests: a visualisation that records what it is told, and output links whose
// devices are manual (the test moves the play position) with the last device made kept at hand.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "platform/manual_sound_device.h"
#include "playback/audio_output.h"

namespace ktv::test {

struct tRecordingVisualiser final : tAudioVisualiser {
  std::vector<std::vector<int32_t>> Formats;  // rate, channels, queue seconds
  int64_t FramesAdded = 0;
  int Blocks = 0;
  int Resets = 0;
  void SetAudioFormat(int32_t rate, int32_t channels, int32_t seconds) override {
    Formats.push_back({rate, channels, seconds});
  }
  void AddAudio(const int16_t*, int32_t frames) override {
    FramesAdded += frames;
    ++Blocks;
  }
  void ResetPosition() override { ++Resets; }
};

struct tSoundHarness {
  tAudioFormat Format{44100, 2};
  tRecordingVisualiser Visualiser;
  tManualSoundDevice* Device = nullptr;  // the last device made
  int DevicesMade = 0;
  int NoSoundCalls = 0;
  bool RefuseOpen = false;

  tAudioOutputLinks Links() {
    tAudioOutputLinks links;
    links.GetFormat = [this] { return Format; };
    links.Visualisation = &Visualiser;
    links.OnNoSoundOutput = [this] { ++NoSoundCalls; };
    links.CreateDevice = [this]() -> std::unique_ptr<tSoundDevice> {
      auto device = std::make_unique<tManualSoundDevice>(RefuseOpen);
      Device = device.get();
      ++DevicesMade;
      return device;
    };
    return links;
  }
};

// Interleaved samples counting up from first (wrapping at 16 bits), so any byte out of place shows.
inline std::vector<int16_t> Pcm(int32_t frames, int32_t channels, int32_t first) {
  std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(first + static_cast<int32_t>(i));
  return samples;
}

inline std::string Bytes(const std::vector<int16_t>& samples) {
  return std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 2);
}

}  // namespace ktv::test
