#include "platform/sound_ring.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ktv {

tSoundRing::tSoundRing(std::unique_ptr<tSoundDevice> device) : Device(std::move(device)) {}

tSoundRing::~tSoundRing() {
  // Close before the bytes go: the device may be inside Render.
  if (Device) Device->Close();
}

bool tSoundRing::Create(int32_t sampleRate, int32_t channels, uint32_t bytes) {
  if (Created || !Device || sampleRate <= 0 || channels <= 0 || bytes == 0) return false;
  uint32_t blockAlign = 2 * static_cast<uint32_t>(channels);
  if (bytes % blockAlign != 0) return false;
  {
    std::lock_guard<std::mutex> lock(Guard);
    Data.assign(bytes, 0);
    Pull.Configure(Device->PlaysInRealTime(), static_cast<uint32_t>(sampleRate) * blockAlign, blockAlign);
  }
  if (!Device->Open(sampleRate, channels, this)) return false;
  Created = true;
  return true;
}

bool tSoundRing::Play() {
  std::lock_guard<std::mutex> lock(Guard);
  if (!Created) return false;
  Playing = true;
  return true;
}

bool tSoundRing::Stop() {
  std::lock_guard<std::mutex> lock(Guard);
  if (!Created) return false;
  Playing = false;
  return true;
}

bool tSoundRing::GetStatus(uint32_t& status) {
  std::lock_guard<std::mutex> lock(Guard);
  if (!Created) return false;
  status = Playing ? DSBSTATUS_PLAYING : 0;
  return true;
}

bool tSoundRing::GetCurrentPosition(uint32_t& playCursor) {
  std::lock_guard<std::mutex> lock(Guard);
  if (!Created) return false;
  uint32_t size = static_cast<uint32_t>(Data.size());
  uint32_t unheard = std::min(Pull.Unheard(), size - 1);
  playCursor = (PlayCursor + size - unheard) % size;
  return true;
}

bool tSoundRing::SetCurrentPosition(uint32_t offset) {
  std::lock_guard<std::mutex> lock(Guard);
  if (!Created || offset >= Data.size()) return false;
  PlayCursor = offset;
  Pull.Clear();
  return true;
}

bool tSoundRing::Lock(uint32_t offset, uint32_t bytes, uint8_t*& region1, uint32_t& bytes1, uint8_t*& region2,
                      uint32_t& bytes2) {
  if (LockedBy == std::this_thread::get_id()) return false;  // would wait on itself
  Guard.lock();
  uint32_t size = static_cast<uint32_t>(Data.size());
  if (!Created || offset >= size || bytes == 0 || bytes > size) {
    Guard.unlock();
    return false;
  }
  LockedBy = std::this_thread::get_id();
  region1 = Data.data() + offset;
  bytes1 = std::min(bytes, size - offset);
  bytes2 = bytes - bytes1;
  region2 = bytes2 > 0 ? Data.data() : nullptr;
  return true;  // Guard stays held until Unlock
}

bool tSoundRing::Unlock() {
  if (LockedBy != std::this_thread::get_id()) return false;
  LockedBy = std::thread::id();
  Guard.unlock();
  return true;
}

bool tSoundRing::SetVolume(int32_t hundredthsOfDb) {
  std::lock_guard<std::mutex> lock(Guard);
  if (!Created || hundredthsOfDb < DSBVOLUME_MIN || hundredthsOfDb > DSBVOLUME_MAX) return false;
  Volume = hundredthsOfDb;
  // The bottom of the range is silence, not a 100 dB cut.
  Gain = hundredthsOfDb <= DSBVOLUME_MIN
             ? 0
             : static_cast<int32_t>(std::lround(65536.0 * std::pow(10.0, hundredthsOfDb / 2000.0)));
  return true;
}

int32_t tSoundRing::GetVolume() {
  std::lock_guard<std::mutex> lock(Guard);
  return Volume;
}

void tSoundRing::ApplyVolume(uint8_t* bytes, uint32_t count) const {
  if (Gain >= 65536) return;
  for (uint32_t i = 0; i + 1 < count; i += 2) {
    int16_t sample;
    std::memcpy(&sample, bytes + i, 2);
    sample = static_cast<int16_t>((static_cast<int64_t>(sample) * Gain) / 65536);
    std::memcpy(bytes + i, &sample, 2);
  }
}

void tSoundRing::Render(uint8_t* out, uint32_t bytes) {
  std::lock_guard<std::mutex> lock(Guard);
  uint32_t size = static_cast<uint32_t>(Data.size());
  if (!Playing || size == 0) {
    std::memset(out, 0, bytes);
    Pull.Pulled(0);
    return;
  }
  Pull.Pulled(bytes);
  uint32_t done = 0;
  while (done < bytes) {
    uint32_t run = std::min(bytes - done, size - PlayCursor);
    std::memcpy(out + done, Data.data() + PlayCursor, run);
    done += run;
    PlayCursor = (PlayCursor + run) % size;
  }
  ApplyVolume(out, bytes);
}

}  // namespace ktv
