#include "playback/pause_at_buffer_end.h"

#include <algorithm>

#include "platform/clock.h"

namespace ktv {

tPauseAtBufferEnd::tPauseAtBufferEnd(std::shared_ptr<tSoundRing> buffer, uint32_t ringBytes,
                                     uint32_t blockAlign, uint32_t sampleRate)
    : RingBytes(ringBytes), Buffer(std::move(buffer)), BlockAlign(blockAlign), SampleRate(sampleRate) {
  Start();
}

tPauseAtBufferEnd::~tPauseAtBufferEnd() {
  Terminate();
  WaitFor();
}

void tPauseAtBufferEnd::Execute() {
  // StartOffset starts at 0 in the constructor: a Restart made before this thread first runs must stand.
  while (!Terminated()) {
    int64_t ahead = Written() - Poll();
    // The cursor cannot reach the end of the written sound before it has played what is ahead of it: sleep
    // until then (new sound only moves the end further). Nothing ahead: the ring is parked, and the player
    // starts it only with a second queued (or full). Either way look at least twice a lap, so that no wrap of
    // the cursor is missed; while the end is awaited (Hurry), every millisecond.
    uint32_t wait = 1;
    if (Hurrying && HurryUntil - timeGetTime() > kHurryMs) Hurrying = false;  // the hurry has run out
    if (!Hurrying) {
      uint64_t bytesPerSecond = static_cast<uint64_t>(BlockAlign) * SampleRate;
      uint64_t ms =
          ahead > 0 && bytesPerSecond ? static_cast<uint64_t>(ahead) * 1000 / bytesPerSecond : UINT32_MAX;
      wait = static_cast<uint32_t>(std::clamp<uint64_t>(
          ms, kNormalPollInterval, std::max(kNormalPollInterval, RingMilliseconds() / 2)));
    }
    Pause(wait);
  }
}

int64_t tPauseAtBufferEnd::Poll() {
  tTimedLock lock(Mutex, kMutexWait);
  uint32_t cursor = 0;
  if (!Buffer->GetCurrentPosition(cursor)) return 0;
  if (cursor < LastPlayCursor) LapBase += RingBytes;  // the cursor wrapped
  LastPlayCursor = cursor;
  uint32_t status = 0;
  int64_t total = TotalWritten;
  if (static_cast<int64_t>(LapBase + cursor) >= total && Buffer->GetStatus(status) &&
      (status & DSBSTATUS_PLAYING)) {
    // Park the ring exactly at the next data until the player starts it again. The lap base is set from the
    // written total: when the overrun crossed the ring's end, adding a lap and then moving the cursor back
    // before the end would count a whole ring more than was ever written.
    uint32_t offset = WriteOffset;
    Buffer->Stop();
    Buffer->SetCurrentPosition(offset);
    cursor = offset;
    LastPlayCursor = offset;
    LapBase = static_cast<uint64_t>(total) - offset;
  }
  int64_t heard = std::max<int64_t>(static_cast<int64_t>(LapBase + cursor) - StartOffset, LastHeard);
  LastHeard = heard;
  return heard;
}

void tPauseAtBufferEnd::AddWritten(uint32_t bytes) {
  tTimedLock lock(Mutex, kMutexWait);
  WriteOffset = static_cast<uint32_t>((static_cast<uint64_t>(WriteOffset) + bytes) % RingBytes);
  TotalWritten += bytes;
}

int64_t tPauseAtBufferEnd::Written() {
  tTimedLock lock(Mutex, kMutexWait);
  return TotalWritten - StartOffset;
}

bool tPauseAtBufferEnd::NearEnd() {
  tTimedLock lock(Mutex, kMutexWait);
  uint32_t cursor = 0;
  if (!Buffer->GetCurrentPosition(cursor)) return false;
  int64_t tenth = static_cast<int64_t>(static_cast<double>(BlockAlign) * SampleRate * 0.1);
  return static_cast<int64_t>(LapBase + cursor) > TotalWritten - tenth;
}

void tPauseAtBufferEnd::Hurry() {
  HurryUntil = timeGetTime() + kHurryMs;
  Hurrying = true;
  Wake();
}

uint32_t tPauseAtBufferEnd::RingMilliseconds() const {
  uint64_t bytesPerSecond = static_cast<uint64_t>(BlockAlign) * SampleRate;
  return bytesPerSecond ? static_cast<uint32_t>(static_cast<uint64_t>(RingBytes) * 1000 / bytesPerSecond) : 0;
}

void tPauseAtBufferEnd::Restart() {
  tTimedLock lock(Mutex, kMutexWait);
  StartOffset = TotalWritten.load();
  LastHeard = INT64_MIN;
  Hurrying = false;
}

}  // namespace ktv
