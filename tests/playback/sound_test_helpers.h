// Shared by the sound-output tests: a visualisation that records what it is told, and output links whose
// devices are manual (the test moves the play position) with the last device made kept at hand.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "platform/main_thread.h"
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

// A manual device whose Close first serves the main-thread call queue, as a close that waits for a device's
// own threads does: a call waiting then runs in the middle of the output's close.
class tServingDevice final : public tSoundDevice {
 public:
  explicit tServingDevice(std::unique_ptr<tManualSoundDevice> device) : Device(std::move(device)) {}
  bool Open(int32_t rate, int32_t channels, tSoundSource* source) override {
    return Device->Open(rate, channels, source);
  }
  void Close() override {
    DrainMainThreadCalls();
    Device->Close();
  }

 private:
  std::unique_ptr<tManualSoundDevice> Device;
};

struct tSoundHarness {
  tAudioFormat Format{44100, 2};
  tRecordingVisualiser Visualiser;
  tManualSoundDevice* Device = nullptr;  // the last device made
  int DevicesMade = 0;
  int NoSoundCalls = 0;
  bool RefuseOpen = false;
  bool CloseServesCalls = false;  // devices made are tServingDevice

  tAudioOutputLinks Links() {
    tAudioOutputLinks links;
    links.GetFormat = [this] { return Format; };
    links.Visualisation = &Visualiser;
    links.OnNoSoundOutput = [this] { ++NoSoundCalls; };
    links.CreateDevice = [this]() -> std::unique_ptr<tSoundDevice> {
      auto device = std::make_unique<tManualSoundDevice>(RefuseOpen);
      Device = device.get();
      ++DevicesMade;
      if (CloseServesCalls) return std::make_unique<tServingDevice>(std::move(device));
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
