// The command-line program's player without a window: the chosen sound output plays the decoding thread's
// sound, and pictures are counted instead of drawn, through the same five events a windowed back-end answers.
//
// Threads: everything runs on the main thread (the decoding thread's events arrive by synchronised calls).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "playback/audio_output.h"
#include "stream/ogg_thread_manager.h"

namespace ktv {

enum class tSoundOutputKind { Ring, Blocks, None };

// "ring", "blocks" or "none"; false for anything else.
bool ParseSoundOutputKind(const std::string& text, tSoundOutputKind& kind);

class tHeadlessPlayer {
 public:
  // device: makes the sound device (empty = SDL).
  explicit tHeadlessPlayer(tSoundOutputKind kind, tAudioVisualiser* visualisation = nullptr,
                           tSoundDeviceFactory device = {});
  ~tHeadlessPlayer();
  tHeadlessPlayer(const tHeadlessPlayer&) = delete;
  tHeadlessPlayer& operator=(const tHeadlessPlayer&) = delete;

  // Binds the manager's five events to this player; Detach clears them (before the manager goes).
  void Attach(tOggThreadManager& manager);
  void Detach();
  void SetVolume(uint16_t volume);
  // Null with the "none" kind, or after the device failed to open.
  tAudioOutput* Output() const { return SoundOutput.get(); }
  bool SoundUnavailable() const { return NoSound; }

  int64_t FramesReceived = 0;
  int32_t LastFrameWidth = 0, LastFrameHeight = 0;
  bool LastFrameKey = false;

 private:
  std::unique_ptr<tAudioOutput> SoundOutput;
  tOggThreadManager* Manager = nullptr;
  bool NoSound = false;
};

}  // namespace ktv
