#include "platform/wave_out.h"

#include <algorithm>
#include <cstring>

namespace ktv {

tWaveOut::tWaveOut(std::unique_ptr<tSoundDevice> device) : Device(std::move(device)) {}

tWaveOut::~tWaveOut() {
  Close();
}

bool tWaveOut::Open(int32_t sampleRate, int32_t channels) {
  Close();
  if (!Device || sampleRate <= 0 || channels <= 0) return false;
  {
    std::lock_guard<std::mutex> lock(Guard);
    BlockAlign = 2 * static_cast<uint32_t>(channels);
    SampleRate = static_cast<uint32_t>(sampleRate);
    PlayedBytes = 0;
    HeadOffset = 0;
    Paused = false;
    Pull.Configure(Device->PlaysInRealTime(), SampleRate * BlockAlign, BlockAlign);
  }
  if (!Device->Open(sampleRate, channels, this)) return false;
  Opened = true;
  return true;
}

void tWaveOut::Close() {
  if (!Opened) return;
  Device->Close();
  Opened = false;
  std::lock_guard<std::mutex> lock(Guard);
  EndQueuedBlocks();
}

void tWaveOut::EndQueuedBlocks() {
  for (tWaveHeader* header : Queue) {
    header->Flags = (header->Flags.load() & ~WHDR_INQUEUE) | WHDR_DONE;
  }
  Queue.clear();
  HeadOffset = 0;
}

bool tWaveOut::PrepareHeader(tWaveHeader& header) {
  if (!Opened || header.Data == nullptr) return false;
  if (header.Flags & WHDR_INQUEUE) return false;
  header.Flags |= WHDR_PREPARED;
  return true;
}

bool tWaveOut::UnprepareHeader(tWaveHeader& header) {
  if (!Opened) return false;
  if (header.Flags & WHDR_INQUEUE) return false;
  header.Flags &= ~WHDR_PREPARED;
  return true;
}

bool tWaveOut::Write(tWaveHeader& header) {
  if (!Opened) return false;
  std::lock_guard<std::mutex> lock(Guard);
  uint32_t flags = header.Flags;
  if (!(flags & WHDR_PREPARED) || (flags & WHDR_INQUEUE)) return false;
  if (header.BufferLength % BlockAlign != 0) return false;
  header.Flags = (flags & ~WHDR_DONE) | WHDR_INQUEUE;
  Queue.push_back(&header);
  return true;
}

bool tWaveOut::Reset() {
  if (!Opened) return false;
  std::lock_guard<std::mutex> lock(Guard);
  EndQueuedBlocks();
  PlayedBytes = 0;
  Pull.Clear();
  Paused = false;
  return true;
}

bool tWaveOut::Pause() {
  if (!Opened) return false;
  std::lock_guard<std::mutex> lock(Guard);
  Paused = true;
  return true;
}

bool tWaveOut::Restart() {
  if (!Opened) return false;
  std::lock_guard<std::mutex> lock(Guard);
  Paused = false;
  return true;
}

bool tWaveOut::GetPosition(uint64_t& samples) {
  if (!Opened) return false;
  std::lock_guard<std::mutex> lock(Guard);
  samples = (PlayedBytes - std::min<uint64_t>(Pull.Unheard(), PlayedBytes)) / BlockAlign;
  return true;
}

bool tWaveOut::SetVolume(uint32_t volume) {
  if (!Opened) return false;
  std::lock_guard<std::mutex> lock(Guard);
  Volume = volume;
  return true;
}

uint32_t tWaveOut::GetVolume() {
  std::lock_guard<std::mutex> lock(Guard);
  return Volume;
}

void tWaveOut::ApplyVolume(uint8_t* bytes, uint32_t count, uint32_t blockOffset) const {
  if (Volume == 0xFFFFFFFF) return;
  int64_t left = Volume & 0xFFFF;
  int64_t right = BlockAlign == 2 ? left : (Volume >> 16);
  uint32_t channels = BlockAlign / 2;
  for (uint32_t i = 0; i + 1 < count; i += 2) {
    int16_t sample;
    std::memcpy(&sample, bytes + i, 2);
    // Left is channel 0 and right channel 1; further channels follow the left value.
    int64_t factor = ((blockOffset + i) / 2) % channels == 1 ? right : left;
    sample = static_cast<int16_t>(sample * factor / 0xFFFF);
    std::memcpy(bytes + i, &sample, 2);
  }
}

void tWaveOut::Render(uint8_t* out, uint32_t bytes) {
  std::lock_guard<std::mutex> lock(Guard);
  uint32_t done = 0;
  while (!Paused && done < bytes && !Queue.empty()) {
    tWaveHeader* head = Queue.front();
    uint32_t run = std::min(bytes - done, head->BufferLength - HeadOffset);
    std::memcpy(out + done, head->Data + HeadOffset, run);
    ApplyVolume(out + done, run, HeadOffset);
    done += run;
    HeadOffset += run;
    PlayedBytes += run;
    if (HeadOffset >= head->BufferLength) {
      Queue.pop_front();
      HeadOffset = 0;
      head->Flags = (head->Flags.load() & ~WHDR_INQUEUE) | WHDR_DONE;
    }
  }
  Pull.Pulled(done);
  // Paused or starved: silence, and the position stands still.
  std::memset(out + done, 0, bytes - done);
}

}  // namespace ktv
