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
    Poll();
    Sleep(PollInterval);
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

void tPauseAtBufferEnd::Restart() {
  tTimedLock lock(Mutex, kMutexWait);
  StartOffset = TotalWritten.load();
  LastHeard = INT64_MIN;
  PollInterval = kNormalPollInterval;
}

}  // namespace ktv
