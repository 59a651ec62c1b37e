// kestrova-cli probe, run as the user runs it, on generated media.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/test_support.h"

namespace ktv {
namespace {

using test::MakeMedia;
using test::RunCli;

TEST(ProbeCommand, ReportsThePixelFormatOfEveryLayout) {
  struct {
    const char* Option;
    int Expected;
  } rows[] = {{"420", 0}, {"422", 2}, {"444", 3}};
  for (const auto& r : rows) {
    auto run = RunCli({"probe", MakeMedia({"--width", "33", "--height", "17", "--pixfmt", r.Option,
                                           "--seconds", "0.2", "--no-audio"})});
    ASSERT_EQ(run.ExitCode, 0) << r.Option << ": " << run.Err;
    EXPECT_EQ(test::JsonNumber(run.Out, "pixelformat"), r.Expected) << r.Option;
    EXPECT_EQ(test::JsonNumber(run.Out, "frame_width"), 33) << r.Option;
  }
}

TEST(ProbeCommand, ReportsDecoderParametersAndComments) {
  std::string media = MakeMedia({"--width", "100", "--height", "90", "--fps", "30000/1001", "--aspect",
                                 "16:15", "--seconds", "0.5", "--channels", "1", "--rate", "32000",
                                 "--vcomment", "TITLE=Card", "--acomment", "A=1"});
  auto run = RunCli({"probe", media});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const std::string& j = run.Out;
  EXPECT_NE(j.find("\"streams\":[{\"index\":0,\"codec\":\"Theora\"},{\"index\":1,\"codec\":\"Vorbis\"}]"),
            std::string::npos)
      << j;
  struct {
    const char* name;
    double value;
  } rows[] = {{"width", 112},     {"height", 96},  {"frame_width", 100},    {"frame_height", 90},
              {"offset_x", 6},    {"offset_y", 2}, {"fps", 30000.0 / 1001}, {"aspect", 16.0 / 15},
              {"pixelformat", 0}, {"channels", 1}, {"rate", 32000}};
  for (const auto& r : rows) EXPECT_NEAR(test::JsonNumber(j, r.name), r.value, 1e-6) << r.name;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(j, m, std::regex("\"comments\":\\[(.*)\\]")));
  std::string comments = m[1];
  size_t theoraVendor = comments.find("libtheora"), vorbisVendor = comments.find("libVorbis");
  size_t title = comments.find("\"TITLE=Card\""), a = comments.find("\"A=1\"");
  ASSERT_NE(theoraVendor, std::string::npos);
  ASSERT_NE(a, std::string::npos);
  EXPECT_TRUE(theoraVendor < vorbisVendor && vorbisVendor < title && title < a)
      << "vendors first: " << comments;

  // Opus: the stream keeps the name the codec-name rule gives it; the header's fields are reported.
  auto opus =
      RunCli({"probe", MakeMedia({"--no-video", "--opus", "--channels", "6", "--rate", "32000", "--gain",
                                  "-1536", "--seconds", "0.5", "--acomment", "TITLE=Surround"})});
  ASSERT_EQ(opus.ExitCode, 0) << opus.Err;
  EXPECT_NE(opus.Out.find("\"streams\":[{\"index\":0,\"codec\":\"PusHead\"}]"), std::string::npos)
      << opus.Out;
  EXPECT_NE(opus.Out.find("\"audio\":{\"codec\":\"Opus\",\"channels\":6,\"rate\":48000,"), std::string::npos)
      << opus.Out;
  struct {
    const char* name;
    double value;
  } opusRows[] = {
      {"input_rate", 32000}, {"output_gain_db", -6}, {"mapping_family", 1}, {"streams", 4}, {"coupled", 2}};
  for (const auto& r : opusRows) EXPECT_EQ(test::JsonNumber(opus.Out, r.name), r.value) << r.name;
  EXPECT_GT(test::JsonNumber(opus.Out, "pre_skip"), 0);
  EXPECT_NE(opus.Out.find("\"comments\":[\"libopus"), std::string::npos) << opus.Out;
  EXPECT_NE(opus.Out.find("\"TITLE=Surround\"]"), std::string::npos) << opus.Out;

  EXPECT_EQ(RunCli({"probe", "FILE://" + media}).Out, j) << "a file:// address in any case names the file";

  auto audioOnly = RunCli({"probe", MakeMedia({"--no-video", "--seconds", "0.5"})});
  ASSERT_EQ(audioOnly.ExitCode, 0);
  EXPECT_EQ(audioOnly.Out.find("\"video\""), std::string::npos);
  EXPECT_NE(audioOnly.Out.find("\"audio\":{\"codec\":\"Vorbis\",\"channels\":2,\"rate\":44100}"),
            std::string::npos)
      << audioOnly.Out;
}

}  // namespace
}  // namespace ktv
