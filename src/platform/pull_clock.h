// How much of a device's last pull has been heard. A device pulls a whole buffer at once (1024 frames, about
// 23 ms at 44.1 kHz) and plays it out over that time; a position that moved only at pulls would stand still
// for longer than one picture at 50 or 60 frames per second. Between pulls the heard part grows with the time
// since the pull, never beyond what the pull delivered, so a position read through it moves smoothly and
// never runs backwards (the next pull starts where the last one ends).
//
// Threads: owned by a sound source and used under the source's own lock (the device thread records pulls,
// the owner's thread reads).
#pragma once

#include <chrono>
#include <cstdint>

namespace ktv {

class tPullClock {
 public:
  // realTime: the device plays a pull over its duration (a real device); false: a pull counts as heard at
  // once (a device that a test moves by hand). bytesPerSecond and blockAlign describe the format.
  void Configure(bool realTime, uint32_t bytesPerSecond, uint32_t blockAlign);
  // The device has just taken this many bytes of sound (0 when it played silence).
  void Pulled(uint32_t bytes);
  // The position was set by hand: nothing of an earlier pull is still to come.
  void Clear() { PullBytes = 0; }
  // Bytes of the last pull not heard yet: a whole number of frames, at most what the pull delivered.
  uint32_t Unheard() const;

 private:
  bool RealTime = false;
  uint32_t BytesPerSecond = 0;
  uint32_t BlockAlign = 1;
  uint32_t PullBytes = 0;
  std::chrono::steady_clock::time_point PullTime;
};

}  // namespace ktv
