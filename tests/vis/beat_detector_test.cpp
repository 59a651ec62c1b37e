#include "vis/beat_detector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "support/test_support.h"

namespace ktv {
namespace {

// A cosine: the detector sums real parts only, which a sine of a whole number of cycles per block would not
// have.
std::vector<int16_t> Tone(int32_t frames, int32_t channels, double hz, double rate, double level) {
  std::vector<int16_t> pcm(static_cast<size_t>(frames * channels));
  for (int32_t f = 0; f < frames; ++f)
    for (int32_t c = 0; c < channels; ++c)
      pcm[static_cast<size_t>(f * channels + c)] =
          static_cast<int16_t>(std::lround(level * 32767 * std::cos(2 * std::numbers::pi * hz * f / rate)));
  return pcm;
}

TEST(BeatDetectorTest, SilenceNeverBeats) {
  tBeatDetector d;
  d.Create(44100, 2);
  std::vector<int16_t> silence(44100 * 2, 0);
  for (int i = 0; i < 3; ++i) d.AddSamples(silence.data(), 44100);
  EXPECT_FALSE(d.Beat());
  EXPECT_EQ(d.BeatCount(), 0u);
  EXPECT_EQ(d.Peak(), 0);
  for (int32_t b = 0; b < 64; ++b) EXPECT_EQ(d.GetBand(b), 0) << b;
}

TEST(BeatDetectorTest, MonoMixTruncatesTowardZero) {
  struct tCase {
    int16_t L, R;
    int32_t Peak;
    const char* Fault;
  } cases[] = {
      {-3, 2, 0, "-1/2 truncates to 0, not -1"},
      {-3, -2, 2, "-5/2 truncates to -2"},
      {-32768, -32768, 32768, "full negative scale does not overflow"},
      {32767, -32768, 0, "opposite channels cancel"},
  };
  for (const tCase& c : cases) {
    tBeatDetector d;
    d.Create(44100, 2);
    int16_t frame[2] = {c.L, c.R};
    d.AddSamples(frame, 1);
    EXPECT_EQ(d.Peak(), c.Peak) << c.Fault;
  }
}

TEST(BeatDetectorTest, LoudBlockAfterQuietOnesBeatsOnlyAfterTheGap) {
  // At 8000 Hz the gap is 2 blocks: the first loud block (block 1) is too early, block 2 is not.
  tBeatDetector d;
  d.Create(8000, 1);
  std::vector<int16_t> loud = Tone(768, 1, 1000, 8000, 0.5);
  d.AddSamples(loud.data(), 768);
  EXPECT_FALSE(d.Beat()) << "a beat before MinBeatGap blocks";
  std::vector<int16_t> louder = Tone(768, 1, 1000, 8000, 1.0);
  d.AddSamples(louder.data(), 768);
  EXPECT_TRUE(d.Beat()) << "twice the energy of the only block before it";
  // A partial block analyses nothing: the beat stays until the next block completes.
  d.AddSamples(louder.data(), 100);
  EXPECT_TRUE(d.Beat());
  d.AddSamples(louder.data(), 668);
  EXPECT_FALSE(d.Beat()) << "the same energy again is not 1.2 times above the history";
  EXPECT_EQ(d.BeatCount(), 1u);
}

TEST(BeatDetectorTest, SeveralBlocksInOneCall) {
  // The call's last block decides Beat; Peak covers the whole call, not only the last block's samples.
  tBeatDetector one;
  one.Create(8000, 1);
  std::vector<int16_t> pcm = Tone(768 * 3, 1, 1000, 8000, 0.1);
  for (size_t i = 768; i < 768 * 2; ++i) pcm[i] = static_cast<int16_t>(pcm[i] * 8);  // block 2 is loud
  one.AddSamples(pcm.data(), 768 * 3);
  EXPECT_EQ(one.Peak(), 8 * std::lround(0.1 * 32767)) << "the loud middle block sets the peak";
  EXPECT_FALSE(one.Beat()) << "block 3 is quieter than block 2";
  EXPECT_EQ(one.BeatCount(), 1u) << "block 2 was analysed as a beat on the way";
  // Fed block by block, the same sound gives the same analysis.
  tBeatDetector split;
  split.Create(8000, 1);
  for (int b = 0; b < 3; ++b) split.AddSamples(pcm.data() + b * 768, 768);
  for (int32_t i = 0; i < 768; ++i) {
    EXPECT_EQ(split.GetSpectrumBin(i).Re, one.GetSpectrumBin(i).Re);
  }
  EXPECT_EQ(split.BeatCount(), 1u);
}

TEST(BeatDetectorTest, SnapshotChangesEveryThirdBlockAllAtOnce) {
  tBeatDetector d;
  d.Create(44100, 1);
  std::vector<int16_t> block(768);
  for (int b = 1; b <= 6; ++b) {
    for (int16_t& s : block) s = static_cast<int16_t>(b * 1000);
    d.AddSamples(block.data(), 768);
    if (b % 3 != 0) {
      // Unchanged: still the blocks of the previous triple (or zero before the first).
      float expectedFirst = b < 3 ? 0.0f : 1000 / 32768.0f;
      EXPECT_FLOAT_EQ(d.GetWaveSample(0), expectedFirst) << "after block " << b;
    } else {
      // Oldest first: the three blocks as they arrived.
      for (int slot = 0; slot < 3; ++slot) {
        float want = static_cast<float>((b - 2 + slot) * 1000 / 32768.0);
        EXPECT_FLOAT_EQ(d.GetWaveSample(slot * 768), want) << b;
        EXPECT_FLOAT_EQ(d.GetWaveSample(slot * 768 + 767), want) << b;
      }
    }
  }
}

TEST(BeatDetectorTest, ClickTrackBeatsAtItsClickRate) {
  // Two clicks a second on a steady tone, as the generator encodes it: the beats come every half second. The
  // tone fits the 768-frame block exactly (4 cycles at 44100 Hz); the energy sums real parts of an unwindowed
  // block, so another tone's leakage swings with its phase from block to block and hides the clicks.
  test::tMediaFiles media =
      test::MakeMediaWithRaw({"--no-video", "--clicks", "2", "--seconds", "8", "--tone", "229.6875"});
  ASSERT_FALSE(media.Wav.empty());
  std::string wav = test::ReadFile(media.Wav);
  ASSERT_GT(wav.size(), 44u);
  int16_t channels;
  int32_t rate;
  std::memcpy(&channels, wav.data() + 22, 2);
  std::memcpy(&rate, wav.data() + 24, 4);
  ASSERT_GT(channels, 0);
  std::vector<int16_t> pcm((wav.size() - 44) / 2);
  std::memcpy(pcm.data(), wav.data() + 44, pcm.size() * 2);
  int32_t frames = static_cast<int32_t>(pcm.size() / static_cast<size_t>(channels));

  tBeatDetector d;
  d.Create(rate, channels);
  std::vector<double> beatTimes;
  for (int32_t at = 0; at + 768 <= frames; at += 768) {
    uint32_t before = d.BeatCount();
    d.AddSamples(pcm.data() + static_cast<size_t>(at) * static_cast<size_t>(channels), 768);
    if (d.BeatCount() != before) beatTimes.push_back(static_cast<double>(at) / rate);
  }
  // 8 seconds at 2 Hz: 16 clicks; the very first may be missed against an empty history.
  EXPECT_GE(beatTimes.size(), 14u);
  EXPECT_LE(beatTimes.size(), 16u);
  double blockSeconds = 768.0 / rate;
  for (double t : beatTimes) {
    // The block that holds a click's start, or the one after it (a click lasts 30 ms).
    double click = std::round((t + blockSeconds) / 0.5) * 0.5;
    EXPECT_GE(click, t - blockSeconds) << "a beat away from any click, at " << t << " s";
    EXPECT_LT(click, t + blockSeconds) << "a beat away from any click, at " << t << " s";
  }
}

}  // namespace
}  // namespace ktv
