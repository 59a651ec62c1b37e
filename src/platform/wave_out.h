// A queue of sound blocks played in order by a sound device: the block output under the compatible back-end.
// The caller owns the blocks (tWaveHeader) and their memory; it prepares a block, writes it, and finds out
// that the device has finished with it by polling WHDR_DONE in its flags (there is no completion callback).
//
// Threads: the operations run on the owner's thread (the main thread in the player); the device thread calls
// Render. Queue, position, pause and volume are guarded by one mutex; a block's Flags are atomic because the
// device sets WHDR_DONE while the owner polls it. A block must not be changed or freed while WHDR_INQUEUE is
// set.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/pull_clock.h"
#include "platform/sound_device.h"

namespace ktv {

// Block flags.
constexpr uint32_t WHDR_DONE = 0x1;      // the device has finished with the block
constexpr uint32_t WHDR_PREPARED = 0x2;  // prepared, may be written
constexpr uint32_t WHDR_INQUEUE = 0x10;  // queued or playing

struct tWaveHeader {
  uint8_t* Data = nullptr;  // the block's sound, interleaved signed 16-bit PCM
  uint32_t BufferLength = 0;
  uint64_t User = 0;  // free for the owner
  std::atomic<uint32_t> Flags{0};
};

class tWaveOut final : public tSoundSource {
 public:
  explicit tWaveOut(std::unique_ptr<tSoundDevice> device);
  ~tWaveOut() override;
  tWaveOut(const tWaveOut&) = delete;
  tWaveOut& operator=(const tWaveOut&) = delete;

  // Opens the device for this format, playing (not paused), position 0. False when there is no device for it.
  bool Open(int32_t sampleRate, int32_t channels);
  bool IsOpen() const { return Opened; }
  // Marks every queued block done and closes the device.
  void Close();

  bool PrepareHeader(tWaveHeader& header);
  // False while the block is still queued.
  bool UnprepareHeader(tWaveHeader& header);
  // Queues a prepared block (length a whole number of frames) behind the others.
  bool Write(tWaveHeader& header);
  // Ends every queued block (marked done), position back to 0, no longer paused.
  bool Reset();
  // Pause keeps the queue and the position; Restart plays on from there.
  bool Pause();
  bool Restart();
  // Position since Open or Reset in sample frames: the sound heard (the device's last pull is interpolated
  // over its duration). 64 bits, so that long streams never wrap. The one unit the player asks for.
  bool GetPosition(uint64_t& samples);
  // Linear volume: low 16 bits left, high 16 bits right (0xFFFF full). Mono takes the left value.
  bool SetVolume(uint32_t volume);
  uint32_t GetVolume();

  // Device thread.
  void Render(uint8_t* out, uint32_t bytes) override;

 private:
  void EndQueuedBlocks();  // Guard held
  // blockOffset: where bytes start in their block, so that each sample gets its channel's volume
  void ApplyVolume(uint8_t* bytes, uint32_t count, uint32_t blockOffset) const;  // Guard held

  std::unique_ptr<tSoundDevice> Device;
  bool Opened = false;  // owner's thread only
  std::mutex Guard;
  // guarded by Guard
  std::deque<tWaveHeader*> Queue;
  uint32_t HeadOffset = 0;  // bytes of the first queued block already played
  uint64_t PlayedBytes = 0;
  bool Paused = false;
  uint32_t Volume = 0xFFFFFFFF;
  uint32_t BlockAlign = 0;
  uint32_t SampleRate = 0;
  tPullClock Pull;  // PlayedBytes counts the last pull whole; the part of it not yet heard
};

}  // namespace ktv
