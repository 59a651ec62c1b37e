#include "playback/audio_output.h"

namespace ktv {

// Marks an operation as running for its length; Nested() tells a call that arrived while another one runs
// (inside a device's close, which serves the main-thread call queue while it waits).
class tAudioOutput::tCall {
 public:
  explicit tCall(tAudioOutput& output) : Output(output), Outer(!output.InCall) { Output.InCall = true; }
  ~tCall() {
    if (Outer) Output.InCall = false;
  }
  tCall(const tCall&) = delete;
  tCall& operator=(const tCall&) = delete;
  bool Nested() const { return !Outer; }

 private:
  tAudioOutput& Output;
  const bool Outer;
};

tAudioOutput::tAudioOutput(tAudioOutputLinks links, int32_t visualisationSeconds)
    : Links(std::move(links)), VisualisationSeconds(visualisationSeconds) {
  if (!Links.CreateDevice) Links.CreateDevice = CreateSDLSoundDevice;
}

void tAudioOutput::Open() {
  tAudioFormat format;
  if (Links.GetFormat) format = Links.GetFormat();
  if (!Released && IsPlayableFormat(format)) {
    WaveFormat.Channels = format.Channels;
    WaveFormat.SamplesPerSec = format.SampleRate;
    WaveFormat.BlockAlign = 2 * format.Channels;
    WaveFormat.AvgBytesPerSec = format.SampleRate * WaveFormat.BlockAlign;
    if (Links.Visualisation)
      Links.Visualisation->SetAudioFormat(format.SampleRate, format.Channels, VisualisationSeconds);
    if (OpenDevice(format)) {
      ApplyVolume(CurrentVolume);
      return;
    }
  }
  // No sound output: the thread stops offering sound and times the picture by the wall clock.
  if (Links.OnNoSoundOutput) Links.OnNoSoundOutput();
}

void tAudioOutput::Close() {
  if (DeviceOpen()) CloseDevice();
}

bool tAudioOutput::WriteAudio(const int16_t* samples, int32_t count) {
  tCall call(*this);
  if (call.Nested()) return false;
  if (samples == nullptr && count == 0) {
    Close();
    return true;
  }
  if (count < 0) {  // stop; the position is kept and the next block continues where this one ended
    if (DeviceOpen()) StopSound();
    return true;
  }
  if (samples == nullptr || count == 0) return true;
  if (DeviceOpen() && Links.GetFormat) {
    // A chain link with another format: the device is opened again for it.
    const tAudioFormat format = Links.GetFormat();
    if (format.Channels != WaveFormat.Channels || format.SampleRate != WaveFormat.SamplesPerSec) Close();
  }
  if (!DeviceOpen()) Open();
  if (!DeviceOpen()) return true;  // no output: the block counts as consumed
  return PlayBlock(samples, count);
}

double tAudioOutput::GetAudioTime() {
  tCall call(*this);
  if (!call.Nested()) LastAudioTime = DeviceOpen() ? DeviceAudioTime() : 0.0;
  return LastAudioTime;
}

int64_t tAudioOutput::GetPlayedFrames() {
  tCall call(*this);
  if (!call.Nested()) LastPlayedFrames = DeviceOpen() ? DevicePlayedFrames() : 0;
  return LastPlayedFrames;
}

bool tAudioOutput::IsPlaybackDone() {
  tCall call(*this);
  if (call.Nested()) return false;
  const bool done = !DeviceOpen() || DevicePlaybackDone();
  if (done && Links.Visualisation) Links.Visualisation->ResetPosition();
  return done;
}

void tAudioOutput::SetVolume(uint16_t volume) {
  CurrentVolume = volume;
  tCall call(*this);
  // Nested, the volume waits for the next device; the one being changed must not be touched.
  if (!call.Nested() && DeviceOpen()) ApplyVolume(volume);
}

void tAudioOutput::Shutdown() {
  Released = true;
  tCall call(*this);
  if (!call.Nested()) Close();
}

}  // namespace ktv
