#include "stream/ogg_thread_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "ogg/library_folder.h"
#include "platform/clock.h"
#include "platform/main_thread.h"
#include "platform/module_loader.h"
#include "stream/stream_title.h"
#include "support/icecast_server.h"
#include "support/script_server.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

TEST(AudioBlock, SizedFromTheFrameRate) {
  struct {
    int32_t rate;
    bool video;
    double fps;
    int32_t expect;
    const char* note;
  } rows[] = {
      {44100, true, 25, 1764, "one 25 fps frame"},
      {44100, true, 30, 1470, "one 30 fps frame"},
      {44100, false, 25, 4410, "a tenth of a second without video"},
      {22050, true, 15, 1470, ""},
      {11025, false, 0, 1102, "integer division"},
      {11025, true, 25, 442, "441 is odd: one more"},
      {44100, true, 0, 2940, "no frame rate counts as 15"},
      {8000, true, 12.5, 640, "fractional rate"},
      {48000, true, 0.001, 48000, "never more than a second"},
      {8000, true, 1e9, 2, "never less than two frames"},
  };
  for (const auto& r : rows) EXPECT_EQ(AudioBlockSamples(r.rate, r.video, r.fps), r.expect) << r.note;
}

// Runs the main thread's side of a playing manager: drains event calls, collects progress codes.
struct tPlayback {
  tMessageQueue Messages;
  std::vector<int> Codes;
  std::unique_ptr<tOggThreadManager> Manager;

  explicit tPlayback(const std::string& url, int32_t bufferSeconds = 10) {
    SetMainThread();
    Manager = std::make_unique<tOggThreadManager>(url, MSG_PROGRESS, &Messages, bufferSeconds);
  }
  ~tPlayback() { Manager.reset(); }

  // Pumps until the progress code arrives (true) or the time runs out.
  bool RunUntil(int code, uint32_t ms) {
    uint32_t start = timeGetTime();
    while (timeGetTime() - start < ms) {
      DrainMainThreadCalls();
      WaitForMainThreadCalls(5);
      tMessage m;
      while (Messages.Take(m)) {
        EXPECT_EQ(m.Msg, MSG_PROGRESS);
        EXPECT_EQ(m.LParam, static_cast<intptr_t>(Manager->Id));
        Codes.push_back(static_cast<int>(m.WParam));
        if (m.WParam == code) return true;
      }
    }
    return false;
  }
  int Count(int code) const { return static_cast<int>(std::count(Codes.begin(), Codes.end(), code)); }
};

bool WaitForState(tPlayback& p, uint8_t state) {
  uint32_t start = timeGetTime();
  while (p.Manager->Receiver().GetState() != state) {
    if (timeGetTime() - start > 5000) return false;
    p.RunUntil(-1, 10);
  }
  return true;
}

std::string Media(std::vector<std::string> args) {
  return MakeMedia(args);
}

// A player without sound: counts pictures; everything handed over counts as played.
struct tCountingPlayer {
  int64_t FramesReceived = 0;
  int32_t LastFrameWidth = 0;
  void Attach(tOggThreadManager& m) {
    m.OnVideoFrame = [this](const yuv_buffer* frame, const bool*) {
      ++FramesReceived;
      LastFrameWidth = frame->y_width;
    };
    m.OnPlaybackDone = [] { return true; };
    Manager = &m;
  }
  void Detach() {
    Manager->ClearEvents();
    Manager->OnPlaybackDone = nullptr;
  }
  tOggThreadManager* Manager = nullptr;
};

TEST(ThreadManager, LocalFilePlaysToItsEndWithoutSound) {
  std::string clip = Media({"--width", "64", "--height", "48", "--fps", "25", "--seconds", "1"});
  tPlayback p(clip);
  tCountingPlayer player;
  player.Attach(*p.Manager);
  ASSERT_TRUE(p.RunUntil(PROGRESS_IDLE, 20000));
  std::vector<int> opening(p.Codes.begin(), p.Codes.begin() + 5);
  EXPECT_EQ(opening, (std::vector<int>{1, 2, 3, 8, 4})) << "opening sequence";
  EXPECT_EQ(p.Count(PROGRESS_PLAYING), 1);
  EXPECT_EQ(p.Manager->Receiver().GetErrorCode(), RE_ENDED) << "a finished file ends in order";
  EXPECT_EQ(p.Manager->FramesShown, 25);
  EXPECT_EQ(player.FramesReceived, 25);
  EXPECT_EQ(player.LastFrameWidth, 64);
  EXPECT_NEAR(p.Manager->DecodedSeconds(), 1.0, 0.05);
  player.Detach();
}

TEST(ThreadManager, FirstPictureIsTimedFromTheOpeningToTheFirstPictureTaken) {
  struct {
    std::vector<std::string> Media;
    uint32_t AttachAfterMs;  // the player takes pictures only this long after playing began
    bool Picture;
    const char* Fault;
  } rows[] = {
      {{"--width", "32", "--height", "32", "--seconds", "1"}, 0, true, "sound and pictures"},
      {{"--width", "32", "--height", "32", "--seconds", "1", "--no-audio"},
       0,
       true,
       "pictures by their rate"},
      {{"--seconds", "1", "--no-video"}, 0, false, "sound only: no picture"},
      {{"--width", "32", "--height", "32", "--seconds", "2"},
       300,
       true,
       "pictures nobody took are not the first picture"},
  };
  for (const auto& row : rows) {
    const std::string clip = Media(row.Media);
    const uint32_t before = timeGetTime();
    tPlayback p(clip);
    const uint32_t made = timeGetTime();
    EXPECT_EQ(p.Manager->FirstPictureMs, -1) << row.Fault;
    uint32_t attached = made;
    int64_t taken = 0;
    uint32_t firstTaken = 0;
    auto attach = [&] {
      attached = timeGetTime();
      p.Manager->OnVideoFrame = [&](const yuv_buffer*, const bool*) {
        if (taken++ == 0) firstTaken = timeGetTime();
      };
    };
    p.Manager->OnPlaybackDone = [] { return true; };
    if (row.AttachAfterMs == 0) {
      attach();
    } else {
      ASSERT_TRUE(p.RunUntil(PROGRESS_PLAYING, 10000)) << row.Fault;
      const uint32_t start = timeGetTime();
      while (timeGetTime() - start < row.AttachAfterMs) p.RunUntil(-1, 10);
      attach();
    }
    ASSERT_TRUE(p.RunUntil(PROGRESS_IDLE, 20000)) << row.Fault;
    const int32_t first = p.Manager->FirstPictureMs;
    const uint32_t after = timeGetTime();
    EXPECT_EQ(taken > 0, row.Picture) << row.Fault;
    if (!row.Picture) {
      EXPECT_EQ(first, -1) << row.Fault;
    } else {
      // Set after the player's first call returned, counted from before the receiver was made.
      EXPECT_GE(first, static_cast<int32_t>(firstTaken - made)) << row.Fault;
      EXPECT_GE(first, static_cast<int32_t>(attached - made)) << row.Fault;
      EXPECT_LE(first, static_cast<int32_t>(after - before)) << row.Fault;
    }
    p.Manager->ClearEvents();
  }
}

TEST(ThreadManager, AnswersThatAreNotStreams) {
  tTempDir dir;
  WriteFile(dir.File("list.pls"), "[playlist]\nFile1=http://127.0.0.1/x.ogg\nNumberOfEntries=1\n");
  struct {
    std::string url;
    int code;
    uint8_t error;
    const char* note;
  } rows[] = {
      {dir.File("list.pls"), PROGRESS_TEXT, RE_NONE, "a playlist file is a text answer"},
      {"file://" + dir.File("missing.ogg"), PROGRESS_IDLE, RE_FILE, "missing file"},
  };
  for (const auto& r : rows) {
    tPlayback p(r.url);
    ASSERT_TRUE(p.RunUntil(r.code, 10000)) << r.note;
    if (r.code == PROGRESS_IDLE) {
      EXPECT_EQ(p.Manager->Receiver().GetErrorCode(), r.error) << r.note;
    }
  }
}

TEST(ThreadManager, NoUsableCodecMeansAnUnplayableStream) {
  std::string clip = Media({"--width", "32", "--height", "32", "--seconds", "1"});
  // Only libogg is there: neither decoder opens.
  tTempDir libs;
  ASSERT_NO_FATAL_FAILURE(LinkCodecLibraries(libs.Path(), {"libogg.so.0"}));
  SetModuleSearchFolder(libs.Path());
  {
    tPlayback p(clip);
    bool idle = p.RunUntil(PROGRESS_IDLE, 10000);
    SetModuleSearchFolder("");
    ASSERT_TRUE(idle);
    EXPECT_EQ(p.Count(PROGRESS_VIDEO) + p.Count(PROGRESS_AUDIO), 0);
    EXPECT_EQ(p.Manager->Receiver().GetErrorCode(), RE_TYPE);
    EXPECT_EQ(ReceiverErrorText(RE_TYPE), "This program cannot play this type of stream.");
  }
  SetModuleSearchFolder("");
}

TEST(ThreadManager, ChainedLinksAreFollowed) {
  std::string clip =
      Media({"--width", "32", "--height", "32", "--seconds", "1", "--link", "--no-video", "--rate", "22050",
             "--channels", "1", "--link", "--video", "--width", "48", "--height", "32"});
  tPlayback p(clip);
  tCountingPlayer player;
  player.Attach(*p.Manager);
  ASSERT_TRUE(p.RunUntil(PROGRESS_IDLE, 30000));
  EXPECT_EQ(p.Count(PROGRESS_STREAMS), 3) << "headers read once per link";
  EXPECT_EQ(p.Manager->LinksOpened, 3);
  EXPECT_NEAR(p.Manager->DecodedSeconds(), 3.0, 0.1) << "every link's time is summed";
  EXPECT_EQ(player.LastFrameWidth, 48) << "the last link's picture is shown after a link without one";
  EXPECT_EQ(p.Count(PROGRESS_VIDEO), 2)
      << "the picture is announced at the start and again when it comes back";
  player.Detach();
}

TEST(ThreadManager, StationSwitchingBetweenVorbisAndOpusPlaysEverySampleOfEachLink) {
  std::string clip = Media({"--no-video", "--seconds", "1", "--acomment", "TITLE=One", "--link", "--opus",
                            "--acomment", "TITLE=Two", "--link", "--vorbis", "--acomment", "TITLE=Three"});
  tPlayback p(clip);
  std::map<int32_t, int64_t> framesAtRate;  // what the player took, by the rate the manager named for it
  p.Manager->OnAudioData = [&](const int16_t* samples, int32_t count) {
    int32_t rate = 0, channels = 0;
    if (samples && count > 0 && p.Manager->GetAudioFormat(rate, channels)) framesAtRate[rate] += count;
    return true;
  };
  p.Manager->OnPlaybackDone = [] { return true; };
  // The decoding thread cannot leave a link before the player has said it is done, so the comments read
  // as the headers' message arrives are that link's.
  std::vector<std::string> titles;
  for (int link = 0; link < 3; ++link) {
    ASSERT_TRUE(p.RunUntil(PROGRESS_STREAMS, 10000)) << "link " << link + 1;
    titles.push_back(CommentTitle({}, p.Manager->AudioComments()));
  }
  ASSERT_TRUE(p.RunUntil(PROGRESS_IDLE, 10000));
  EXPECT_EQ(titles, (std::vector<std::string>{"One", "Two", "Three"}));
  EXPECT_EQ(framesAtRate, (std::map<int32_t, int64_t>{{44100, 2 * 44100}, {48000, 48000}}));
  EXPECT_EQ(p.Manager->LinksOpened, 3);
  EXPECT_NEAR(p.Manager->DecodedSeconds(), 3.0, 1e-6);
  p.Manager->ClearEvents();
}

// Every drawn chroma layout keeps its decoder: the pictures reach the player in the frame's own layout, with
// or without sound beside them (a picture-only file is no stream of an unknown type).
TEST(ThreadManager, EveryChromaLayoutIsPlayed) {
  struct {
    const char* PixelFormat;
    bool Audio;
    int32_t ChromaWidth, ChromaHeight;  // of the 32 x 32 frame
  } rows[] = {
      {"444", true, 32, 32},
      {"422", true, 16, 32},
      {"444", false, 32, 32},
      {"422", false, 16, 32},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.PixelFormat) + (r.Audio ? " with sound" : " alone"));
    std::vector<std::string> options = {"--width",     "32",    "--height", "32",        "--pixfmt",
                                        r.PixelFormat, "--fps", "25",       "--seconds", "1"};
    if (!r.Audio) options.push_back("--no-audio");
    tPlayback p(Media(options));
    int32_t chromaWidth = 0, chromaHeight = 0;
    int64_t frames = 0;
    p.Manager->OnVideoFrame = [&](const yuv_buffer* frame, const bool*) {
      ++frames;
      chromaWidth = frame->uv_width, chromaHeight = frame->uv_height;
    };
    p.Manager->OnPlaybackDone = [] { return true; };
    ASSERT_TRUE(p.RunUntil(PROGRESS_STREAMS, 10000));
    EXPECT_EQ(p.Count(PROGRESS_VIDEO), 1);
    EXPECT_EQ(p.Count(PROGRESS_AUDIO), r.Audio ? 1 : 0);
    EXPECT_TRUE(p.Manager->HasVideo());
    ASSERT_TRUE(p.RunUntil(PROGRESS_IDLE, 20000));
    EXPECT_EQ(p.Manager->Receiver().GetErrorCode(), RE_ENDED) << "not a stream of an unknown type";
    // Without a sound clock every picture is shown; beside sound nobody plays, some may be late.
    if (r.Audio)
      EXPECT_GT(frames, 0);
    else
      EXPECT_EQ(frames, 25);
    EXPECT_EQ(p.Manager->FramesShown, frames);
    EXPECT_EQ(chromaWidth, r.ChromaWidth);
    EXPECT_EQ(chromaHeight, r.ChromaHeight);
    p.Manager->ClearEvents();
    p.Manager->OnPlaybackDone = nullptr;
  }
}

TEST(ThreadManager, FramesFollowTheAudioClock) {
  std::string clip = Media({"--width", "32", "--height", "32", "--fps", "25", "--seconds", "2"});
  // The link's first picture goes up before the clock runs, whatever the clock says; the others follow it.
  struct {
    double clock;
    bool expectDropped;
    const char* note;
  } rows[] = {
      {1000.0, true, "a clock far ahead: every frame after the first is late and dropped"},
      {-1000.0, false, "a clock far behind: no frame after the first is due"},
  };
  for (const auto& r : rows) {
    tPlayback p(clip);
    bool taken = false;
    p.Manager->OnAudioData = [&](const int16_t* samples, int32_t count) {
      if (samples && count > 0) taken = true;
      return true;
    };
    p.Manager->OnGetAudioTime = [&] { return r.clock; };
    p.Manager->OnPlaybackDone = [] { return true; };
    int shown = 0;
    p.Manager->OnVideoFrame = [&](const yuv_buffer*, const bool*) { ++shown; };
    p.RunUntil(PROGRESS_IDLE, 3000);
    EXPECT_TRUE(taken) << r.note;
    EXPECT_EQ(shown, 1) << r.note;
    EXPECT_EQ(p.Manager->FramesDropped > 0, r.expectDropped) << r.note;
    p.Manager->ClearEvents();
  }
}

TEST(ThreadManager, DestroyedWhileAnEventCallWaits) {
  std::string clip = Media({"--width", "32", "--height", "32", "--seconds", "4"});
  tPlayback p(clip);
  p.Manager->OnAudioData = [](const int16_t*, int32_t) { return false; };  // never takes: keeps offering
  p.Manager->OnPlaybackDone = [] { return false; };
  ASSERT_TRUE(p.RunUntil(PROGRESS_PLAYING, 10000));
  // Stop draining: the thread blocks in its next synchronised call; destruction must still end it.
  Sleep(50);
  uint32_t start = timeGetTime();
  p.Manager.reset();
  EXPECT_LT(timeGetTime() - start, 5000u);
}

TEST(ThreadManager, ServerDroppingMidStream) {
  std::string clip = ReadFile(Media({"--width", "32", "--height", "32", "--seconds", "8"}));
  tScriptServer server({ReadRequest(),
                        Send("ICY 200 OK\r\nContent-Type: application/ogg\r\nicy-br: 100\r\n\r\n" +
                             clip.substr(0, clip.size() * 3 / 4)),
                        Pause(800), Reset()});
  tPlayback p(server.URL("/live"), 1);  // a 12800-byte queue: half the clip is enough to play
  tCountingPlayer player;
  player.Attach(*p.Manager);
  ASSERT_TRUE(p.RunUntil(PROGRESS_IDLE, 20000)) << "the manager reports the end of the stream";
  EXPECT_EQ(p.Count(PROGRESS_PLAYING), 1);
  EXPECT_GT(p.Manager->DecodedSeconds(), 0.5)
      << "what arrived was played " << ::testing::PrintToString(p.Codes);
  EXPECT_EQ(p.Manager->Receiver().GetErrorCode(), RE_TIMEOUT) << "a broken connection is a network error";
  player.Detach();
}

}  // namespace
}  // namespace ktv

namespace ktv {
namespace {

using namespace ktv::test;

TEST(ThreadManagerServers, StalledServerIsLeftPromptly) {
  tScriptServer server({ReadRequest(), Stall()});
  auto p = std::make_unique<tPlayback>(server.URL("/quiet"));
  ASSERT_TRUE(WaitForState(*p, RS_READING_HEADERS));
  EXPECT_FALSE(p->RunUntil(PROGRESS_IDLE, 300)) << "nothing happens while the server says nothing";
  uint32_t start = timeGetTime();
  p.reset();  // closing the stream must not wait for the socket's time-out
  EXPECT_LT(timeGetTime() - start, 3000u);
}

TEST(ThreadManagerServers, GarbageAfterAValidStart) {
  // Pages of a small clip hold seconds each: eight seconds leave whole data pages in the first half.
  std::string clip = ReadFile(MakeMedia({"--width", "32", "--height", "32", "--seconds", "8"}));
  std::string garbage;
  for (int i = 0; i < 60000; ++i) garbage += static_cast<char>((i * 7919) >> 3);
  tScriptServer server({ReadRequest(),
                        Send("ICY 200 OK\r\nContent-Type: application/ogg\r\nicy-br: 100\r\n\r\n" +
                             clip.substr(0, clip.size() / 2) + garbage),
                        Close()});
  tPlayback p(server.URL("/noisy"), 1);
  tCountingPlayer player;
  player.Attach(*p.Manager);
  ASSERT_TRUE(p.RunUntil(PROGRESS_IDLE, 20000)) << "the stream ends instead of hanging";
  EXPECT_GT(p.Manager->DecodedSeconds(), 0.5)
      << "the valid start was played " << ::testing::PrintToString(p.Codes) << " error "
      << int(p.Manager->Receiver().GetErrorCode());
  player.Detach();
}

}  // namespace
}  // namespace ktv

namespace ktv {
namespace {

using namespace ktv::test;

// Without a sound output the decoded sound counts as played at its own rate: the stream plays in real time
// (it neither races through the queue nor stalls), and the position follows the time decoded.
TEST(ThreadManager, WithoutSoundTheWallClockPacesPlayback) {
  std::string clip = Media({"--width", "32", "--height", "32", "--fps", "25", "--seconds", "3"});
  tPlayback p(clip);
  tCountingPlayer player;
  player.Attach(*p.Manager);
  ASSERT_TRUE(p.RunUntil(PROGRESS_PLAYING, 10000));
  uint32_t start = timeGetTime();
  p.RunUntil(-1, 1500);
  double position = p.Manager->GetPosition();
  EXPECT_GT(position, 1.0) << "the position counts the link's time without a sound output";
  EXPECT_LT(position, 2.5) << "1.5 s of playing has not decoded the whole 3 s clip";
  ASSERT_TRUE(p.RunUntil(PROGRESS_IDLE, 10000));
  EXPECT_GE(timeGetTime() - start, 2500u) << "a 3 s clip takes about 3 s to play";
  EXPECT_EQ(p.Manager->FramesShown + p.Manager->FramesDropped, 75) << "every picture is shown or dropped";
  // A stream that raced through the queue or stalled drops most of its pictures; a loaded machine (or a
  // sanitizer's slowdown) may leave one or two more than a frame late.
  EXPECT_LE(p.Manager->FramesDropped, 3);
  player.Detach();
}

}  // namespace
}  // namespace ktv

namespace ktv {
namespace {

using namespace ktv::test;

// A live 720p stream near 3 Mbit/s whose server names no bit rate: the queue starts sized for 100 kbit/s and
// grows once the decoding thread knows the stream's rate. Growing it must not throw the playing stream back
// into buffering.
TEST(ThreadManagerIcecast, GrowingTheQueueNeverRebuffersALiveStream) {
  // A noisy picture at a high rate; ten pictures a second keep the decoding light beside the server.
  const std::string clip =
      Media({"--width", "1280", "--height", "720", "--fps", "10", "--kbps", "3000", "--seconds", "45"});
  tIcecastServer server;
  ASSERT_TRUE(server.Running()) << server.Log();
  ASSERT_TRUE(server.Feed(clip, "/hd.ogg", "HD Live", "Tests", "720p")) << server.Log();
  tPlayback p(server.URL("/hd.ogg"), 2);
  tCountingPlayer player;
  player.Attach(*p.Manager);
  ASSERT_TRUE(p.RunUntil(PROGRESS_PLAYING, 20000)) << ::testing::PrintToString(p.Codes);
  const size_t playingAt = p.Codes.size();
  p.RunUntil(-1, 30000);
  tNetworkOggReceiver& r = p.Manager->Receiver();
  EXPECT_EQ(r.GetBitrate(), 100) << "the server names no bit rate";
  EXPECT_GT(r.GetQueueCapacity(), 2 * 2000 * 1024 / 8) << "the queue grew for the stream's own rate";
  const std::vector<int> after(p.Codes.begin() + static_cast<long>(playingAt), p.Codes.end());
  EXPECT_EQ(std::count(after.begin(), after.end(), PROGRESS_BUFFERING), 0)
      << ::testing::PrintToString(p.Codes);
  EXPECT_EQ(p.Manager->Rebuffers, 0);
  EXPECT_GT(player.FramesReceived, 100) << "the stream played";
  player.Detach();
}

}  // namespace
}  // namespace ktv
