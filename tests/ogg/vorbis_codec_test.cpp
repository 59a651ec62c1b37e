#include "ogg/vorbis_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "media_files.h"
#include "memory_source.h"
#include "ogg/decoder_support.h"
#include "ogg/link_decoders.h"
#include "ogg/theora_codec.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using test::MakeMedia;
using test::MakeMediaWithRaw;
using test::ReadFile;
using test::tMemorySource;

constexpr double kPi = 3.14159265358979323846;

struct tDecodedAudio {
  int Channels = 0, Rate = 0;
  std::vector<int16_t> Samples;
  std::vector<double> Times;
  std::vector<int32_t> Counts;
};

tDecodedAudio DecodeAll(const std::string& bytes, int32_t block) {
  tDecodedAudio out;
  tMemorySource src(bytes);
  EXPECT_TRUE(src.ReadStreamHeaders());
  tOggVorbisCodec codec;
  if (!codec.Open(src)) {
    ADD_FAILURE() << "no Vorbis stream";
    return out;
  }
  out.Channels = codec.Info.channels;
  out.Rate = static_cast<int>(codec.Info.rate);
  std::vector<int16_t> buffer(static_cast<size_t>(block * out.Channels));
  for (;;) {
    int32_t count = block;
    double time = -2;
    if (!codec.Decode(buffer.data(), count, time)) break;
    out.Samples.insert(out.Samples.end(), buffer.begin(), buffer.begin() + count * out.Channels);
    out.Times.push_back(time);
    out.Counts.push_back(count);
  }
  return out;
}

// Amplitude of the frequency `hz` in one channel, by a single DFT bin over a whole number of periods.
double ToneAmplitude(const std::vector<int16_t>& samples, int channels, int channel, int rate, double hz,
                     size_t from, size_t frames) {
  double re = 0, im = 0;
  for (size_t i = 0; i < frames; ++i) {
    double s = samples[(from + i) * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
    double phase = 2 * kPi * hz * static_cast<double>(i) / rate;
    re += s * std::cos(phase);
    im -= s * std::sin(phase);
  }
  return 2 * std::hypot(re, im) / static_cast<double>(frames);
}

TEST(VorbisCodec, DecodedToneHasTheEncodedFrequencyLevelAndLength) {
  struct {
    std::vector<std::string> args;
    int channels, rate;
    double hz, level;
    const char* note;
  } rows[] = {
      {{"--channels", "2", "--rate", "44100", "--tone", "1000", "--level", "0.5"},
       2,
       44100,
       1000,
       0.5,
       "stereo, interleaved"},
      {{"--channels", "1", "--rate", "22050", "--tone", "440", "--level", "0.25"},
       1,
       22050,
       440,
       0.25,
       "mono at another rate"},
      {{"--channels", "2", "--rate", "48000", "--tone", "3000", "--level", "0.9"},
       2,
       48000,
       3000,
       0.9,
       "loud high tone: no wrap-around of large samples"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.note);
    std::vector<std::string> args = {"--no-video", "--seconds", "1", "--clicks", "0"};
    args.insert(args.end(), r.args.begin(), r.args.end());
    auto media = MakeMediaWithRaw(args);
    test::tWav raw = test::ParseWav(ReadFile(media.Wav));
    tDecodedAudio audio = DecodeAll(ReadFile(media.Ogg), 4410);
    ASSERT_EQ(audio.Channels, r.channels);
    ASSERT_EQ(audio.Rate, r.rate);
    ASSERT_EQ(audio.Samples.size(), raw.Samples.size()) << "every encoded frame comes back, no more";
    // A whole number of periods from the middle of the clip.
    size_t frames = static_cast<size_t>(std::lround(r.rate / r.hz * std::floor(r.hz / 4)));
    size_t from = static_cast<size_t>(r.rate) / 4;
    for (int c = 0; c < r.channels; ++c) {
      double amplitude = ToneAmplitude(audio.Samples, r.channels, c, r.rate, r.hz, from, frames);
      EXPECT_NEAR(amplitude / 32767, r.level, r.level * 0.03) << "channel " << c;
      double off = ToneAmplitude(audio.Samples, r.channels, c, r.rate, r.hz * 1.5, from, frames);
      EXPECT_LT(off / 32767, r.level * 0.01) << "energy away from the tone";
    }
    // Sample by sample close to what was encoded (lossy, so within a bound on the error's power).
    double err = 0, sig = 0;
    for (size_t i = 0; i < raw.Samples.size(); ++i) {
      double d = audio.Samples[i] - raw.Samples[i];
      err += d * d;
      sig += static_cast<double>(raw.Samples[i]) * raw.Samples[i];
    }
    EXPECT_GT(10 * std::log10(sig / std::max(err, 1.0)), 25.0) << "signal to error ratio in dB";
  }
}

TEST(VorbisCodec, SurroundComesOutInTheOrderOfTheDevice) {
  // Coded as front left, centre, front right, back left, back right, low frequency; a sound device and a WAV
  // file take front left, front right, centre, low frequency, back left, back right.
  const std::string tones = "440,550,660,770,880,60";
  const double heard[] = {440, 660, 550, 60, 770, 880};
  tDecodedAudio audio =
      DecodeAll(ReadFile(MakeMedia({"--no-video", "--seconds", "1", "--clicks", "0", "--rate", "48000",
                                    "--channels", "6", "--tones", tones})),
                4800);
  ASSERT_EQ(audio.Channels, 6);
  for (int c = 0; c < 6; ++c) {
    // Half a second holds a whole number of periods of every tone.
    double own = ToneAmplitude(audio.Samples, 6, c, 48000, heard[c], 12000, 24000);
    for (double other : heard) {
      if (other == heard[c]) continue;
      EXPECT_LT(ToneAmplitude(audio.Samples, 6, c, 48000, other, 12000, 24000), own / 10)
          << "channel " << c << " carries the tone of " << other << " Hz";
    }
  }
}

TEST(VorbisCodec, TimesAreUnknownUntilAGranuleIsSeenThenAdvanceByTheFramesDelivered) {
  std::string bytes = ReadFile(MakeMedia({"--no-video", "--seconds", "2", "--rate", "44100"}));
  for (int32_t block : {64, 1000, 4410}) {
    SCOPED_TRACE(block);
    tDecodedAudio audio = DecodeAll(bytes, block);
    ASSERT_GT(audio.Times.size(), 10u);
    EXPECT_EQ(audio.Times.front(), -1.0) << "no granule position before the first page ends";
    size_t known = 0;
    while (known < audio.Times.size() && audio.Times[known] < 0) ++known;
    ASSERT_LT(known, audio.Times.size());
    int64_t framesBefore = 0;
    for (size_t i = 0; i < audio.Times.size(); ++i) {
      if (i >= known) {
        EXPECT_NEAR(audio.Times[i], static_cast<double>(framesBefore) / 44100, 1e-9) << "block " << i;
      }
      framesBefore += audio.Counts[i];
      if (i + 1 < audio.Counts.size()) {
        EXPECT_EQ(audio.Counts[i], block) << "only the last block is short";
      }
    }
  }
}

TEST(VorbisCodec, SamplesAreTruncatedAndLimitedToPlusMinus32767) {
  struct {
    float in;
    int16_t out;
    const char* note;
  } rows[] = {
      {1.0f, 32767, "full scale"},
      {-1.0f, -32767, "negative full scale stops at -32767, not -32768"},
      {1.5f, 32767, "over full scale is limited"},
      {-1.5f, -32767, "under full scale is limited"},
      {0.5f, 16383, "16383.5 truncates"},
      {-0.5f, -16383, "truncation is toward zero"},
      {1e-6f, 0, "tiny values are silence"},
      {0.302224785f, 9902, "9902.9995 in double; a float product rounds it up to 9903"},
      {std::numeric_limits<float>::infinity(), 32767, "infinity is limited"},
      {std::numeric_limits<float>::quiet_NaN(), 0, "NaN never reaches an integer conversion"},
  };
  for (const auto& r : rows) EXPECT_EQ(tOggVorbisCodec::ToSample(r.in), r.out) << r.note;
}

TEST(VorbisCodec, CommentLines) {
  char title[] = "TITLE=Tone", artist[] = "ARTIST=Ktv";
  char* lines[] = {title, artist};
  int lengths[] = {10, 6};
  struct {
    const char* vendor;
    std::vector<std::string> expect;
    const char* note;
  } rows[] = {
      {"Xiph.Org libVorbis",
       {"Xiph.Org libVorbis", "TITLE=Tone", "ARTIST"},
       "vendor first, lengths respected"},
      {"", {"TITLE=Tone", "ARTIST"}, "an empty vendor string is left out"},
      {nullptr, {"TITLE=Tone", "ARTIST"}, "no vendor at all"},
  };
  for (const auto& r : rows) EXPECT_EQ(CommentLines(r.vendor, lines, lengths, 2), r.expect) << r.note;

  std::string bytes = ReadFile(MakeMedia({"--no-video", "--seconds", "0.5", "--acomment", "TITLE=Tone",
                                          "--acomment", "ARTIST=Ktv", "--vcomment", "TITLE=Picture"}));
  tMemorySource src(bytes);
  ASSERT_TRUE(src.ReadStreamHeaders());
  tOggVorbisCodec codec;
  ASSERT_TRUE(codec.Open(src));
  ASSERT_EQ(codec.Comments.size(), 3u);
  EXPECT_NE(codec.Comments[0].find("Xiph"), std::string::npos);
  EXPECT_EQ(codec.Comments[1], "TITLE=Tone");
  EXPECT_EQ(codec.Comments[2], "ARTIST=Ktv");
}

TEST(VorbisCodec, MissingOrDamagedStreamsFailOpenCleanly) {
  tOggVorbisCodec codec;
  tMemorySource videoOnly(ReadFile(MakeMedia({"--no-audio", "--width", "32", "--height", "32"})));
  ASSERT_TRUE(videoOnly.ReadStreamHeaders());
  EXPECT_FALSE(codec.Open(videoOnly));
  EXPECT_FALSE(codec.IsOpen());
  std::vector<int16_t> buffer(256);
  int32_t count = 128;
  double time = 5;
  EXPECT_FALSE(codec.Decode(buffer.data(), count, time)) << "a closed codec decodes nothing";
  EXPECT_EQ(count, 0);

  std::string good = ReadFile(MakeMedia({"--no-video", "--seconds", "0.5"}));
  struct {
    std::string marker;
    size_t skip, length;
    char fill;
    const char* note;
  } rows[] = {
      {"\x01vorbis", 11, 1, '\0', "identification header with no channels"},
      {"\x01vorbis", 12, 4, '\0', "identification header with a zero rate"},
      {"\x05vorbis", 7, 64, '\xff', "setup header (codebooks) damaged"},
      {"\x05vorbis", 7, 48, '\0', "setup header wiped"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.note);
    std::string bad = good;
    ASSERT_TRUE(test::DamageAfter(bad, r.marker, r.skip, r.length, r.fill));
    tMemorySource src(bad);
    ASSERT_TRUE(src.ReadStreamHeaders());
    EXPECT_FALSE(codec.Open(src));
    EXPECT_FALSE(codec.IsOpen());
    EXPECT_EQ(codec.StreamIndex, -1);
  }
  tMemorySource src(good);
  ASSERT_TRUE(src.ReadStreamHeaders());
  EXPECT_TRUE(codec.Open(src)) << "a failed open leaves the object reusable";
  codec.Close();  // before its source goes
}

}  // namespace
}  // namespace ktv
