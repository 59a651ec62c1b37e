// kestrova-cli decode, run as the user runs it, on generated media.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "ogg/media_files.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using test::MakeMedia;
using test::MakeMediaWithRaw;
using test::ReadFile;
using test::RunCli;

double Field(const std::string& json, const std::string& name) {
  return test::JsonNumber(json, name);
}

TEST(DecodeCommand, WritesThePicturesAndSoundThatWereEncoded) {
  auto media = MakeMediaWithRaw({"--width", "90", "--height", "70", "--seconds", "2", "--keyint", "16",
                                 "--aspect", "4:3", "--fps", "25/2"});
  test::tTempDir out;
  auto run = RunCli({"decode", media.Ogg, "--y4m", out.File("a.y4m"), "--wav", out.File("a.wav")});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(run.Out.find('\n'), run.Out.size() - 1) << "one line";
  EXPECT_EQ(Field(run.Out, "frames"), 25);
  EXPECT_EQ(Field(run.Out, "keyframes"), 2);
  EXPECT_EQ(Field(run.Out, "audio_frames"), 88200);
  EXPECT_EQ(Field(run.Out, "links"), 1);
  EXPECT_NEAR(Field(run.Out, "media_seconds"), 2.0, 0.001);
  EXPECT_GE(Field(run.Out, "wall_seconds"), 0);

  test::tY4M raw = test::ParseY4M(ReadFile(media.Y4M));
  test::tY4M got = test::ParseY4M(ReadFile(out.File("a.y4m")));
  EXPECT_EQ(got.Header, "YUV4MPEG2 W90 H70 F25:2 Ip A4:3 C420jpeg");
  ASSERT_EQ(got.Frames.size(), 25u);
  EXPECT_GT(test::MeanPsnr(got.Frames, raw.Frames), 30.0)
      << "picture region cut from the wrong place or planes mixed up";

  test::tWav rawWav = test::ParseWav(ReadFile(media.Wav));
  test::tWav gotWav = test::ParseWav(ReadFile(out.File("a.wav")));
  EXPECT_EQ(gotWav.Channels, 2);
  EXPECT_EQ(gotWav.Rate, 44100);
  EXPECT_EQ(gotWav.Bits, 16);
  ASSERT_EQ(gotWav.Samples.size(), rawWav.Samples.size()) << "header sizes written at the end";
  EXPECT_GT(test::SnrDb(rawWav.Samples, gotWav.Samples), 20.0);

  // A second run gives the same bytes.
  auto again = RunCli({"decode", media.Ogg, "--y4m", out.File("b.y4m"), "--wav", out.File("b.wav")});
  ASSERT_EQ(again.ExitCode, 0);
  EXPECT_TRUE(ReadFile(out.File("a.y4m")) == ReadFile(out.File("b.y4m")));
  EXPECT_TRUE(ReadFile(out.File("a.wav")) == ReadFile(out.File("b.wav")));
}

TEST(DecodeCommand, OpusSoundIsWrittenAt48kHzWithEverySampleInPlace) {
  auto media = MakeMediaWithRaw({"--no-video", "--opus", "--seconds", "1.013"});
  test::tTempDir out;
  auto run = RunCli({"decode", media.Ogg, "--wav", out.File("o.wav")});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(Field(run.Out, "audio_frames"), 48624);
  EXPECT_NEAR(Field(run.Out, "media_seconds"), 1.013, 0.001);
  test::tWav raw = test::ParseWav(ReadFile(media.Wav)), got = test::ParseWav(ReadFile(out.File("o.wav")));
  EXPECT_EQ(got.Rate, 48000);
  EXPECT_EQ(got.Channels, 2);
  ASSERT_EQ(got.Samples.size(), raw.Samples.size());
  EXPECT_GT(test::SnrDb(raw.Samples, got.Samples), 20.0);
}

TEST(DecodeCommand, FollowsChainedLinks) {
  // Link 1: video and stereo sound; link 2: sound only; link 3: video again, of another size.
  std::string chained = MakeMedia({"--width", "64", "--height", "48", "--seconds", "1", "--link",
                                   "--no-video", "--link", "--video", "--width", "32", "--height", "32"});
  test::tTempDir out;
  auto run = RunCli({"decode", chained, "--y4m", out.File("c.y4m"), "--wav", out.File("c.wav")});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(Field(run.Out, "links"), 3);
  EXPECT_EQ(Field(run.Out, "frames"), 50);
  EXPECT_EQ(Field(run.Out, "audio_frames"), 3 * 44100) << "no sound lost at the link boundaries";
  EXPECT_NEAR(Field(run.Out, "media_seconds"), 3.0, 0.001);
  test::tY4M y4m = test::ParseY4M(ReadFile(out.File("c.y4m")));
  EXPECT_EQ(y4m.Width, 64);
  EXPECT_EQ(y4m.Frames.size(), 25u) << "pictures of another size end the Y4M output";
  EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
  EXPECT_NE(run.Err.find("another size"), std::string::npos) << run.Err;
  EXPECT_EQ(test::ParseWav(ReadFile(out.File("c.wav"))).Frames(), 3u * 44100) << "same format: all links";
}

TEST(DecodeCommand, ExitCodes) {
  test::tTempDir dir;
  test::WriteFile(dir.File("text.ogg"), std::string(20000, 'x'));
  std::string extraOnly = dir.File("extra.ogg");
  // Only the unknown stream of a generated file: keep the pages whose serial number ends in 3.
  {
    std::string kept;
    for (const std::string& page :
         test::SplitPages(ReadFile(MakeMedia({"--width", "32", "--height", "32", "--extra-stream", "writ"}))))
      if (static_cast<uint8_t>(page[14]) == 0x03) kept += page;
    ASSERT_FALSE(kept.empty());
    test::WriteFile(extraOnly, kept);
  }
  std::string good = MakeMedia({"--width", "32", "--height", "32", "--seconds", "0.5"});
  std::string futureOpus = dir.File("opus16.ogg");
  {
    std::string bytes = ReadFile(MakeMedia({"--no-video", "--opus", "--seconds", "0.5"}));
    ASSERT_TRUE(test::DamageAfter(bytes, "OpusHead", 8, 1, '\x10'));
    test::WriteFile(futureOpus, bytes);
  }
  const std::string kCannotPlay = "This program cannot play this type of stream.";
  struct {
    std::vector<std::string> args;
    int code;
    std::string err;
    const char* note;
  } rows[] = {
      {{"decode"}, 2, "usage", "no source"},
      {{"decode", good, "--y4m"}, 2, "usage", "option without its value"},
      {{"decode", good, "--mp4", "x"}, 2, "usage", "unknown option"},
      {{"decode", good, good}, 2, "usage", "two sources"},
      {{"decode", dir.File("missing.ogg")}, 1, "cannot open", "no such file"},
      {{"decode", dir.File("text.ogg")}, 1, kCannotPlay, "not an Ogg file"},
      {{"decode", extraOnly}, 1, kCannotPlay, "an Ogg file with no stream we decode"},
      {{"decode", futureOpus}, 1, kCannotPlay, "Opus of a major version we do not know"},
      {{"decode", "file://" + good}, 0, "", "file:// address"},
  };
  for (const auto& r : rows) {
    auto run = RunCli(r.args);
    EXPECT_EQ(run.ExitCode, r.code) << r.note;
    if (!r.err.empty()) {
      EXPECT_NE(run.Err.find(r.err), std::string::npos) << r.note << ": " << run.Err;
    }
    if (r.code != 0) {
      EXPECT_EQ(run.Out, "") << r.note;
    }
  }
}

TEST(DecodeCommand, DamagedFilesDecodeWhatTheyCanAndEnd) {
  std::string good = ReadFile(MakeMedia({"--width", "48", "--height", "32", "--seconds", "2"}));
  ASSERT_FALSE(good.empty());
  test::tTempDir dir;
  struct {
    size_t from, step;
    const char* note;
  } rows[] = {
      {12000, 997, "data pages damaged all through: pages lost, packets with holes"},
      {good.size() / 2, 1, "second half garbage"},
  };
  for (const auto& r : rows) {
    std::string bad = good;
    for (size_t i = r.from; i < bad.size(); i += r.step) bad[i] = static_cast<char>(i * 131 + 7);
    test::WriteFile(dir.File("bad.ogg"), bad);
    auto run =
        RunCli({"decode", dir.File("bad.ogg"), "--y4m", dir.File("bad.y4m"), "--wav", dir.File("bad.wav")});
    EXPECT_EQ(run.ExitCode, 0) << r.note << ": " << run.Err;
    EXPECT_LT(Field(run.Out, "frames"), 50) << r.note;
    EXPECT_EQ(test::ParseY4M(ReadFile(dir.File("bad.y4m"))).Frames.size(), Field(run.Out, "frames"))
        << r.note;
    EXPECT_EQ(test::ParseWav(ReadFile(dir.File("bad.wav"))).Frames(), Field(run.Out, "audio_frames"))
        << r.note;
  }
}

TEST(DecodeCommand, FormatsWithoutAY4MForm) {
  std::string media = MakeMedia({"--width", "32", "--height", "32", "--seconds", "0.5", "--pixfmt", "444"});
  test::tTempDir out;
  auto run = RunCli({"decode", media, "--y4m", out.File("x.y4m")});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(Field(run.Out, "frames"), 13) << "4:4:4 pictures are still decoded";
  EXPECT_FALSE(std::filesystem::exists(out.File("x.y4m")));
  EXPECT_NE(run.Err.find("4:2:0"), std::string::npos);

  std::string silent = MakeMedia({"--no-audio", "--width", "32", "--height", "32", "--seconds", "0.5"});
  run = RunCli({"decode", silent, "--wav", out.File("x.wav")});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(Field(run.Out, "audio_frames"), 0);
  EXPECT_NE(run.Err.find("no sound"), std::string::npos);
}

}  // namespace
}  // namespace ktv
