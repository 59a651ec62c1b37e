#include <SDL.h>

#include "platform/sound_device.h"

namespace ktv {
namespace {

// 1024 frames per pull: about 23 ms at 44.1 kHz, small enough for a responsive clock, large enough that a
// busy machine does not starve the device.
constexpr Uint16 kFramesPerPull = 1024;

class tSDLSoundDevice final : public tSoundDevice {
 public:
  ~tSDLSoundDevice() override { Close(); }

  bool Open(int32_t sampleRate, int32_t channels, tSoundSource* source) override {
    Close();
    if (source == nullptr || sampleRate <= 0 || channels <= 0 || channels > 255) return false;
    // The audio subsystem is reference counted by SDL: each open device holds one reference.
    // The program ends on SIGTERM/SIGINT itself (saving its settings); SDL's handlers would only queue a quit
    // event nobody reads, and the signals would be lost.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = sampleRate;
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(channels);
    want.samples = kFramesPerPull;
    want.callback = &tSDLSoundDevice::Pull;
    want.userdata = source;
    SDL_AudioSpec have{};
    // No "allow change" flags: SDL converts to whatever the hardware wants, so the source always sees the
    // format it was opened with.
    Device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (Device == 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    SDL_PauseAudioDevice(Device, 0);
    return true;
  }

  bool PlaysInRealTime() const override { return true; }

  void Close() override {
    if (Device == 0) return;
    // SDL_CloseAudioDevice waits for a running callback, so the source is never called after this.
    SDL_CloseAudioDevice(Device);
    Device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

 private:
  static void SDLCALL Pull(void* userdata, Uint8* stream, int length) {
    if (length <= 0) return;
    static_cast<tSoundSource*>(userdata)->Render(stream, static_cast<uint32_t>(length));
  }

  SDL_AudioDeviceID Device = 0;
};

}  // namespace

std::unique_ptr<tSoundDevice> CreateSDLSoundDevice() {
  return std::make_unique<tSDLSoundDevice>();
}

}  // namespace ktv
