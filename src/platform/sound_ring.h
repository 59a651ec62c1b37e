// A looping buffer of sound with a play cursor, played by a sound device: the ring under the accelerated
// back-end's sound output. Once playing it loops over its bytes until stopped; whoever writes it keeps ahead
// of the play cursor (the ring never knows which bytes are fresh).
//
// Threads: every operation may be called from any thread (the player on the main thread, the ring watcher on
// its own); the device thread calls Render. All state is guarded by one mutex. Lock holds that mutex until
// Unlock, so the device never plays half-copied bytes: between the two, call nothing else on the ring.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/pull_clock.h"
#include "platform/sound_device.h"

namespace ktv {

// GetStatus bit: the ring is playing.
constexpr uint32_t DSBSTATUS_PLAYING = 0x1;
// Attenuation limits in hundredths of a decibel; the bottom is silence.
constexpr int32_t DSBVOLUME_MIN = -10000;
constexpr int32_t DSBVOLUME_MAX = 0;

class tSoundRing final : public tSoundSource {
 public:
  explicit tSoundRing(std::unique_ptr<tSoundDevice> device);
  ~tSoundRing() override;
  tSoundRing(const tSoundRing&) = delete;
  tSoundRing& operator=(const tSoundRing&) = delete;

  // Allocates a silent ring of the given bytes (a whole number of frames) and opens the device for this
  // format. False when the device refuses: the ring cannot be used.
  bool Create(int32_t sampleRate, int32_t channels, uint32_t bytes);
  uint32_t Size() const { return static_cast<uint32_t>(Data.size()); }

  // Plays looping from the play cursor.
  bool Play();
  // Stops; the play cursor stays where it is.
  bool Stop();
  // Status bits (DSBSTATUS_PLAYING).
  bool GetStatus(uint32_t& status);
  // Byte offset of the byte being heard: the device's last pull is interpolated over its duration.
  bool GetCurrentPosition(uint32_t& playCursor);
  bool SetCurrentPosition(uint32_t offset);
  // Gives the ring's bytes from offset on, bytes long, as one or two regions (the second when the range
  // wraps; otherwise null and 0). False for an offset or length outside the ring, or when already locked.
  bool Lock(uint32_t offset, uint32_t bytes, uint8_t*& region1, uint32_t& bytes1, uint8_t*& region2,
            uint32_t& bytes2);
  bool Unlock();
  // Attenuation in hundredths of a decibel, DSBVOLUME_MIN..DSBVOLUME_MAX.
  bool SetVolume(int32_t hundredthsOfDb);
  int32_t GetVolume();

  // Device thread.
  void Render(uint8_t* out, uint32_t bytes) override;

 private:
  void ApplyVolume(uint8_t* bytes, uint32_t count) const;

  std::unique_ptr<tSoundDevice> Device;
  bool Created = false;  // written before the device opens, read only after
  std::mutex Guard;
  // The thread between Lock and Unlock (it holds Guard); atomic because other threads compare against it.
  std::atomic<std::thread::id> LockedBy{};
  // guarded by Guard
  std::vector<uint8_t> Data;
  uint32_t PlayCursor = 0;
  bool Playing = false;
  int32_t Volume = DSBVOLUME_MAX;
  int32_t Gain = 65536;  // linear factor of Volume, 16.16 fixed point
  tPullClock Pull;       // PlayCursor is the end of the last pull; the part of it not yet heard
};

}  // namespace ktv
