#include "playback/wave_out_audio_output.h"

#include <cstring>

namespace ktv {

namespace {

// The visualisation keeps three seconds queued: the block queue runs further ahead than the ring.
constexpr int32_t kVisualisationQueueSeconds = 3;
// A block longer than this is not taken into memory (a damaged stream's block size); it is dropped.
constexpr int64_t kMaxBlockSeconds = 10;

}  // namespace

tWaveOutAudioOutput::tWaveOutAudioOutput(tAudioOutputLinks links)
    : tAudioOutput(std::move(links), kVisualisationQueueSeconds) {}

tWaveOutAudioOutput::~tWaveOutAudioOutput() {
  Shutdown();
}

bool tWaveOutAudioOutput::IsFree(const tWaveHeader& block) const {
  uint32_t flags = block.Flags;
  return block.Data == nullptr || (flags & WHDR_DONE) || flags == 0;
}

int tWaveOutAudioOutput::FreeBlocks() const {
  int free = 0;
  for (const tWaveHeader& block : Blocks) free += IsFree(block) ? 1 : 0;
  return free;
}

bool tWaveOutAudioOutput::OpenDevice(const tAudioFormat& format) {
  FramesWritten = 0;
  PlayedBase = 0;
  auto device = std::make_unique<tWaveOut>(Links.CreateDevice());
  if (!device->Open(format.SampleRate, format.Channels)) return false;
  WaveOut = std::move(device);
  return true;
}

void tWaveOutAudioOutput::CloseDevice() {
  std::unique_ptr<tWaveOut> device = std::move(WaveOut);
  // Reset hands every block back at once (no wait for the device needed), so each can be freed.
  device->Reset();
  for (int i = 0; i < kBlockCount; ++i) {
    device->UnprepareHeader(Blocks[i]);
    BlockMemory[i].reset();
    Blocks[i].Data = nullptr;
    Blocks[i].BufferLength = 0;
    Blocks[i].User = 0;
    Blocks[i].Flags = 0;
  }
  device->Close();
  Paused = false;
}

void tWaveOutAudioOutput::StopSound() {
  // A pause keeps the queued blocks and the position.
  if (!Paused && WaveOut->Pause()) Paused = true;
}

bool tWaveOutAudioOutput::PlayBlock(const int16_t* samples, int32_t count) {
  if (Paused && WaveOut->Restart()) Paused = false;

  int64_t need = static_cast<int64_t>(WaveFormat.BlockAlign) * count;
  if (need > static_cast<int64_t>(WaveFormat.AvgBytesPerSec) * kMaxBlockSeconds) return true;
  for (int i = 0; i < kBlockCount; ++i) {
    tWaveHeader& block = Blocks[i];
    if (!IsFree(block)) continue;
    if (block.Flags & WHDR_DONE) {
      WaveOut->UnprepareHeader(block);
      block.Flags = 0;
    }
    if (static_cast<uint64_t>(need) > block.User) {
      BlockMemory[i] = std::make_unique<uint8_t[]>(static_cast<size_t>(need));
      block.Data = BlockMemory[i].get();
      block.User = static_cast<uint64_t>(need);
    }
    block.BufferLength = static_cast<uint32_t>(need);
    std::memcpy(block.Data, samples, static_cast<size_t>(need));
    if (!WaveOut->PrepareHeader(block)) continue;
    if (WaveOut->Write(block)) {
      FramesWritten += count;
      if (Links.Visualisation) Links.Visualisation->AddAudio(samples, count);
      return true;
    }
    WaveOut->UnprepareHeader(block);
    block.Flags = 0;
  }
  return false;  // every block is queued: the thread offers this one again later
}

int64_t tWaveOutAudioOutput::DevicePlayedFrames() {
  uint64_t samples = 0;
  if (WaveFormat.BlockAlign <= 0 || WaveFormat.SamplesPerSec <= 0 || !WaveOut->GetPosition(samples)) return 0;
  return static_cast<int64_t>(samples) - PlayedBase;
}

double tWaveOutAudioOutput::DeviceAudioTime() {
  if (WaveFormat.SamplesPerSec < 1) return 0.0;
  return static_cast<double>(DevicePlayedFrames()) / WaveFormat.SamplesPerSec;
}

bool tWaveOutAudioOutput::DevicePlaybackDone() {
  if (FreeBlocks() < kDoneFreeBlocks) {
    // Paused by a stop request with blocks still queued: the stream has nothing more to give, so play them
    // out; a paused queue would never drain and the thread would wait for ever.
    if (Paused && WaveOut->Restart()) Paused = false;
    return false;
  }
  PlayedBase = FramesWritten;  // the next chain link's clock starts from 0
  return true;
}

void tWaveOutAudioOutput::ApplyVolume(uint16_t volume) {
  WaveOut->SetVolume(static_cast<uint32_t>(volume) | (static_cast<uint32_t>(volume) << 16));
}

}  // namespace ktv
