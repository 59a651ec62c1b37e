#include "playback/ring_audio_output.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ktv {

namespace {

// The ring holds two seconds; playback starts with one second queued and a call writes at most one second.
constexpr int32_t kRingSeconds = 2;
// The visualisation keeps two seconds of sound queued for its analysis.
constexpr int32_t kVisualisationQueueSeconds = 2;

}  // namespace

tRingAudioOutput::tRingAudioOutput(tAudioOutputLinks links)
    : tAudioOutput(std::move(links), kVisualisationQueueSeconds) {}

tRingAudioOutput::~tRingAudioOutput() {
  Shutdown();
}

bool tRingAudioOutput::OpenDevice(const tAudioFormat& format) {
  const uint32_t ringBytes = static_cast<uint32_t>(WaveFormat.AvgBytesPerSec) * kRingSeconds;
  auto ring = std::make_shared<tSoundRing>(Links.CreateDevice());
  WriteCursor = 0;
  if (!ring->Create(format.SampleRate, format.Channels, ringBytes)) return false;
  SoundBuffer = std::move(ring);
  Watcher = std::make_unique<tPauseAtBufferEnd>(SoundBuffer, ringBytes, WaveFormat.BlockAlign,
                                                WaveFormat.SamplesPerSec);
  return true;
}

void tRingAudioOutput::CloseDevice() {
  // Both leave the output before anything waits: the watcher's end serves the main-thread call queue, and a
  // call arriving then must find no ring rather than a ring without its watcher.
  std::shared_ptr<tSoundRing> ring = std::move(SoundBuffer);
  std::unique_ptr<tPauseAtBufferEnd> watcher = std::move(Watcher);
  ring->Stop();
  watcher.reset();  // ends the thread before the ring goes
}

bool tRingAudioOutput::Playing() {
  uint32_t status = 0;
  return SoundBuffer->GetStatus(status) && (status & DSBSTATUS_PLAYING);
}

void tRingAudioOutput::StopSound() {
  if (Playing()) SoundBuffer->Stop();
}

bool tRingAudioOutput::PlayBlock(const int16_t* samples, int32_t count) {
  int64_t played = Watcher->Poll();
  int64_t written = Watcher->Written();
  const int64_t ringBytes = SoundBuffer->Size();
  int64_t want = static_cast<int64_t>(WaveFormat.BlockAlign) * count;
  uint32_t chunk = static_cast<uint32_t>(std::min<int64_t>(want, ringBytes / 2));
  // Room is judged by what is written now: a block longer than the ring would otherwise never fit and the
  // thread would offer it for ever.
  if (chunk > ringBytes - (written - played)) {
    if (!Playing()) SoundBuffer->Play();
    return false;  // full: the thread offers the same block again later
  }
  uint8_t* region1 = nullptr;
  uint8_t* region2 = nullptr;
  uint32_t bytes1 = 0, bytes2 = 0;
  if (!SoundBuffer->Lock(WriteCursor, chunk, region1, bytes1, region2, bytes2)) return false;
  const auto* source = reinterpret_cast<const uint8_t*>(samples);
  std::memcpy(region1, source, bytes1);
  if (region2 != nullptr) std::memcpy(region2, source + bytes1, bytes2);
  SoundBuffer->Unlock();
  // Counted only once the bytes are in the ring, so the watcher never takes unwritten bytes for sound.
  written += chunk;
  Watcher->AddWritten(chunk);
  WriteCursor = static_cast<uint32_t>((static_cast<uint64_t>(WriteCursor) + chunk) % SoundBuffer->Size());
  if (Links.Visualisation) Links.Visualisation->AddAudio(samples, count);
  if (!Playing() && written - played >= ringBytes / 2) SoundBuffer->Play();
  return true;
}

double tRingAudioOutput::DeviceAudioTime() {
  if (WaveFormat.AvgBytesPerSec <= 0) return 0.0;
  return static_cast<double>(Watcher->Poll()) / WaveFormat.AvgBytesPerSec;
}

int64_t tRingAudioOutput::DevicePlayedFrames() {
  if (WaveFormat.BlockAlign <= 0) return 0;
  return Watcher->Poll() / WaveFormat.BlockAlign;
}

bool tRingAudioOutput::DevicePlaybackDone() {
  Watcher->Hurry();
  bool done = true;
  if (!Watcher->NearEnd()) {
    done = !Playing();
    if (done && Watcher->Written() - Watcher->Poll() > 0) {
      // Stopped with sound still queued (less than the second that starts the ring, or held by a stop
      // request): the stream has nothing more to give, so play the rest out instead of dropping it. The
      // watcher stops the ring at its end and a later call finds playback done.
      done = !SoundBuffer->Play();
    }
  }
  if (done) Watcher->Restart();  // the next chain link's clock starts from 0
  return done;
}

int32_t tRingAudioOutput::VolumeToAttenuation(uint16_t volume) {
  double x = volume / 65535.0;
  if (x <= 0.0) return DSBVOLUME_MIN;
  if (x >= 1.0) return DSBVOLUME_MAX;
  double attenuation = std::trunc(std::log10(x) * 3321.928094887);
  return attenuation < DSBVOLUME_MIN ? DSBVOLUME_MIN : static_cast<int32_t>(attenuation);
}

void tRingAudioOutput::ApplyVolume(uint16_t volume) {
  SoundBuffer->SetVolume(VolumeToAttenuation(volume));
}

}  // namespace ktv
