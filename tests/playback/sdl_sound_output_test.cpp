// Both sound outputs over the real SDL device, with SDL's disk driver writing what it plays to a file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "playback/ring_audio_output.h"
#include "playback/wave_out_audio_output.h"
#include "support/test_support.h"

namespace ktv {
namespace {

// The PCM bytes of a WAV file written by the test-media generator (the "data" chunk).
std::string WavData(const std::string& wav) {
  size_t at = wav.find("data");
  if (at == std::string::npos || at + 8 > wav.size()) return {};
  return wav.substr(at + 8);
}

using test::tScopedEnv;

TEST(SDLSoundOutput, DiskDriverRecordsTheGeneratedToneUnbroken) {
  test::tMediaFiles media = test::MakeMediaWithRaw(
      {"--no-video", "--seconds", "2", "--rate", "44100", "--channels", "2", "--tone", "440"});
  std::string pcm = WavData(test::ReadFile(media.Wav));
  ASSERT_GE(pcm.size(), 300000u) << "the generator's raw sound";

  struct {
    const char* Name;
    std::function<std::unique_ptr<tAudioOutput>(tAudioOutputLinks)> Make;
  } rows[] = {
      {"ring", [](tAudioOutputLinks l) { return std::make_unique<tRingAudioOutput>(std::move(l)); }},
      {"blocks", [](tAudioOutputLinks l) { return std::make_unique<tWaveOutAudioOutput>(std::move(l)); }},
  };
  for (const auto& row : rows) {
    test::tTempDir dir;
    std::string file = dir.File("played.raw");
    tScopedEnv driver("SDL_AUDIODRIVER", "disk");
    tScopedEnv output("SDL_DISKAUDIOFILE", file);
    tAudioOutputLinks links;
    links.GetFormat = [] { return tAudioFormat{44100, 2}; };
    int noSound = 0;
    links.OnNoSoundOutput = [&noSound] { ++noSound; };
    std::unique_ptr<tAudioOutput> out = row.Make(std::move(links));

    // Fed as the decoding thread would: blocks of a tenth of a second, offered again while refused.
    constexpr size_t kBlockBytes = 4410 * 4;
    uint32_t start = timeGetTime();
    for (size_t at = 0; at + kBlockBytes <= pcm.size() && noSound == 0;) {
      if (out->WriteAudio(reinterpret_cast<const int16_t*>(pcm.data() + at), 4410)) {
        at += kBlockBytes;
      } else {
        ASSERT_LT(timeGetTime() - start, 60000u) << row.Name << ": the device never took the sound";
        Sleep(5);
      }
    }
    ASSERT_EQ(noSound, 0) << row.Name << ": SDL's disk driver did not open";
    while (!out->IsPlaybackDone()) {
      ASSERT_LT(timeGetTime() - start, 60000u) << row.Name << ": playback never ended";
      Sleep(5);
    }
    // Done with at most two blocks queued; the clock counts what was heard, so the device's last pull (1024
    // frames) may still be playing too.
    EXPECT_GT(out->GetAudioTime(), -0.2 - 1024.0 / 44100) << row.Name;
    out->Shutdown();
    out.reset();

    std::string played = test::ReadFile(file);
    // Everything but the last two tenths (the end may be cut by the shutdown) must be in the file byte for
    // byte, in one piece: no gap, no repeat, no stale ring bytes.
    size_t whole = pcm.size() / kBlockBytes * kBlockBytes - 2 * kBlockBytes;
    EXPECT_NE(played.find(pcm.substr(0, whole)), std::string::npos)
        << row.Name << ": the device wrote " << played.size() << " bytes without the tone in one piece";
  }
}

TEST(SDLSoundOutput, NoDeviceTakesTheNoSoundPath) {
  tScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
  tAudioOutputLinks links;
  links.GetFormat = [] { return tAudioFormat{44100, 2}; };
  int noSound = 0;
  links.OnNoSoundOutput = [&noSound] { ++noSound; };
  tRingAudioOutput ring(links);
  tWaveOutAudioOutput blocks(links);
  std::vector<int16_t> block(882, 1000);
  EXPECT_TRUE(ring.WriteAudio(block.data(), 441)) << "without a device the block counts as consumed";
  EXPECT_TRUE(blocks.WriteAudio(block.data(), 441));
  EXPECT_EQ(noSound, 2) << "each output reports that it has no sound";
  EXPECT_EQ(ring.GetAudioTime(), 0.0);
  EXPECT_EQ(blocks.GetAudioTime(), 0.0);
}

}  // namespace
}  // namespace ktv
