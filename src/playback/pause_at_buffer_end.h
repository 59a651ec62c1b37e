// The ring watcher: follows the play cursor of a tSoundRing, counts its laps round the ring, and stops the
// ring when the cursor reaches the end of the written sound, so that an underrun plays silence instead of
// replaying stale sound. Its count of bytes heard is the player's audio clock.
//
// Threads: the watcher thread polls as often as the sound ahead of the cursor requires (every ms while
// Hurry); the main thread calls Poll, AddWritten, Written, NearEnd, Restart and Hurry. The counters are
// atomics and every read-modify-write of them happens under Mutex (bounded at 1000 ms; a timed-out wait goes
// on without it, the atomics keep that safe).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/sound_ring.h"
#include "platform/thread.h"
#include "platform/timed_mutex.h"

namespace ktv {

class tPauseAtBufferEnd final : public tThread {
 public:
  // Starts the thread at once. The watcher shares ownership of the ring.
  tPauseAtBufferEnd(std::shared_ptr<tSoundRing> buffer, uint32_t ringBytes, uint32_t blockAlign,
                    uint32_t sampleRate);
  // Ends the thread and waits for it.
  ~tPauseAtBufferEnd() override;

  // Bytes heard since the count last restarted; stops the ring at the end of the written sound. Never less
  // than an earlier answer since the restart: parking the ring after an overrun takes the count back to what
  // was written, and the clock read from it must not run backwards.
  int64_t Poll();
  // The player wrote bytes more at WriteOffset.
  void AddWritten(uint32_t bytes);
  // Bytes written since the count last restarted.
  int64_t Written();
  // Less than a tenth of a second of written sound is still ahead of the play cursor.
  bool NearEnd();
  // The count starts again from 0 (a new chain link); polling slows down again.
  void Restart();
  // Poll every millisecond while the end of playback is awaited: from now until kHurryMs after the last call
  // (the decoding thread asks again every few milliseconds while it waits; a single question, when a decoder
  // merely found no packet for a moment, must not keep the watcher spinning for the rest of the link).
  void Hurry();

 protected:
  void Execute() override;

 private:
  // The shortest sleep between polls while playing; the watcher sleeps longer while much sound is ahead.
  static constexpr uint32_t kNormalPollInterval = 15;
  static constexpr uint32_t kHurryMs = 50;
  static constexpr uint32_t kMutexWait = 1000;

  uint32_t RingMilliseconds() const;

  const uint32_t RingBytes;
  std::atomic<uint32_t> WriteOffset{0};
  std::shared_ptr<tSoundRing> Buffer;
  tTimedMutex Mutex;
  std::atomic<uint64_t> LapBase{0};
  std::atomic<int64_t> TotalWritten{0};
  std::atomic<int64_t> StartOffset{0};
  std::atomic<uint32_t> LastPlayCursor{0};
  std::atomic<uint32_t> HurryUntil{0};  // timeGetTime() up to which the watcher polls every millisecond
  std::atomic<bool> Hurrying{false};
  std::atomic<int64_t> LastHeard{INT64_MIN};  // the largest answer of Poll since the last restart
  const uint32_t BlockAlign;
  const uint32_t SampleRate;
};

}  // namespace ktv
