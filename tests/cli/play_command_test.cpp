// kestrova-cli play, run as the user runs it: local files, a loopback server, a real streaming server and the
// real SDL sound path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "ogg/media_files.h"
#include "platform/clock.h"
#include "support/icecast_server.h"
#include "support/script_server.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

int Count(const std::string& out, const std::string& line) {
  int n = 0;
  for (size_t at = out.find(line); at != std::string::npos; at = out.find(line, at + 1)) ++n;
  return n;
}

TEST(PlayCommand, LocalSources) {
  tTempDir dir;
  std::string clip = MakeMedia({"--width", "64", "--height", "48", "--seconds", "2", "--vcomment",
                                "TITLE=Tone", "--acomment", "ARTIST=Generator"});
  WriteFile(dir.File("list.m3u"), "#EXTM3U\n" + clip + "\n");
  struct {
    std::vector<std::string> args;
    int exit;
    int state, error;
    const char* errorText;
    const char* note;
  } rows[] = {
      {{"play", clip, "--output", "none"}, 0, 0, 7, "", "a file plays to its end"},
      {{"play", "file://" + dir.File("gone.ogg"), "--output", "none"},
       1,
       0,
       8,
       "Unable to open file file specified.",
       "missing file"},
      {{"play", dir.File("list.m3u"), "--output", "none"}, 0, 0, 7, "", "a playlist plays its entries"},
  };
  for (const auto& r : rows) {
    tRunResult run = RunCli(r.args);
    EXPECT_EQ(run.ExitCode, r.exit) << r.note << "\n" << run.Out << run.Err;
    std::string json = run.Out.substr(run.Out.rfind('{'));
    EXPECT_EQ(JsonNumber(json, "state"), r.state) << r.note;
    EXPECT_EQ(JsonNumber(json, "error_code"), r.error) << r.note;
    EXPECT_EQ(JsonText(json, "error_text"), r.errorText) << r.note;
  }
  tRunResult run = RunCli({"play", clip, "--output", "none"});
  std::string json = run.Out.substr(run.Out.rfind('{'));
  EXPECT_EQ(JsonNumber(json, "shown") + JsonNumber(json, "dropped"), 50)
      << "every picture, timed by the clock";
  // A loaded machine may leave a picture or two more than a frame late; a player racing the queue drops most.
  EXPECT_LE(JsonNumber(json, "dropped"), 2);
  EXPECT_NEAR(JsonNumber(json, "media_seconds"), 2.0, 0.05);
  EXPECT_EQ(JsonNumber(json, "links"), 1);
  std::string name = clip.substr(clip.rfind('/') + 1);
  name = name.substr(0, name.rfind('.'));
  EXPECT_EQ(JsonText(json, "title"), name + " - " + name + ": Generator - Tone") << "file name, comments";
  EXPECT_NE(run.Out.find("progress 1\nprogress 2\nprogress 3\nprogress 8\n"), std::string::npos) << run.Out;
}

// Pictures in 4:2:2 and 4:4:4 are played, also from a file with no sound beside them.
TEST(PlayCommand, EveryChromaLayoutShowsItsPictures) {
  struct {
    std::vector<std::string> Options;
    const char* Note;
  } rows[] = {
      {{"--pixfmt", "444", "--no-audio"}, "4:4:4 pictures alone"},
      {{"--pixfmt", "422", "--no-audio"}, "4:2:2 pictures alone"},
      {{"--pixfmt", "444"}, "4:4:4 with sound"},
  };
  for (const auto& r : rows) {
    std::vector<std::string> options = {"--width", "48", "--height", "32", "--fps", "25", "--seconds", "1"};
    options.insert(options.end(), r.Options.begin(), r.Options.end());
    tRunResult run = RunCli({"play", MakeMedia(options), "--output", "none"});
    EXPECT_EQ(run.ExitCode, 0) << r.Note << "\n" << run.Out << run.Err;
    const std::string json = run.Out.substr(run.Out.rfind('{'));
    EXPECT_EQ(JsonText(json, "error_text"), "") << r.Note;
    EXPECT_EQ(run.Err.find("cannot play"), std::string::npos) << r.Note;
    EXPECT_EQ(JsonNumber(json, "shown") + JsonNumber(json, "dropped"), 25) << r.Note;
    EXPECT_GT(JsonNumber(json, "shown"), 20) << r.Note;
    EXPECT_NE(run.Out.find("progress 2\n"), std::string::npos) << r.Note << ": video found";
  }
}

TEST(PlayCommand, StatsTimeTheFirstPicture) {
  const std::string video = MakeMedia({"--width", "64", "--height", "48", "--seconds", "1"});
  const std::string sound = MakeMedia({"--seconds", "1", "--no-video"});
  struct {
    std::vector<std::string> Args;
    bool Picture;
    const char* Fault;
  } rows[] = {
      {{"play", video, "--output", "none", "--stats"}, true, "a picture from the opening"},
      {{"play", sound, "--output", "none", "--stats"}, false, "sound only: null, not a time"},
  };
  for (const auto& r : rows) {
    const uint32_t start = timeGetTime();
    tRunResult run = RunCli(r.Args);
    const uint32_t wall = timeGetTime() - start;
    ASSERT_EQ(run.ExitCode, 0) << r.Fault << "\n" << run.Out << run.Err;
    const std::string json = run.Out.substr(run.Out.rfind('{'));
    if (r.Picture) {
      const double first = JsonNumber(json, "first_picture_ms");
      EXPECT_GE(first, 0) << r.Fault << "\n" << json;
      EXPECT_LT(first, wall) << r.Fault << "\n" << json;
    } else {
      EXPECT_NE(json.find("\"first_picture_ms\":null"), std::string::npos) << r.Fault << "\n" << json;
    }
  }
  tRunResult plain = RunCli({"play", video, "--output", "none"});
  EXPECT_EQ(plain.Out.find("first_picture_ms"), std::string::npos) << "only with --stats";
}

TEST(PlayCommand, BadUsage) {
  for (std::vector<std::string> args : {std::vector<std::string>{"play"},
                                        {"play", "x.ogg", "--output", "tape"},
                                        {"play", "x.ogg", "--volume", "70000"},
                                        {"play", "x.ogg", "--seconds", "-1"}})
    EXPECT_EQ(RunCli(args).ExitCode, 2) << args.back();
}

TEST(PlayCommand, RealSoundDeviceCarriesTheTone) {
  tTempDir dir;
  struct {
    std::string clip;
    int rate;
    const char* note;
  } clips[] = {
      {MakeMedia({"--no-video", "--seconds", "2", "--tone", "440", "--clicks", "0"}), 44100, "Vorbis"},
      {MakeMedia({"--no-video", "--opus", "--seconds", "2", "--tone", "440", "--clicks", "0"}), 48000,
       "Opus"},
  };
  tScopedEnv driver("SDL_AUDIODRIVER", "disk");
  for (const auto& c : clips) {
    for (const char* output : {"ring", "blocks"}) {
      SCOPED_TRACE(std::string(c.note) + " through " + output);
      std::string raw = dir.File(std::string(output) + ".raw");
      tScopedEnv file("SDL_DISKAUDIOFILE", raw);
      tRunResult run = RunCli({"play", c.clip, "--output", output});
      EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
      std::string bytes = ReadFile(raw);
      ASSERT_GT(bytes.size(), static_cast<size_t>(c.rate) * 4)
          << "at least a second of sound reached the device";
      std::vector<int16_t> pcm(bytes.size() / 2);
      std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
      // The device runs at the stream's rate: the tone is where it was encoded.
      double tone = ToneLevel(pcm, 2, 0, c.rate, 440), other = ToneLevel(pcm, 2, 0, c.rate, 1000);
      EXPECT_GT(tone, 0.1);
      EXPECT_GT(tone, 20 * other) << "the generated tone dominates";
    }
  }
}

// Feeds the clip to a real icecast2 under the station's name and description and plays it with the command's
// further arguments, sound through SDL's dummy device.
void PlayFromIcecast(const std::string& clip, const std::string& name, const std::string& description,
                     const std::vector<std::string>& args, tRunResult& run) {
  tIcecastServer server;
  ASSERT_TRUE(server.Running()) << server.Log();
  ASSERT_TRUE(server.Feed(clip, "/live.ogg", name, "Tests", description)) << server.Log();
  std::vector<std::string> command = {"play", server.URL("/live.ogg")};
  command.insert(command.end(), args.begin(), args.end());
  tScopedEnv driver("SDL_AUDIODRIVER", "dummy");
  run = RunCli(command);
}

TEST(PlayCommand, RealStreamingServerWithChainedLinks) {
  std::string clip = MakeMedia({"--width", "64", "--height", "48", "--seconds", "1.5", "--link", "--link",
                                "--link", "--link", "--link"});
  tRunResult run;
  ASSERT_NO_FATAL_FAILURE(
      PlayFromIcecast(clip, "Ice TV", "Chained clips", {"--seconds", "7", "--buffer", "2"}, run));
  std::string json = run.Out.substr(run.Out.rfind('{'));
  EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  EXPECT_GE(Count(run.Out, "progress 8\n"), 2) << "chain links followed\n" << run.Out;
  EXPECT_GE(JsonNumber(json, "links"), 2);
  EXPECT_GT(JsonNumber(json, "shown"), 20);
  EXPECT_GT(JsonNumber(json, "media_seconds"), 2.0);
  EXPECT_EQ(JsonText(json, "title"), "Ice TV - Chained clips");
}

TEST(PlayCommand, RealStreamingServerStationSwitchingBetweenVorbisAndOpus) {
  std::string clip =
      MakeMedia({"--no-video", "--seconds", "3", "--acomment", "TITLE=One", "--link", "--opus", "--seconds",
                 "2", "--acomment", "TITLE=Two", "--link", "--vorbis", "--acomment", "TITLE=Three"});
  tRunResult run;
  ASSERT_NO_FATAL_FAILURE(
      PlayFromIcecast(clip, "Ice Radio", "Two codecs", {"--seconds", "15", "--buffer", "1"}, run));
  std::string json = run.Out.substr(run.Out.rfind('{'));
  EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  // The title follows the links; the listener may have joined after the first link's headers were sent.
  const std::string prefix = "title: Ice Radio - Two codecs: ";
  size_t one = run.Out.find(prefix + "One\n"), two = run.Out.find(prefix + "Two\n"),
         three = run.Out.find(prefix + "Three\n");
  ASSERT_NE(two, std::string::npos) << "the Opus link was opened\n" << run.Out;
  ASSERT_NE(three, std::string::npos) << "and the Vorbis link after it\n" << run.Out;
  EXPECT_LT(two, three) << run.Out;
  EXPECT_TRUE(one == std::string::npos || one < two) << run.Out;
  EXPECT_GE(JsonNumber(json, "links"), 2);
  EXPECT_GT(JsonNumber(json, "media_seconds"), 3.0) << "the sound of the links was played";
}

}  // namespace
}  // namespace ktv

namespace ktv {
namespace {

using namespace ktv::test;

// Where a progress line first appears in the command's output, and whether another follows it.
bool ProgressAfter(const std::string& out, const std::string& first, const std::string& then) {
  size_t at = out.find(first);
  return at != std::string::npos && out.find(then, at) != std::string::npos;
}

// Pictures at 50 and 60 frames per second last less than the sound device's pull (1024 frames, 23 ms): the
// clock must move between pulls or good frames count as late.
class HighFrameRate : public ::testing::TestWithParam<std::tuple<const char*, int, int>> {};

TEST_P(HighFrameRate, DropsAtMostOnePercent) {
  auto [output, fps, rate] = GetParam();
  const int seconds = 8;
  std::string clip = MakeMedia({"--width", "160", "--height", "120", "--fps", std::to_string(fps), "--rate",
                                std::to_string(rate), "--seconds", std::to_string(seconds)});
  tScopedEnv driver("SDL_AUDIODRIVER", "dummy");
  tRunResult run = RunCli({"play", clip, "--output", output, "--stats"});
  ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  std::string json = run.Out.substr(run.Out.rfind('{'));
  const double frames = fps * seconds;
  EXPECT_LE(JsonNumber(json, "dropped"), 0.01 * frames) << json;
  // Playback is done with a tenth of a second (ring) or two blocks still queued: their pictures go unshown.
  EXPECT_GE(JsonNumber(json, "shown"), 0.98 * frames) << json;
}

INSTANTIATE_TEST_SUITE_P(Outputs, HighFrameRate,
                         ::testing::Values(std::make_tuple("ring", 60, 44100),
                                           std::make_tuple("blocks", 60, 44100),
                                           std::make_tuple("ring", 50, 48000),
                                           std::make_tuple("blocks", 50, 48000)));

// Live streaming as a listener meets it: a real server fed in real time, naming no bit rate, joined while
// its first link plays, played for more than 30 s across a chain boundary through each sound output.
class LiveStream : public ::testing::TestWithParam<const char*> {};

TEST_P(LiveStream, PlaysInRealTimeAcrossAChainBoundary) {
  // 640x360 at 25 fps with stereo Vorbis, near 500 kbit/s; two links of 24 s, so the boundary comes while
  // playing (after 8 to 12 s of buffering) and the server still sends when the run ends.
  constexpr double kFps = 25;
  std::string clip =
      MakeMedia({"--width", "640", "--height", "360", "--kbps", "420", "--seconds", "24", "--link"});
  tRunResult run;
  ASSERT_NO_FATAL_FAILURE(PlayFromIcecast(clip, "Live TV", "Real time",
                                          {"--seconds", "46", "--output", GetParam(), "--stats"}, run));
  ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  std::string json = run.Out.substr(run.Out.rfind('{'));
  std::printf("live %s: %s\n", GetParam(), json.c_str());  // the figures the README records
  const double playing = JsonNumber(json, "playing_seconds");
  ASSERT_GE(playing, 30) << "the default buffer fills in 8 to 12 s\n" << json;
  // The server sends in real time: this many pictures arrived while the stream played.
  const double sent = kFps * playing;
  EXPECT_GE(JsonNumber(json, "shown"), 0.95 * sent) << json;
  EXPECT_LE(JsonNumber(json, "dropped"), 0.01 * sent) << json;
  EXPECT_EQ(JsonNumber(json, "rebuffers"), 0) << json;
  EXPECT_FALSE(ProgressAfter(run.Out, "progress 5\n", "progress 4\n")) << "no return to buffering\n"
                                                                       << run.Out;
  EXPECT_GE(JsonNumber(json, "links"), 2) << "the chain link is followed\n" << json;
}

INSTANTIATE_TEST_SUITE_P(Outputs, LiveStream, ::testing::Values("ring", "blocks", "none"));

}  // namespace
}  // namespace ktv

namespace ktv {
namespace {

using namespace ktv::test;

std::string IcyAnswer(const std::string& body) {
  return "ICY 200 OK\r\nContent-Type: application/ogg\r\nicy-name: Loop Radio\r\n\r\n" + body;
}

// A live stream that drops comes back at the real pace of the first wait (a second): the pictures go on
// across the gap as a new chain link. (Pictures this size fill a page each few frames, so the part before
// the drop holds whole pages; a second of buffer lets it play before the drop is noticed.)
TEST(PlayCommand, LiveStreamThatDropsIsReconnected) {
  const std::string clip = ReadFile(MakeMedia({"--width", "160", "--height", "120", "--seconds", "2"}));
  tScriptServer server(
      std::vector<tScript>{{ReadRequest(), Send(IcyAnswer(clip.substr(0, clip.size() * 3 / 4))), Close()},
                           {ReadRequest(), Send(IcyAnswer(clip)), Close()}});
  tRunResult run =
      RunCli({"play", server.URL("/live.ogg"), "--output", "none", "--seconds", "30", "--buffer", "1"});
  std::string json = run.Out.substr(run.Out.rfind('{'));
  EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  EXPECT_EQ(JsonNumber(json, "reconnects"), 1) << json;
  // What came before the drop plays while the attempt waits, before the new connection's link (its header
  // reported as progress 8) arrives. (Which of the status poll and the playing notice comes first is up to
  // the threads.)
  const size_t reconnecting = run.Out.find("status: Reconnecting");
  ASSERT_NE(reconnecting, std::string::npos) << run.Out;
  const size_t secondLink = run.Out.find("progress 8\n", reconnecting);
  EXPECT_LT(run.Out.find("progress 5\n"), secondLink) << "it played what it had before it was back\n"
                                                      << run.Out;
  EXPECT_EQ(JsonNumber(json, "error_code"), 7) << "the stream that came back ends in order";
  EXPECT_EQ(JsonNumber(json, "links"), 2) << "the new connection plays as a new chain link";
  // 50 pictures of the whole clip after the gap, and those of the part before it.
  EXPECT_GT(JsonNumber(json, "shown"), 70) << json;
  EXPECT_LE(JsonNumber(json, "shown"), 100) << json;
  EXPECT_NE(run.Out.find("status: Reconnecting to Stream (attempt 1 of 5)..."), std::string::npos) << run.Out;
  EXPECT_EQ(Count(run.Out, "progress 6\n"), 1) << "the stream is reported as ended only once, at its end";
  EXPECT_EQ(server.Connections(), 2);
}

// Where the first page of sound after the headers begins: an encoder that writes long sound pages places
// each behind the pictures it covers, so the pictures of the first second come first.
size_t FirstSoundPage(const std::string& ogg) {
  std::vector<uint32_t> serials;
  for (size_t at = 0; at + 27 <= ogg.size();) {
    const auto* page = reinterpret_cast<const uint8_t*>(ogg.data() + at);
    int64_t granule = 0;
    uint32_t serial = 0;
    std::memcpy(&granule, page + 6, 8);
    std::memcpy(&serial, page + 14, 4);
    size_t size = 27 + page[26];
    for (int i = 0; i < page[26]; ++i) size += page[27 + i];
    if (std::find(serials.begin(), serials.end(), serial) == serials.end()) serials.push_back(serial);
    if (serials.size() == 2 && serial == serials[1] && granule > 0) return at;
    at += size;
  }
  return std::string::npos;
}

// The sound that starts the clock lies far behind the first pictures, and the server stops just before it:
// the first picture still goes up, and only the first (the rest wait for the sound).
TEST(PlayCommand, FirstPictureShowsBeforeTheSoundArrives) {
  const std::string clip = ReadFile(
      MakeMedia({"--width", "640", "--height", "360", "--fps", "25", "--kbps", "420", "--seconds", "4"}));
  const size_t sound = FirstSoundPage(clip);
  ASSERT_NE(sound, std::string::npos);
  ASSERT_GT(sound, 60000u) << "the clip's first sound page comes after a second's worth of pictures";
  tScriptServer server(
      std::vector<tScript>{{ReadRequest(), Send(IcyAnswer(clip.substr(0, sound))), Stall()}});
  tRunResult run = RunCli(
      {"play", server.URL("/live.ogg"), "--output", "ring", "--buffer", "1", "--seconds", "3", "--stats"});
  std::string json = run.Out.substr(run.Out.rfind('{'));
  EXPECT_EQ(JsonNumber(json, "shown"), 1) << json;
  EXPECT_GE(JsonNumber(json, "first_picture_ms"), 0) << json;
}

TEST(PlayCommand, ServerThatNeverComesBackEndsAfterTheAttempts) {
  const std::string clip = ReadFile(MakeMedia({"--width", "64", "--height", "48", "--seconds", "2"}));
  auto server = std::make_unique<tScriptServer>(std::vector<tScript>{
      {ReadRequest(), Send(IcyAnswer(clip.substr(0, clip.size() / 2))), Close()}, {Close()}});
  const std::string url = server->URL("/live.ogg");
  tRunResult run;
  std::thread player([&] {
    run = RunCli({"play", url, "--output", "none", "--seconds", "30", "--reconnect-unit", "50"});
  });
  // Gone for good once the stream has dropped: every attempt after that is refused.
  bool dropped = server->WaitForFinished(0, 20000);
  server.reset();
  player.join();
  ASSERT_TRUE(dropped) << run.Out;
  std::string json = run.Out.substr(run.Out.rfind('{'));
  EXPECT_EQ(run.ExitCode, 1) << run.Out;
  EXPECT_EQ(JsonNumber(json, "error_code"), 4) << "the last attempt's failure is reported";
  EXPECT_EQ(JsonText(json, "error_text"), "Unable to connect to the streaming server.");
  EXPECT_EQ(JsonNumber(json, "reconnects"), 0);
  EXPECT_NE(run.Out.find("status: Reconnecting to Stream (attempt 5 of 5)..."), std::string::npos) << run.Out;
  EXPECT_EQ(Count(run.Out, "progress 6\n"), 1) << "the end is reported once, after the last attempt";
}

}  // namespace
}  // namespace ktv
