#include "platform/manual_sound_device.h"

namespace ktv {

bool tManualSoundDevice::Open(int32_t sampleRate, int32_t channels, tSoundSource* source) {
  std::lock_guard<std::mutex> lock(Guard);
  Source = nullptr;
  if (RefuseOpen || source == nullptr || sampleRate <= 0 || channels <= 0) return false;
  Source = source;
  Rate = sampleRate;
  ChannelCount = channels;
  ++Opens;
  return true;
}

void tManualSoundDevice::Close() {
  std::lock_guard<std::mutex> lock(Guard);
  Source = nullptr;
}

bool tManualSoundDevice::Advance(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(Guard);
  if (Source == nullptr) return false;
  std::string& target = KeepPlayed ? Output : Scratch;
  size_t start = KeepPlayed ? Output.size() : 0;
  target.resize(start + bytes);
  Source->Render(reinterpret_cast<uint8_t*>(target.data() + start), bytes);
  return true;
}

bool tManualSoundDevice::IsOpen() {
  std::lock_guard<std::mutex> lock(Guard);
  return Source != nullptr;
}

int32_t tManualSoundDevice::SampleRate() {
  std::lock_guard<std::mutex> lock(Guard);
  return Rate;
}

int32_t tManualSoundDevice::Channels() {
  std::lock_guard<std::mutex> lock(Guard);
  return ChannelCount;
}

std::string tManualSoundDevice::Played() {
  std::lock_guard<std::mutex> lock(Guard);
  return Output;
}

void tManualSoundDevice::SetKeepPlayed(bool keep) {
  std::lock_guard<std::mutex> lock(Guard);
  KeepPlayed = keep;
}

int tManualSoundDevice::OpenCount() {
  std::lock_guard<std::mutex> lock(Guard);
  return Opens;
}

}  // namespace ktv
