#include "cli/headless_player.h"

#include "playback/ring_audio_output.h"
#include "playback/wave_out_audio_output.h"

namespace ktv {

bool ParseSoundOutputKind(const std::string& text, tSoundOutputKind& kind) {
  if (text == "ring")
    kind = tSoundOutputKind::Ring;
  else if (text == "blocks")
    kind = tSoundOutputKind::Blocks;
  else if (text == "none")
    kind = tSoundOutputKind::None;
  else
    return false;
  return true;
}

tHeadlessPlayer::tHeadlessPlayer(tSoundOutputKind kind, tAudioVisualiser* visualisation,
                                 tSoundDeviceFactory device) {
  tAudioOutputLinks links;
  links.Visualisation = visualisation;
  links.CreateDevice = std::move(device);
  links.GetFormat = [this] {
    tAudioFormat format;
    if (Manager) Manager->GetAudioFormat(format.SampleRate, format.Channels);
    return format;
  };
  // Without a sound device the thread times pictures by the wall clock.
  links.OnNoSoundOutput = [this] {
    NoSound = true;
    if (Manager) {
      Manager->OnAudioData = nullptr;
      Manager->OnGetAudioTime = nullptr;
    }
  };
  if (kind == tSoundOutputKind::Ring) SoundOutput = std::make_unique<tRingAudioOutput>(std::move(links));
  if (kind == tSoundOutputKind::Blocks) SoundOutput = std::make_unique<tWaveOutAudioOutput>(std::move(links));
}

tHeadlessPlayer::~tHeadlessPlayer() {
  if (SoundOutput) SoundOutput->Shutdown();
}

void tHeadlessPlayer::Attach(tOggThreadManager& manager) {
  Manager = &manager;
  if (SoundOutput && !NoSound) {
    manager.OnAudioData = [this](const int16_t* samples, int32_t count) {
      return SoundOutput->WriteAudio(samples, count);
    };
    manager.OnGetAudioTime = [this] { return SoundOutput->GetAudioTime(); };
  }
  manager.OnBufferState = [this](bool buffering, int32_t level) {
    if (SoundOutput) SoundOutput->SetBufferState(buffering, static_cast<uint8_t>(level));
  };
  manager.OnPlaybackDone = [this] { return !SoundOutput || NoSound || SoundOutput->IsPlaybackDone(); };
  manager.OnVideoFrame = [this](const yuv_buffer* frame, const bool* key) {
    ++FramesReceived;
    LastFrameWidth = frame->y_width;
    LastFrameHeight = frame->y_height;
    LastFrameKey = key && *key;
  };
}

void tHeadlessPlayer::Detach() {
  if (!Manager) return;
  Manager->ClearEvents();
  Manager->OnPlaybackDone = nullptr;
  Manager = nullptr;
}

void tHeadlessPlayer::SetVolume(uint16_t volume) {
  if (SoundOutput) SoundOutput->SetVolume(volume);
}

}  // namespace ktv
