// kestrova-cli vis: pictures from the sound of Ogg and WAV files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "vis/png_reader.h"

namespace ktv {
namespace {

using test::DecodePng;
using test::tDecoded;

// Runs the command on a source; checks the pictures it reports are there, the right size, lit and moving.
void ExpectMovingPictures(const std::string& source, int expectedPictures, int minBeats) {
  test::tTempDir dir;
  std::string out = dir.File("pictures");
  test::tRunResult r = test::RunCli({"vis", source, "--png", out, "--frames", "25", "--size", "64x48"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("\"pictures\":" + std::to_string(expectedPictures) + ","), std::string::npos) << r.Out;
  size_t at = r.Out.find("\"beats\":");
  ASSERT_NE(at, std::string::npos) << r.Out;
  EXPECT_GE(std::atoi(r.Out.c_str() + at + 8), minBeats) << "the clicks were not heard: " << r.Out;
  std::vector<tDecoded> pictures;
  for (int i = 0; i < expectedPictures; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%05d.png", i);
    pictures.push_back(DecodePng(test::ReadFile(out + name)));
    ASSERT_TRUE(pictures.back().Ok) << name;
    ASSERT_EQ(pictures.back().Width, 64u);
    ASSERT_EQ(pictures.back().Height, 48u);
  }
  int lit = 0, changed = 0;
  for (size_t i = 1; i < pictures.size(); ++i) {
    for (uint32_t p : pictures[i].Pixels) lit += p != 0;
    changed += pictures[i].Pixels != pictures[i - 1].Pixels;
  }
  EXPECT_GT(lit, 64 * 48) << "the pictures are black";
  EXPECT_EQ(changed, expectedPictures - 1) << "the picture stood still";
}

TEST(VisCommandTest, WritesMovingBeatDrivenPicturesFromOggAndWav) {
  // Two clicks a second for 4 s: frames 0..200 at 20 ms, every 25th written; the first click meets an empty
  // history, so at least 6 of the 8 beat.
  test::tMediaFiles media =
      test::MakeMediaWithRaw({"--no-video", "--clicks", "2", "--seconds", "4", "--tone", "229.6875"});
  ASSERT_FALSE(media.Ogg.empty());
  ExpectMovingPictures(media.Ogg, 9, 6);
  ExpectMovingPictures(media.Wav, 9, 6);
  // A chained file whose second link has another rate and channel count; a file with video shows its sound.
  std::string chained =
      test::MakeMedia({"--no-video", "--clicks", "2", "--seconds", "2", "--tone", "229.6875", "--link",
                       "--rate", "22050", "--channels", "1", "--tone", "114.84375"});
  ExpectMovingPictures(chained, 9, 5);
  // Opus sound is heard at 48 kHz.
  std::string opus =
      test::MakeMedia({"--no-video", "--opus", "--clicks", "2", "--seconds", "4", "--tone", "250"});
  ExpectMovingPictures(opus, 9, 6);
  std::string withVideo = test::MakeMedia(
      {"--width", "64", "--height", "48", "--clicks", "2", "--seconds", "2", "--tone", "229.6875"});
  ExpectMovingPictures(withVideo, 5, 2);
}

TEST(VisCommandTest, RefusesBadUse) {
  test::tTempDir dir;
  test::WriteFile(dir.File("not.wav"), "this is no sound");
  struct tCase {
    std::vector<std::string> Args;
    int Exit;
    const char* Fault;
  } cases[] = {
      {{"vis"}, 2, "no source"},
      {{"vis", dir.File("not.wav")}, 2, "no --png folder"},
      {{"vis", dir.File("not.wav"), "--png", dir.File("p"), "--size", "0x10"}, 2, "an empty size"},
      {{"vis", dir.File("not.wav"), "--png", dir.File("p"), "--frames", "-3"}, 2, "a negative interval"},
      {{"vis", dir.File("not.wav"), "--png", dir.File("p")}, 1, "a file that is not sound"},
      {{"vis", test::MakeMedia({"--no-audio", "--seconds", "1"}), "--png", dir.File("p")},
       1,
       "no Vorbis stream"},
      {{"vis", dir.File("missing.wav"), "--png", dir.File("p")}, 1, "a missing file"},
  };
  for (const tCase& c : cases) EXPECT_EQ(test::RunCli(c.Args).ExitCode, c.Exit) << c.Fault;
}

}  // namespace
}  // namespace ktv
