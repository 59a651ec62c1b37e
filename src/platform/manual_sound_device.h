// A sound device for tests: nothing plays until the test calls Advance, which pulls that many bytes from the
// source on the test's thread. The play position of a ring or block queue thus moves exactly where the test
// says.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/sound_device.h"

namespace ktv {

class tManualSoundDevice final : public tSoundDevice {
 public:
  // refuseOpen: the device behaves as a machine without sound (Open fails). realTime: each Advance is heard
  // over its own duration from the moment it is pulled, as a real device plays its pulls.
  explicit tManualSoundDevice(bool refuseOpen = false, bool realTime = false)
      : RefuseOpen(refuseOpen), RealTime(realTime) {}
  ~tManualSoundDevice() override { Close(); }

  bool Open(int32_t sampleRate, int32_t channels, tSoundSource* source) override;
  void Close() override;
  bool PlaysInRealTime() const override { return RealTime; }

  // Pulls bytes from the source as the device would while playing; the bytes are kept in Played().
  // False when the device is not open.
  bool Advance(uint32_t bytes);

  bool IsOpen();
  int32_t SampleRate();
  int32_t Channels();
  // Every byte pulled since the device was created (while keeping is on, the default).
  std::string Played();
  // Off: pulled bytes are thrown away (long benchmark runs).
  void SetKeepPlayed(bool keep);
  int OpenCount();

 private:
  const bool RefuseOpen;
  const bool RealTime;
  std::mutex Guard;  // guards everything below; Advance may run on another thread than Open/Close
  tSoundSource* Source = nullptr;
  int32_t Rate = 0;
  int32_t ChannelCount = 0;
  int Opens = 0;
  std::string Output;
  bool KeepPlayed = true;
  std::string Scratch;
};

}  // namespace ktv
