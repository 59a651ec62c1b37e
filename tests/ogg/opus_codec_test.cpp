#include "ogg/opus_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "media_files.h"
#include "memory_source.h"
#include "ogg/link_decoders.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using test::MakeMedia;
using test::MakeMediaWithRaw;
using test::ReadFile;
using test::tMemorySource;

// The sound of one link, decoded through the link operation the player uses.
struct tDecodedSound {
  bool Open = false;
  tAudioCodecKind Kind = tAudioCodecKind::Vorbis;
  int Channels = 0, Rate = 0;
  std::vector<std::string> Comments;
  std::string Vendor;
  tOpusHeader Header;
  std::vector<int16_t> Samples;
  std::vector<double> Times;        // of each block
  std::vector<int64_t> BlockStart;  // frames delivered before each block
  size_t Frames() const { return Channels ? Samples.size() / static_cast<size_t>(Channels) : 0; }
};

tDecodedSound DecodeSound(const std::string& bytes, int32_t block = 3000) {
  tDecodedSound out;
  tMemorySource src(bytes);
  src.ReadStreamHeaders();
  tOggLinkDecoders link;
  if (!link.Open(src, tOggLinkDecoders::kAudio)) return out;
  tOggAudioCodec& audio = *link.Audio;
  out.Open = true;
  out.Kind = audio.Kind();
  out.Channels = audio.Channels();
  out.Rate = audio.Rate();
  out.Comments = audio.Comments;
  out.Vendor = audio.Vendor;
  if (auto* opus = dynamic_cast<tOggOpusCodec*>(&audio)) out.Header = opus->Info;
  std::vector<int16_t> buffer(static_cast<size_t>(block) * static_cast<size_t>(out.Channels));
  // A damaged packet ends a call early and the next goes on: only calls in a row that bring nothing end it.
  for (int idle = 0; idle < 3;) {
    int32_t count = block;
    double time = -2;
    audio.Decode(buffer.data(), count, time);
    if (count > 0) {
      out.Times.push_back(time);
      out.BlockStart.push_back(static_cast<int64_t>(out.Frames()));
      out.Samples.insert(out.Samples.end(), buffer.begin(), buffer.begin() + count * out.Channels);
    }
    idle = count > 0 ? 0 : idle + 1;
  }
  return out;
}

// One channel of interleaved sound.
std::vector<int16_t> Channel(const std::vector<int16_t>& samples, int channels, int channel) {
  std::vector<int16_t> out;
  for (size_t i = static_cast<size_t>(channel); i < samples.size(); i += static_cast<size_t>(channels))
    out.push_back(samples[i]);
  return out;
}

TEST(OpusCodec, EveryLayoutDecodesItsTonesWithEachSampleInItsPlace) {
  // 1.013 s is no whole number of 20 ms packets: the last packet is padded, and the last page's position
  // cuts the padding away again.
  struct {
    std::vector<std::string> args;
    std::vector<double> tones;  // in the coded order: front left, centre, front right, back, low frequency
    std::vector<double> heard;  // in the device's order: front left, front right, centre, low frequency, back
    int family;
    const char* note;
  } rows[] = {
      {{"--channels", "1"}, {440}, {440}, 0, "mono"},
      {{"--channels", "2", "--tones", "440,660"}, {440, 660}, {440, 660}, 0, "stereo: one coupled stream"},
      {{"--channels", "6", "--tones", "440,550,660,770,880,60", "--clicks", "0"},
       {440, 550, 660, 770, 880, 60},
       {440, 660, 550, 60, 770, 880},
       1,
       "5.1: four streams, two coupled, put in the order of WAV files and the device"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.note);
    std::vector<std::string> args = {"--no-video", "--opus", "--seconds", "1.013"};
    args.insert(args.end(), r.args.begin(), r.args.end());
    test::tMediaFiles media = MakeMediaWithRaw(args);
    tDecodedSound sound = DecodeSound(ReadFile(media.Ogg));
    ASSERT_TRUE(sound.Open);
    EXPECT_EQ(sound.Kind, tAudioCodecKind::Opus);
    const int channels = static_cast<int>(r.tones.size());
    ASSERT_EQ(sound.Channels, channels);
    EXPECT_EQ(sound.Rate, 48000);
    EXPECT_EQ(sound.Header.MappingFamily, r.family);
    EXPECT_GT(sound.Header.PreSkip, 0) << "the encoder's lookahead";
    EXPECT_EQ(sound.Header.InputRate, 44100u) << "the original's rate, named only";
    test::tWav raw = test::ParseWav(ReadFile(media.Wav));
    ASSERT_EQ(raw.Rate, 48000);
    EXPECT_EQ(sound.Frames(), 48624u) << "the pre-skip left out at the start, the padding at the end";
    EXPECT_EQ(sound.Frames(), raw.Frames());
    for (int c = 0; c < channels; ++c) {
      // The generator's WAV holds the channels in the coded order.
      const auto coded =
          static_cast<int>(std::find(r.tones.begin(), r.tones.end(), r.heard[c]) - r.tones.begin());
      std::vector<int16_t> want = Channel(raw.Samples, channels, coded),
                           got = Channel(sound.Samples, channels, c);
      // A sample moved by the pre-skip (hundreds of frames) or by one frame costs far more than this.
      EXPECT_GT(test::SnrDb(want, got), 20.0) << "channel " << c;
      for (size_t t = 0; t < r.tones.size(); ++t) {
        double level = test::ToneLevel(sound.Samples, channels, c, 48000, r.tones[t]);
        if (r.tones[t] == r.heard[c])
          EXPECT_NEAR(level, 0.25, 0.02) << "channel " << c << " carries its tone";
        else
          EXPECT_LT(level, 0.01) << "channel " << c << " carries the tone of " << r.tones[t] << " Hz";
      }
    }
  }
}

TEST(OpusCodec, TimesComeFromThePositionsAlsoWhenJoinedInTheMiddle) {
  const std::string bytes = ReadFile(MakeMedia({"--no-video", "--opus", "--seconds", "4"}));
  tDecodedSound whole = DecodeSound(bytes);
  ASSERT_TRUE(whole.Open);
  ASSERT_EQ(whole.Frames(), 4u * 48000);
  for (size_t i = 0; i < whole.Times.size(); ++i)
    ASSERT_NEAR(whole.Times[i], whole.BlockStart[i] / 48000.0, 1e-9) << "block " << i;

  // A listener joins as a server lets it: the headers, then pages from somewhere in the middle.
  std::vector<std::string> pages = test::SplitPages(bytes);
  std::string joined;
  size_t data = 0;
  while (data < pages.size() && test::PageGranule(pages[data]) == 0) joined += pages[data++];
  ASSERT_LT(data + 4, pages.size());
  for (size_t i = data + 3; i < pages.size(); ++i) joined += pages[i];
  tDecodedSound tail = DecodeSound(joined);
  ASSERT_TRUE(tail.Open);
  ASSERT_GT(tail.Frames(), 48000u);
  const size_t skipped = whole.Frames() - tail.Frames();
  EXPECT_GT(skipped, 4800u) << "joined well after the start";
  EXPECT_NEAR(tail.Times[0], skipped / 48000.0, 1e-9) << "the stream's own time, no pre-skip taken again";
  // Past the decoder's first 80 ms the joined sound is the same sound at the same place.
  const size_t settle = 3840 * 2;
  std::vector<int16_t> same(whole.Samples.begin() + static_cast<std::ptrdiff_t>(skipped * 2),
                            whole.Samples.end());
  EXPECT_GT(test::SnrDb(same, tail.Samples, settle), 30.0);
}

TEST(OpusCodec, OutputGainOfTheHeaderIsApplied) {
  auto rms = [](const tDecodedSound& s) {
    double sum = 0;
    for (size_t i = 9600; i < s.Samples.size() - 9600; ++i)
      sum += static_cast<double>(s.Samples[i]) * s.Samples[i];
    return std::sqrt(sum / static_cast<double>(s.Samples.size() - 19200));
  };
  auto decode = [](const char* gain) {
    return DecodeSound(ReadFile(MakeMedia(
        {"--no-video", "--opus", "--seconds", "1", "--level", "0.2", "--clicks", "0", "--gain", gain})));
  };
  const double plain = rms(decode("0"));
  ASSERT_GT(plain, 1000);
  struct {
    const char* gain;
    double factor;
    const char* note;
  } rows[] = {
      {"1536", 1.99526, "+6 dB (Q7.8)"},
      {"-1536", 0.50119, "-6 dB"},
      {"-2560", 0.31623, "-10 dB"},
      {"-32768", 0.0, "-128 dB: silence"},
  };
  for (const auto& r : rows) {
    tDecodedSound sound = decode(r.gain);
    ASSERT_TRUE(sound.Open) << r.note;
    EXPECT_EQ(sound.Header.OutputGain, std::atoi(r.gain)) << r.note;
    EXPECT_NEAR(rms(sound) / plain, r.factor, 0.01) << r.note;
  }
}

TEST(OpusCodec, DamagedOrUnsupportedHeadersLeaveTheStreamUndecoded) {
  const std::string stereo = ReadFile(MakeMedia({"--no-video", "--opus", "--seconds", "0.5"}));
  const std::string surround =
      ReadFile(MakeMedia({"--no-video", "--opus", "--seconds", "0.5", "--channels", "6", "--clicks", "0"}));
  struct {
    const std::string& file;
    const char* marker;
    size_t skip, length;
    char fill;
    bool plays;
    const char* note;
  } rows[] = {
      {stereo, "OpusHead", 8, 1, '\x10', false, "version 16: a major version we do not know"},
      {stereo, "OpusHead", 8, 1, '\xff', false, "version 255"},
      {stereo, "OpusHead", 8, 1, '\x0f', true, "version 15: a minor version, still ours"},
      {stereo, "OpusHead", 9, 1, '\0', false, "no channels"},
      {stereo, "OpusHead", 9, 1, '\x03', false, "three channels in family 0"},
      {stereo, "OpusHead", 18, 1, '\xff', false, "family 255: channels with no layout"},
      {stereo, "OpusHead", 18, 1, '\x02', false, "family 2 is not played"},
      {stereo, "OpusHead", 18, 1, '\x01', false, "family 1, but the header ends before its layout"},
      {stereo, "OpusHead", 4, 1, 'X', false, "no identification at all"},
      {surround, "OpusHead", 9, 1, '\x09', false, "nine channels"},
      {surround, "OpusHead", 19, 1, '\0', false, "no streams"},
      {surround, "OpusHead", 20, 1, '\x05', false, "more coupled streams than streams"},
      {surround, "OpusHead", 21, 1, '\x0a', false, "a channel mapped past the decoded channels"},
      {surround, "OpusHead", 21, 1, '\xff', true, "a silent channel (255) is allowed"},
      {stereo, "OpusTags", 8, 4, '\xff', true, "a vendor length past the packet costs the comments only"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.note);
    std::string bad = r.file;
    ASSERT_TRUE(test::DamageAfter(bad, r.marker, r.skip, r.length, r.fill));
    tDecodedSound sound = DecodeSound(bad);
    EXPECT_EQ(sound.Open, r.plays) << "the link opens without sound: the player's no-decoder path";
    if (r.plays) {
      EXPECT_EQ(sound.Frames(), 24000u);
    }
  }
  tDecodedSound damagedTags = DecodeSound([&] {
    std::string bad = stereo;
    test::DamageAfter(bad, "OpusTags", 8, 4, '\xff');
    return bad;
  }());
  EXPECT_TRUE(damagedTags.Comments.empty());
}

TEST(OpusCodec, DamagedSoundIsSkippedAndTheStreamGoesOn) {
  const std::string good = ReadFile(MakeMedia({"--no-video", "--opus", "--seconds", "3"}));
  std::vector<std::string> pages = test::SplitPages(good);
  ASSERT_GT(pages.size(), 6u);
  // Wreck the body of one data page in the middle (the page layer still accepts it).
  std::string& page = pages[pages.size() / 2];
  const size_t body = 27 + static_cast<uint8_t>(page[26]);
  for (size_t i = body; i < page.size(); i += 3) page[i] = static_cast<char>(i * 37);
  test::MendPageCrc(page);
  std::string bad;
  for (const std::string& p : pages) bad += p;
  tDecodedSound sound = DecodeSound(bad);
  ASSERT_TRUE(sound.Open);
  EXPECT_GT(sound.Frames(), 2u * 48000) << "the sound after the damage is decoded";
  EXPECT_LE(sound.Frames(), 3u * 48000 + 5760);
  for (size_t i = 1; i < sound.Times.size(); ++i) EXPECT_GE(sound.Times[i], sound.Times[i - 1]);
}

TEST(OpusCodec, CommentHeaderGivesTheVendorAndTheComments) {
  tDecodedSound sound = DecodeSound(ReadFile(MakeMedia(
      {"--no-video", "--opus", "--seconds", "0.5", "--acomment", "TITLE=Tone", "--acomment", "ARTIST=Ktv"})));
  ASSERT_TRUE(sound.Open);
  EXPECT_EQ(sound.Vendor.rfind("libopus", 0), 0u) << sound.Vendor;
  EXPECT_EQ(sound.Comments, (std::vector<std::string>{sound.Vendor, "TITLE=Tone", "ARTIST=Ktv"}));

  auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  const std::string a = le32(3) + "A=1", b = le32(3) + "B=2";
  struct {
    std::string packet;
    bool read;
    std::vector<std::string> lines;
    const char* note;
  } rows[] = {
      {"OpusTags" + le32(1) + "v" + le32(2) + a + b, true, {"v", "A=1", "B=2"}, "whole"},
      {"OpusTags" + le32(0) + le32(1) + a, true, {"A=1"}, "no vendor: comment lines only"},
      {"OpusTags" + le32(1) + "v" + le32(5) + a + b, true, {"v", "A=1", "B=2"}, "count beyond the packet"},
      {"OpusTags" + le32(1) + "v" + le32(2) + a + le32(300) + "B=2", true, {"v", "A=1"}, "a line too long"},
      {"OpusTags" + le32(0xFFFFFFFF) + "v", true, {}, "vendor too long"},
      {"OpusTags" + le32(1), true, {}, "ends in the vendor length"},
      {"OpusTags", true, {}, "nothing after the identification"},
      {"OpusTagz" + le32(0) + le32(0), false, {}, "not a comment header"},
  };
  for (const auto& r : rows) {
    std::vector<std::string> lines;
    std::string vendor;
    EXPECT_EQ(ReadOpusTags(reinterpret_cast<const uint8_t*>(r.packet.data()), r.packet.size(), lines, vendor),
              r.read)
        << r.note;
    EXPECT_EQ(lines, r.lines) << r.note;
  }
}

TEST(OpusCodec, IdentificationHeaderIsReadOnlyWhole) {
  // A family 1 header for 5.1: every shorter prefix is refused.
  std::string head = std::string("OpusHead") + '\x01' + '\x06' + std::string("\x38\x01", 2) +
                     std::string("\x44\xac\0\0", 4) + std::string("\0\0", 2) + '\x01' + '\x04' + '\x02' +
                     std::string("\0\x04\x01\x02\x03\x05", 6);
  tOpusHeader h;
  for (size_t size = 0; size < head.size(); ++size)
    EXPECT_FALSE(ReadOpusHead(reinterpret_cast<const uint8_t*>(head.data()), size, h)) << size << " bytes";
  ASSERT_TRUE(ReadOpusHead(reinterpret_cast<const uint8_t*>(head.data()), head.size(), h));
  EXPECT_EQ(h.Channels, 6);
  EXPECT_EQ(h.PreSkip, 312);
  EXPECT_EQ(h.InputRate, 44100u);
  EXPECT_EQ(h.StreamCount, 4);
  EXPECT_EQ(h.CoupledCount, 2);
  EXPECT_EQ(h.Mapping[5], 5);
}

}  // namespace
}  // namespace ktv
