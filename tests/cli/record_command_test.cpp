// kestrova-cli play --record: a real icecast2 mount recorded to disk, and the file compared with the source
// through the program's own decoder.
#include <gtest/gtest.h>

#include <filesystem>

#include "stream/record_media.h"
#include "support/icecast_server.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    files.push_back(entry.path().string());
  return files;
}

std::string LastJson(const tRunResult& run) {
  size_t at = run.Out.rfind('{');
  return at == std::string::npos ? std::string() : run.Out.substr(at);
}

bool IsWholePages(const std::string& bytes) {
  std::string joined;
  for (const std::string& page : SplitPages(bytes)) joined += page;
  return !bytes.empty() && joined == bytes;
}

// A mount fed with the clip, played with the arguments (sound through SDL's dummy device). `wrap` runs the
// program under /bin/sh with these commands first (limits).
tRunResult PlayMount(const std::string& clip, const std::string& station,
                     const std::vector<std::string>& args, const std::string& wrap = {}) {
  tIcecastServer server;
  EXPECT_TRUE(server.Running()) << server.Log();
  EXPECT_TRUE(server.Feed(clip, "/live.ogg", station, "Tests", "Recorded")) << server.Log();
  std::vector<std::string> command = {"play", server.URL("/live.ogg"), "--buffer", "2", "--output", "none"};
  command.insert(command.end(), args.begin(), args.end());
  tScopedEnv driver("SDL_AUDIODRIVER", "dummy");
  if (wrap.empty()) return RunCli(command);
  command.insert(command.begin(), {"-c", wrap + "; exec \"$0\" \"$@\"", KTV_CLI_PATH});
  return RunProgram("/bin/sh", command);
}

TEST(RecordCommand, TenSecondsOfALiveStreamPlayLikeTheSource) {
  const std::string clip =
      MakeMedia({"--width", "64", "--height", "48", "--seconds", "30", "--keyint", "10", "--kbps", "160"});
  tTempDir dir;
  tRunResult run = PlayMount(clip, "Ice/TV", {"--seconds", "10", "--record", dir.Path()});
  const std::string json = LastJson(run);
  ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  const std::vector<std::string> files = FilesIn(dir.Path());
  ASSERT_EQ(files.size(), 1u) << run.Out;
  const std::string file = files[0];
  const std::string name = std::filesystem::path(file).filename().string();
  EXPECT_TRUE(name.starts_with("Ice_TV 20") && name.ends_with(".ogv")) << name << ": station, time, video";
  EXPECT_NE(run.Out.find("notify: Recording to " + file + "\n"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("notify: Recording saved: " + file + "\n"), std::string::npos) << run.Out;
  const std::string bytes = ReadFile(file);
  EXPECT_EQ(JsonNumber(json, "record_bytes"), static_cast<double>(bytes.size()));
  EXPECT_TRUE(IsWholePages(bytes)) << "whole pages only";

  tRunResult probe = RunCli({"probe", file});
  EXPECT_EQ(probe.ExitCode, 0) << probe.Out << probe.Err;
  EXPECT_NE(probe.Out.find("Theora"), std::string::npos) << probe.Out;
  EXPECT_NE(probe.Out.find("Vorbis"), std::string::npos) << probe.Out;

  const tDecodedMedia source = DecodeWithProgram(clip);
  const tDecodedMedia recorded = DecodeWithProgram(file);
  // Most of the ten seconds: the headers are read within the first two.
  ASSERT_GT(recorded.Fps, 0);
  ASSERT_GT(static_cast<double>(recorded.Frames.size()), 6 * recorded.Fps) << recorded.Json;
  ASSERT_LT(recorded.Frames.size(), source.Frames.size());
  // Past the first keyframe, each picture is the source's picture at the same place, to the end.
  size_t first = 0;
  long at = -1;
  while (first < 11 && (at = FindRun(source.Frames, recorded.Frames, first, 1)) < 0) ++first;
  ASSERT_GE(at, 0) << "a keyframe within the first 11 pictures";
  EXPECT_EQ(FindRun(source.Frames, recorded.Frames, first, recorded.Frames.size() - first), at);
  // The sound too: stretches from the middle and the end of the recording are in the source at one offset,
  // and that offset is the pictures' offset (the pages of both streams were taken from the same point).
  ASSERT_EQ(recorded.Channels, source.Channels);
  ASSERT_GT(recorded.Rate, 0);
  const size_t window = 4096 * static_cast<size_t>(recorded.Channels);
  std::vector<long> offsets;
  for (size_t from : {recorded.Samples.size() / 2, recorded.Samples.size() - window}) {
    const long found = FindRun(source.Samples, recorded.Samples, from, window);
    ASSERT_GE(found, 0) << "sound at " << from;
    offsets.push_back(found - static_cast<long>(from));
  }
  EXPECT_EQ(offsets[0], offsets[1]) << "one offset for the whole recording";
  const double soundOffset = static_cast<double>(offsets[0]) / recorded.Channels / recorded.Rate;
  const double pictureOffset = static_cast<double>(at - static_cast<long>(first)) / recorded.Fps;
  // Each stream's pages are taken from the same point on, so sound and pictures begin within one sound page
  // (and a picture) of each other: the first page of sound written may begin before that point, and the
  // sound decoder starts on the page after.
  const double slack =
      static_cast<double>(LongestSoundPage(ReadFile(clip))) / recorded.Rate + 1 / recorded.Fps;
  EXPECT_NEAR(soundOffset, pictureOffset, slack);
}

TEST(RecordCommand, AChainedStreamGoesIntoOneFile) {
  const std::string clip = MakeMedia({"--width", "64", "--height", "48", "--seconds", "1.5", "--link",
                                      "--link", "--link", "--link", "--link"});
  tTempDir dir;
  const std::string file = dir.File("chain.ogv");
  tRunResult run = PlayMount(clip, "Ice TV", {"--seconds", "7", "--record", file});
  ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  EXPECT_EQ(FilesIn(dir.Path()).size(), 1u);
  const std::string bytes = ReadFile(file);
  EXPECT_TRUE(IsWholePages(bytes));
  const tDecodedMedia recorded = DecodeWithProgram(file);
  EXPECT_GE(JsonNumber(recorded.Json, "links"), 2) << recorded.Json;
  EXPECT_GT(recorded.Frames.size(), 30u);
}

TEST(RecordCommand, AFolderThatCannotBeWrittenEndsOnlyTheRecording) {
  tTempDir dir;
  ASSERT_TRUE(WriteFile(dir.File("taken.ogg"), "mine"));
  const std::string clip = MakeMedia({"--width", "64", "--height", "48", "--seconds", "20", "--kbps", "160"});
  struct tCase {
    std::string Target;
    const char* Note;
  };
  // (The tests run as root, whom file modes do not stop: /proc and a path through a file refuse anyone.)
  const std::vector<tCase> cases = {
      {"/proc", "a folder nobody may make files in"},
      {dir.File("taken.ogg/x.ogg"), "a path through a file"},
      {dir.File("taken.ogg"), "an existing file is never overwritten"},
  };
  for (const tCase& c : cases) {
    tRunResult run = PlayMount(clip, "Ice TV", {"--seconds", "6", "--buffer", "1", "--record", c.Target});
    const std::string json = LastJson(run);
    EXPECT_EQ(run.ExitCode, 0) << c.Note << run.Out << run.Err;
    const size_t notice = run.Out.find("notify: Recording failed: cannot write");
    ASSERT_NE(notice, std::string::npos) << c.Note << run.Out;
    EXPECT_EQ(JsonNumber(json, "record_bytes"), 0) << c.Note;
    // The failure comes when the headers are read; the stream plays after it.
    EXPECT_NE(run.Out.find("progress 5\n", notice), std::string::npos) << c.Note << ": playback goes on\n"
                                                                       << run.Out;
    EXPECT_GT(JsonNumber(json, "shown"), 0) << c.Note;
  }
  EXPECT_EQ(ReadFile(dir.File("taken.ogg")), "mine");
}

TEST(RecordCommand, AFullDiskEndsTheRecordingWhilePlaybackGoesOn) {
  const std::string clip = MakeMedia({"--width", "64", "--height", "48", "--seconds", "20", "--kbps", "160"});
  tTempDir dir;
  const std::string file = dir.File("full.ogv");
  // A file-size limit of 40 blocks of 512 bytes stands in for a full disk.
  tRunResult run =
      PlayMount(clip, "Ice TV", {"--seconds", "10", "--buffer", "1", "--record", file}, "ulimit -f 40");
  const std::string json = LastJson(run);
  ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  const size_t notice = run.Out.find("notify: Recording ended: the disk is full.\n");
  ASSERT_NE(notice, std::string::npos) << run.Out;
  const std::string bytes = ReadFile(file);
  EXPECT_LE(bytes.size(), 40u * 512);
  EXPECT_TRUE(IsWholePages(bytes)) << "the file ends with the last whole page";
  EXPECT_EQ(JsonText(json, "record_notice"), "Recording ended: the disk is full.");
  EXPECT_EQ(JsonNumber(json, "state"), 5) << "playback goes on to the end of the run\n" << run.Out;
  EXPECT_GT(JsonNumber(json, "media_seconds"), 2.0) << run.Out;
  EXPECT_EQ(run.Out.find("progress 6\n"), std::string::npos) << "the stream did not end with the recording";
  EXPECT_EQ(JsonNumber(json, "error_code"), 0) << json;
}

TEST(RecordCommand, ALocalFileIsNotRecorded) {
  const std::string clip = MakeMedia({"--width", "32", "--height", "32", "--seconds", "1"});
  tTempDir dir;
  for (const std::string& source : {clip, "file://" + clip}) {
    tRunResult run = RunCli({"play", source, "--output", "none", "--record", dir.Path()});
    EXPECT_EQ(run.ExitCode, 1) << run.Out;
    EXPECT_NE(run.Out.find("notify: Local files are not recorded"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("error: "), std::string::npos) << run.Out;
  }
  EXPECT_TRUE(FilesIn(dir.Path()).empty());
  EXPECT_EQ(RunCli({"play", clip, "--record", ""}).ExitCode, 2) << "an empty target is bad usage";
}

}  // namespace
}  // namespace ktv
