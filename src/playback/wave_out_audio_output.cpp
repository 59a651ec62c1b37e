#include "playback/wave_out_audio_output.h"

#include <cmath>
#include <cstring>

namespace ktv {

namespace {

// The visualisation keeps three seconds queued: the block queue runs further ahead than the ring.
constexpr int32_t kVisualisationQueueSeconds = 3;
// A block longer than this is not taken into memory (a damaged stream's block size); it is dropped.
constexpr int64_t kMaxBlockSeconds = 10;

}  // namespace

tWaveOutAudioOutput::tWaveOutAudioOutput(tAudioOutputLinks links) : Links(std::move(links)) {
  if (!Links.CreateDevice) Links.CreateDevice = CreateSDLSoundDevice;
}

tWaveOutAudioOutput::~tWaveOutAudioOutput() {
  CloseOutput();
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

void tWaveOutAudioOutput::OpenOutput() {
  FramesWritten = 0;
  PlayedBase = 0;
  tAudioFormat format;
  if (Links.GetFormat) format = Links.GetFormat();
  if (IsPlayableFormat(format)) {
    WaveFormat = MakeWaveFormat(format);
    if (Links.Visualisation) {
      Links.Visualisation->SetAudioFormat(format.SampleRate, format.Channels, kVisualisationQueueSeconds);
    }
    auto device = std::make_unique<tWaveOut>(Links.CreateDevice());
    if (device->Open(format.SampleRate, format.Channels)) {
      WaveOut = std::move(device);
      SetVolume(Volume);
      return;
    }
  }
  // No sound output: the thread stops offering sound and times the picture by the wall clock.
  if (Links.OnNoSoundOutput) Links.OnNoSoundOutput();
}

void tWaveOutAudioOutput::CloseOutput() {
  if (!WaveOut) return;
  // Reset hands every block back at once (no wait for the device needed), so each can be freed.
  WaveOut->Reset();
  for (int i = 0; i < kBlockCount; ++i) {
    WaveOut->UnprepareHeader(Blocks[i]);
    BlockMemory[i].reset();
    Blocks[i].Data = nullptr;
    Blocks[i].BufferLength = 0;
    Blocks[i].User = 0;
    Blocks[i].Flags = 0;
  }
  WaveOut->Close();
  WaveOut.reset();
  Paused = false;
}

bool tWaveOutAudioOutput::WriteAudio(const int16_t* samples, int32_t count) {
  if (count < 0) {  // stop: pause, keeping the queued blocks and the position
    if (WaveOut && !Paused && WaveOut->Pause()) Paused = true;
    return true;
  }
  if (WaveOut && samples != nullptr && Links.GetFormat) {
    tAudioFormat format = Links.GetFormat();
    if (format.Channels != WaveFormat.Channels || format.SampleRate != WaveFormat.SamplesPerSec)
      CloseOutput();
  }
  if (samples == nullptr && count == 0) CloseOutput();
  if (!WaveOut && count > 0 && samples != nullptr) OpenOutput();
  if (!WaveOut || samples == nullptr || count == 0) return true;  // nothing to play, or no output: consumed

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

int64_t tWaveOutAudioOutput::GetPlayedFrames() {
  if (!WaveOut || WaveFormat.BlockAlign <= 0 || WaveFormat.SamplesPerSec <= 0) return 0;
  tMMTime time;
  time.Type = TIME_SAMPLES;
  if (!WaveOut->GetPosition(time)) return 0;
  auto value = static_cast<int64_t>(time.Value);
  switch (time.Type) {
    case TIME_SAMPLES:
      return value - PlayedBase;
    case TIME_BYTES:
      return value / WaveFormat.BlockAlign - PlayedBase;
    case TIME_MS:
      return static_cast<int64_t>(std::trunc(value / 1000.0 * WaveFormat.SamplesPerSec)) - PlayedBase;
    default:
      return 0;
  }
}

double tWaveOutAudioOutput::GetAudioTime() {
  if (WaveFormat.SamplesPerSec < 1) return 0.0;
  return static_cast<double>(GetPlayedFrames()) / WaveFormat.SamplesPerSec;
}

bool tWaveOutAudioOutput::IsPlaybackDone() {
  if (FreeBlocks() < kDoneFreeBlocks) {
    // Paused by a stop request with blocks still queued: the stream has nothing more to give, so play them
    // out; a paused queue would never drain and the thread would wait for ever.
    if (Paused && WaveOut && WaveOut->Restart()) Paused = false;
    return false;
  }
  PlayedBase = FramesWritten;  // the next chain link's clock starts from 0
  if (Links.Visualisation) Links.Visualisation->ResetPosition();
  return true;
}

void tWaveOutAudioOutput::SetVolume(uint16_t volume) {
  Volume = volume;
  if (WaveOut) WaveOut->SetVolume(static_cast<uint32_t>(volume) | (static_cast<uint32_t>(volume) << 16));
}

void tWaveOutAudioOutput::Shutdown() {
  CloseOutput();
}

}  // namespace ktv
