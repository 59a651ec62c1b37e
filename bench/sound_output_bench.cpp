// Cost of the sound path per second of 44.1 kHz stereo: the player's copy into the ring or a block, and the
// device pulling it out again (with and without volume scaling).
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/manual_sound_device.h"
#include "playback/ring_audio_output.h"
#include "playback/wave_out_audio_output.h"

namespace {

constexpr int32_t kBlockFrames = 4410;  // a tenth of a second, as the decoding thread sends
constexpr uint32_t kBlockBytes = kBlockFrames * 4;

template <typename tOutput>
void WriteAndPlay(benchmark::State& state) {
  ktv::tManualSoundDevice* device = nullptr;
  ktv::tAudioOutputLinks links;
  links.GetFormat = [] { return ktv::tAudioFormat{44100, 2}; };
  links.CreateDevice = [&device]() -> std::unique_ptr<ktv::tSoundDevice> {
    auto made = std::make_unique<ktv::tManualSoundDevice>();
    made->SetKeepPlayed(false);
    device = made.get();
    return made;
  };
  tOutput output(links);
  output.SetVolume(static_cast<uint16_t>(state.range(0)));
  std::vector<int16_t> block(kBlockFrames * 2, 1234);
  for (int i = 0; i < 10; ++i) output.WriteAudio(block.data(), kBlockFrames);  // start the ring
  for (auto _ : state) {
    // One second: ten blocks in, ten blocks' worth played.
    for (int i = 0; i < 10; ++i) {
      output.WriteAudio(block.data(), kBlockFrames);
      device->Advance(kBlockBytes);
    }
  }
  state.SetLabel("per second of sound");
}

BENCHMARK_TEMPLATE(WriteAndPlay, ktv::tRingAudioOutput)
    ->Arg(65535)
    ->Arg(32768)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(WriteAndPlay, ktv::tWaveOutAudioOutput)
    ->Arg(65535)
    ->Arg(32768)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
