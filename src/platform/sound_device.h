// The sound device under the looping ring (tSoundRing) and the block queue (tWaveOut): a device that pulls
// interleaved signed 16-bit PCM from a source at the pace it plays. The SDL implementation plays it; the
// manual one (manual_sound_device.h) lets a test move the play position by hand.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace ktv {

// What a device plays. Render runs on the device's own thread (or the test's thread for the manual device);
// the source guards its own state against the thread that feeds it.
class tSoundSource {
 public:
  virtual ~tSoundSource() = default;
  // Fills exactly Bytes bytes of interleaved signed 16-bit PCM (silence when there is nothing to play).
  virtual void Render(uint8_t* out, uint32_t bytes) = 0;
};

// One open stream to a sound device. Open, Close and the destructor run on the thread that owns the device
// (the main thread in the player); after Close returns, Render is never called again.
class tSoundDevice {
 public:
  virtual ~tSoundDevice() = default;
  // Starts pulling from source at once. False when the device cannot play this format (or there is no
  // device): the caller's "no sound output" path.
  virtual bool Open(int32_t sampleRate, int32_t channels, tSoundSource* source) = 0;
  virtual void Close() = 0;
  // True when the device plays each pull over the pull's own duration (a real device), so that a position
  // between pulls is interpolated; false when a pull counts as heard at once (the manual device).
  virtual bool PlaysInRealTime() const { return false; }
};

using tSoundDeviceFactory = std::function<std::unique_ptr<tSoundDevice>()>;

// The real device: SDL2 audio (SDL picks the driver; SDL_AUDIODRIVER=dummy or disk serve tests).
std::unique_ptr<tSoundDevice> CreateSDLSoundDevice();

}  // namespace ktv
