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

bool SameFormat(const tWaveFormat& wave, const tAudioFormat& format) {
  return wave.Channels == format.Channels && wave.SamplesPerSec == format.SampleRate;
}

}  // namespace

tRingAudioOutput::tRingAudioOutput(tAudioOutputLinks links) : Links(std::move(links)) {
  if (!Links.CreateDevice) Links.CreateDevice = CreateSDLSoundDevice;
}

tRingAudioOutput::~tRingAudioOutput() {
  Shutdown();
}

void tRingAudioOutput::CloseRing() {
  Watcher.reset();  // ends the thread before the ring goes
  SoundBuffer.reset();
}

bool tRingAudioOutput::OpenRing() {
  CloseRing();
  tAudioFormat format;
  if (Links.GetFormat) format = Links.GetFormat();
  if (!DeviceReleased && IsPlayableFormat(format)) {
    WaveFormat = MakeWaveFormat(format);
    if (Links.Visualisation) {
      Links.Visualisation->SetAudioFormat(format.SampleRate, format.Channels, kVisualisationQueueSeconds);
    }
    uint32_t ringBytes = static_cast<uint32_t>(WaveFormat.AvgBytesPerSec) * kRingSeconds;
    auto ring = std::make_shared<tSoundRing>(Links.CreateDevice());
    WriteCursor = 0;
    if (ring->Create(format.SampleRate, format.Channels, ringBytes)) {
      SoundBuffer = std::move(ring);
      Watcher = std::make_unique<tPauseAtBufferEnd>(SoundBuffer, ringBytes, WaveFormat.BlockAlign,
                                                    WaveFormat.SamplesPerSec);
      SetVolume(Volume);
      return true;
    }
  }
  // No sound output: the thread stops offering sound and times the picture by the wall clock.
  if (Links.OnNoSoundOutput) Links.OnNoSoundOutput();
  return false;
}

bool tRingAudioOutput::WriteAudio(const int16_t* samples, int32_t count) {
  if (samples == nullptr && count == 0) {  // close
    CloseRing();
    return true;
  }
  if (SoundBuffer && samples != nullptr && Links.GetFormat && !SameFormat(WaveFormat, Links.GetFormat())) {
    CloseRing();  // a chain link with another format: the next block opens a ring for it
  }
  if (!SoundBuffer && count > 0 && samples != nullptr) OpenRing();
  if (!SoundBuffer) return true;  // no output: the block counts as consumed

  uint32_t status = 0;
  if (count < 0) {  // stop; the position is kept and the next block continues where this one ended
    if (SoundBuffer->GetStatus(status) && (status & DSBSTATUS_PLAYING)) SoundBuffer->Stop();
    return true;
  }
  if (samples == nullptr || count == 0) return true;

  int64_t played = Watcher->Poll();
  int64_t written = Watcher->Written();
  const int64_t ringBytes = SoundBuffer->Size();
  int64_t want = static_cast<int64_t>(WaveFormat.BlockAlign) * count;
  uint32_t chunk = static_cast<uint32_t>(std::min<int64_t>(want, ringBytes / 2));
  // Room is judged by what is written now: a block longer than the ring would otherwise never fit and the
  // thread would offer it for ever.
  if (chunk > ringBytes - (written - played)) {
    if (SoundBuffer->GetStatus(status) && !(status & DSBSTATUS_PLAYING)) SoundBuffer->Play();
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
  if (SoundBuffer->GetStatus(status) && !(status & DSBSTATUS_PLAYING) && written - played >= ringBytes / 2) {
    SoundBuffer->Play();
  }
  return true;
}

double tRingAudioOutput::GetAudioTime() {
  if (!SoundBuffer || WaveFormat.AvgBytesPerSec <= 0) return 0.0;
  return static_cast<double>(Watcher->Poll()) / WaveFormat.AvgBytesPerSec;
}

int64_t tRingAudioOutput::GetPlayedFrames() {
  if (!SoundBuffer || WaveFormat.BlockAlign <= 0) return 0;
  return Watcher->Poll() / WaveFormat.BlockAlign;
}

bool tRingAudioOutput::IsPlaybackDone() {
  if (Watcher) Watcher->Hurry();
  bool done = true;
  if (SoundBuffer && !Watcher->NearEnd()) {
    uint32_t status = 0;
    done = !SoundBuffer->GetStatus(status) || !(status & DSBSTATUS_PLAYING);
    if (done && Watcher->Written() - Watcher->Poll() > 0) {
      // Stopped with sound still queued (less than the second that starts the ring, or held by a stop
      // request): the stream has nothing more to give, so play the rest out instead of dropping it. The
      // watcher stops the ring at its end and a later call finds playback done.
      done = !SoundBuffer->Play();
    }
  }
  if (done) {
    if (Watcher) Watcher->Restart();  // the next chain link's clock starts from 0
    if (Links.Visualisation) Links.Visualisation->ResetPosition();
  }
  return done;
}

int32_t tRingAudioOutput::VolumeToAttenuation(uint16_t volume) {
  double x = volume / 65535.0;
  if (x <= 0.0) return DSBVOLUME_MIN;
  if (x >= 1.0) return DSBVOLUME_MAX;
  double attenuation = std::trunc(std::log10(x) * 3321.928094887);
  return attenuation < DSBVOLUME_MIN ? DSBVOLUME_MIN : static_cast<int32_t>(attenuation);
}

void tRingAudioOutput::SetVolume(uint16_t volume) {
  Volume = volume;
  if (SoundBuffer) SoundBuffer->SetVolume(VolumeToAttenuation(volume));
}

void tRingAudioOutput::Shutdown() {
  if (SoundBuffer) SoundBuffer->Stop();
  CloseRing();
  DeviceReleased = true;
}

}  // namespace ktv
