#include "stream/network_ogg_receiver.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "platform/clock.h"
#include "stream/receiver_helpers.h"
#include "support/script_server.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

TEST(Receiver, AnswersFromServers) {
  const std::string clip = Clip();
  ASSERT_FALSE(clip.empty());
  const std::string page = "<html><body>Not here</body></html>";
  struct {
    const char* note;
    tScript script;
    uint8_t state, error;  // where the receiver settles (state 255: any of buffering / playing)
  } rows[] = {
      {"ICY with a lower-case content type",
       {ReadRequest(), Send(OggAnswer("ICY 200 OK\r\ncontent-type: application/ogg\r\n", clip)), Stall()},
       255,
       RE_NONE},
      {"404 without a length: an HTML page is no stream",
       {ReadRequest(), Send("HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n" + page), Close()},
       RS_IDLE,
       RE_TYPE},
      {"404 with a length: the page is collected as text",
       {ReadRequest(),
        Send("HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
             std::to_string(page.size()) + "\r\n\r\n" + page),
        Close()},
       RS_TEXT,
       RE_NONE},
      {"FOO 500 is refused",
       {ReadRequest(), Send("FOO 500 Broken\r\n\r\n"), Close()},
       RS_IDLE,
       RE_NOT_AVAILABLE},
      {"XX200 passes: 200 from the third character on",
       {ReadRequest(), Send(OggAnswer("XX200 OK\r\nContent-Type: application/x-ogg\r\n", clip)), Stall()},
       255,
       RE_NONE},
      {"Ogg bytes served as audio/ogg are refused",
       {ReadRequest(), Send(OggAnswer("ICY 200 OK\r\nContent-Type: audio/ogg\r\n", clip)), Close()},
       RS_IDLE,
       RE_TYPE},
      {"a header line over 8 KiB is refused",
       {ReadRequest(), Send("ICY 200 OK\r\nicy-name: " + std::string(9000, 'n') + "\r\n\r\n"), Stall()},
       RS_IDLE,
       RE_TYPE},
      {"binary text answer",
       {ReadRequest(), Send("ICY 200 OK\r\nContent-Length: 9\r\n\r\n\x01\x02\x03\x04zzzzz"), Close()},
       RS_IDLE,
       RE_TYPE},
  };
  for (auto& row : rows) {
    tScriptServer server(row.script);
    ASSERT_TRUE(server.Listening());
    tNetworkOggReceiver r;
    r.Connect(server.URL("/live.ogg"), 10);
    bool settled = WaitUntil([&] {
      uint8_t s = r.GetState();
      if (row.state == 255) return s == RS_BUFFERING || s == RS_PLAYING;
      return s == row.state && s != RS_CONNECTING && (row.state != RS_IDLE || r.GetErrorCode() == row.error);
    });
    EXPECT_TRUE(settled) << row.note << ": state " << int(r.GetState()) << " error " << int(r.GetErrorCode());
    if (row.state != RS_IDLE) {
      EXPECT_EQ(r.GetErrorCode(), row.error) << row.note;
    }
    if (row.state == RS_TEXT) {
      EXPECT_EQ(r.GetTextData(), page) << row.note;
    }
    EXPECT_NE(server.Received(0).find("GET /live.ogg HTTP/1.1\r\n"), std::string::npos) << row.note;
    r.Disconnect();
  }
}

TEST(Receiver, MetadataAndQueueSizeFromTheHeader) {
  const std::string clip = Clip();
  struct {
    const char* bitrateLine;
    int32_t bitrate, queue;
  } rows[] = {
      {"icy-br: 48\r\n", 100, 128000},  // raised to 100 kbit/s
      {"ICE-BITRATE: 256\r\n", 256, 327680},
      {"icy-br: fast\r\n", 100, 128000},                         // not a number: unchanged, then raised
      {"icy-br: 2147483647\r\n", 2147483647, 64 * 1024 * 1024},  // clamped, computed in 64 bits
  };
  for (auto& row : rows) {
    std::string head =
        std::string("ICY 200 OK\r\nContent-Type: application/ogg\r\nServer: TestCast 1.0\r\n") +
        row.bitrateLine +
        "icy-name: Kestrova Radio\r\nicy-description: Tones\r\nicy-genre: Test\r\n"
        "icy-url: http://radio.example/\r\nicy-pub: 0\r\n";
    tScriptServer server({ReadRequest(), Send(OggAnswer(head, clip)), Stall()});
    tNetworkOggReceiver r;
    r.Connect(server.URL("/radio"), 10);
    ASSERT_TRUE(WaitUntil([&] { return r.GetState() >= RS_BUFFERING; })) << row.bitrateLine;
    EXPECT_EQ(r.GetBitrate(), row.bitrate);
    EXPECT_EQ(r.GetQueueCapacity(), row.queue);
    EXPECT_EQ(r.GetServer(), "TestCast 1.0");
    EXPECT_EQ(r.GetContentType(), "APPLICATION/OGG");
    EXPECT_EQ(r.GetStationName(), "Kestrova Radio");
    EXPECT_EQ(r.GetDescription(), "Tones");
    EXPECT_EQ(r.GetGenre(), "Test");
    EXPECT_EQ(r.GetStationURL(), "http://radio.example/");
    EXPECT_EQ(r.GetStreamURL(), "http://127.0.0.1:" + std::to_string(server.Port()) + "/radio");
    EXPECT_FALSE(r.GetIsPublic());
  }
}

TEST(Receiver, BufferSettingOfZeroStillGivesAQueue) {
  tScriptServer server(
      {ReadRequest(), Send(OggAnswer("ICY 200 OK\r\nContent-Type: application/ogg\r\n", Clip())), Stall()});
  tNetworkOggReceiver r;
  r.Connect(server.URL("/"), 0);  // a damaged setting
  ASSERT_TRUE(WaitUntil([&] { return r.GetState() >= RS_BUFFERING; }));
  EXPECT_EQ(r.GetQueueCapacity(), 1024);
}

TEST(Receiver, ConnectFailures) {
  tRefusingPort refusing;
  struct {
    std::string url;
    std::vector<uint8_t> errors;
    const char* note;
  } rows[] = {
      {"http://127.0.0.1:" + std::to_string(refusing.Port()) + "/", {RE_CONNECT}, "refused"},
      {"http://no-such-host.invalid/", {RE_DNS}, "unknown host"},
      {"file:///no/such/folder/clip.ogg", {RE_FILE}, "missing file"},
  };
  for (auto& row : rows) {
    tNetworkOggReceiver r;
    r.Connect(row.url, 10);
    EXPECT_TRUE(WaitUntil([&] { return r.GetState() == RS_IDLE && r.GetErrorCode() != RE_NONE; }, 20000))
        << row.note;
    EXPECT_EQ(r.GetErrorCode(), row.errors[0]) << row.note;
    EXPECT_EQ(ReceiverErrorText(r.GetErrorCode()).empty(), false) << row.note;
  }
}

TEST(Receiver, BufferingThresholds) {
  // 100 kbit/s for one second: a 12800-byte queue that a trickling server fills slowly.
  const std::string clip = Clip("8");
  ASSERT_GT(clip.size(), 40000u);
  std::string head = "ICY 200 OK\r\nContent-Type: application/ogg\r\nicy-br: 100\r\n\r\n";
  tScriptServer server(Steps({{ReadRequest(), Send(head)}, Trickle(clip, 512, 15), {Stall()}}));
  tNetworkOggReceiver r;
  r.Connect(server.URL("/"), 1);
  ASSERT_TRUE(WaitUntil([&] { return r.GetState() == RS_BUFFERING; }));
  EXPECT_EQ(r.GetQueueCapacity(), 12800);
  ASSERT_TRUE(WaitUntil([&] { return r.GetState() == RS_PLAYING; })) << "above level 191 the receiver plays";
  EXPECT_GT(r.GetBufferLevel(), 191);
  uint8_t buf[12800];
  int32_t level = r.GetBufferLevel();
  // Taking a little keeps it playing; only below level 25 does it buffer again.
  r.ReadData(buf, 3000);
  Sleep(60);
  EXPECT_EQ(r.GetState(), RS_PLAYING) << "level " << level;
  r.ReadData(buf, static_cast<int32_t>(r.GetBufferLevel()) * 12800 / 255 - 200);
  EXPECT_TRUE(WaitUntil([&] { return r.GetState() == RS_BUFFERING; }, 3000))
      << "below level 25 it buffers again";
}

TEST(Receiver, StreamEndsInOrderAndTheTailIsDelivered) {
  const std::string clip = Clip();
  tScriptServer server(
      {ReadRequest(), Send(OggAnswer("ICY 200 OK\r\nContent-Type: application/ogg\r\n", clip)), Close()});
  tNetworkOggReceiver r;
  r.Connect(server.URL("/"), 10);
  ASSERT_TRUE(WaitUntil([&] { return r.GetState() == RS_PLAYING || r.InputEnded(); }));
  std::string got = Consume(r, 5000);
  EXPECT_EQ(got, clip) << "every byte, the last partial block included";
  EXPECT_EQ(r.GetState(), RS_PLAYING) << "the reader has not finished playing yet";
  r.FinishStream();
  EXPECT_TRUE(WaitUntil([&] { return r.GetState() == RS_IDLE; }));
  EXPECT_EQ(r.GetErrorCode(), RE_ENDED);
}

TEST(Receiver, ConnectionResetMidStream) {
  const std::string clip = Clip();
  tScriptServer server(
      {ReadRequest(),
       Send(OggAnswer("ICY 200 OK\r\nContent-Type: application/ogg\r\n", clip.substr(0, clip.size() / 2))),
       Pause(200), Reset()});
  tNetworkOggReceiver r;
  r.Connect(server.URL("/"), 10);
  ASSERT_TRUE(WaitUntil([&] { return r.GetState() >= RS_BUFFERING; }));
  EXPECT_TRUE(WaitUntil([&] { return !r.IsActive(); })) << "a reset connection is no longer active";
  uint8_t buf[4096];
  EXPECT_EQ(r.ReadData(buf, 4096), 0) << "a broken session delivers nothing more";
}

TEST(Receiver, LocalFiles) {
  tTempDir dir;
  const std::string clip = Clip();
  ASSERT_TRUE(WriteFile(dir.File("show.ogg"), clip));
  ASSERT_TRUE(WriteFile(dir.File("list.m3u"), "#EXTM3U\nhttp://127.0.0.1/a.ogg\n"));
  ASSERT_TRUE(WriteFile(dir.File("noise.bin"), std::string("\x01\x02\xff\x00junk", 8)));

  {  // an Ogg file plays to its end, by path or by file:// address
    for (std::string url : {dir.File("show.ogg"), "FILE://" + dir.File("show.ogg")}) {
      tNetworkOggReceiver r;
      r.Connect(url, 10);
      ASSERT_TRUE(WaitUntil([&] { return r.GetState() == RS_PLAYING; })) << url;
      EXPECT_EQ(r.GetStationName(), "show");
      EXPECT_EQ(r.GetStreamURL(), "show");
      EXPECT_EQ(r.GetGenre(), "Local File");
      EXPECT_EQ(r.GetContentType(), "Local File");
      EXPECT_EQ(r.GetBitrate(), 100);
      EXPECT_EQ(r.GetQueueCapacity(), 64000);
      EXPECT_EQ(Consume(r, 5000), clip) << url;
      r.FinishStream();
      EXPECT_TRUE(WaitUntil([&] { return r.GetState() == RS_IDLE; })) << "a finished file ends the stream";
      EXPECT_EQ(r.GetErrorCode(), RE_ENDED);
    }
  }
  {  // a playlist file is text
    tNetworkOggReceiver r;
    r.Connect(dir.File("list.m3u"), 10);
    ASSERT_TRUE(WaitUntil([&] { return r.GetState() == RS_TEXT; }));
    EXPECT_EQ(r.GetTextData(), "#EXTM3U\nhttp://127.0.0.1/a.ogg\n");
  }
  {  // anything else is not a stream
    tNetworkOggReceiver r;
    r.Connect(dir.File("noise.bin"), 10);
    ASSERT_TRUE(WaitUntil([&] { return r.GetState() == RS_IDLE && r.GetErrorCode() == RE_TYPE; }));
  }
}

TEST(Receiver, BinaryTest) {
  struct {
    std::string text;
    bool binary;
  } rows[] = {
      {"plain text\r\n", false},
      {std::string("\x1e\x1f ok", 5), false},
      {std::string("a\0b", 3), true},
      {"tab\there", true},
      {"\x0b", true},
      {"\x0c", true},
      {"\x1d", true},
      {"caf\xc3\xa9", true},
      {"", false},
  };
  for (auto& row : rows) EXPECT_EQ(LooksBinary(row.text), row.binary) << row.text;
}

}  // namespace
}  // namespace ktv

namespace ktv {
namespace {

// Paths that can only name files are files here, existing or not: a missing one is a file that cannot be
// opened (8), never a name that failed to resolve (1).
TEST(Receiver, PathsAreFilesEvenWhenMissing) {
  tTempDir home;
  tScopedEnv scopedHome("HOME", home.Path());
  ASSERT_TRUE(WriteFile(home.File("show.ogg"), Clip()));
  const std::string cwdMissing = "./no-such-" + std::to_string(::getpid()) + ".ogv";
  struct {
    std::string url;
    uint8_t error;
    const char* note;
  } rows[] = {
      {home.File("none.ogv"), RE_FILE, "absolute path"},
      {cwdMissing, RE_FILE, "relative to here"},
      {"../no-such-" + std::to_string(::getpid()) + ".ogv", RE_FILE, "relative to the parent"},
      {"~/none.ogv", RE_FILE, "in the home folder"},
      {"~/show.ogg", RE_ENDED, "an existing file in the home folder plays to its end"},
  };
  for (const auto& row : rows) {
    tNetworkOggReceiver r;
    r.Connect(row.url, 10);
    if (row.error == RE_ENDED) {
      ASSERT_TRUE(WaitUntil([&] { return r.GetState() == RS_PLAYING || r.InputEnded(); })) << row.note;
      Consume(r, 5000);
      r.FinishStream();
    }
    EXPECT_TRUE(WaitUntil([&] { return r.GetState() == RS_IDLE && r.GetErrorCode() != RE_NONE; }))
        << row.note;
    EXPECT_EQ(r.GetErrorCode(), row.error) << row.note;
    EXPECT_EQ(r.GetGenre(), "Local File") << row.note;
  }
}

// The owner's code (a failed header scan: 6) must survive the session's own ending, however the two race.
TEST(Receiver, OwnersCodeSurvivesTheSessionsEnd) {
  const std::string clip = Clip();
  for (int round = 0; round < 10; ++round) {
    tScriptServer server(
        {ReadRequest(), Send(OggAnswer("ICY 200 OK\r\nContent-Type: application/ogg\r\n", clip)), Close()});
    tNetworkOggReceiver r;
    r.Connect(server.URL("/"), 10);
    ASSERT_TRUE(WaitUntil([&] { return r.GetState() >= RS_BUFFERING || r.InputEnded(); }));
    // Sleeping 0..1.9 ms lands the abort anywhere in the session's ending.
    Sleep(static_cast<uint32_t>(round % 2));
    r.Abort(RE_TYPE);
    EXPECT_TRUE(WaitUntil([&] { return r.GetState() == RS_IDLE; }));
    Sleep(300);  // past the thread's next round, which turns a cleared code into "ended"
    EXPECT_EQ(r.GetErrorCode(), RE_TYPE) << "round " << round;
  }
}

// Without a bit rate from the server, the buffer setting means seconds of this stream once its nominal rate
// is known; a server's own rate stands.
TEST(Receiver, QueueFollowsTheStreamsNominalRate) {
  const std::string clip = Clip();
  struct {
    const char* head;
    int32_t nominal, queue;
  } rows[] = {
      {"ICY 200 OK\r\nContent-Type: application/ogg\r\n", 500, 500 * 10 * 128},
      {"ICY 200 OK\r\nContent-Type: application/ogg\r\n", 40, 128000},  // never below the 100 kbit/s queue
      {"ICY 200 OK\r\nContent-Type: application/ogg\r\nicy-br: 64\r\n", 500, 128000},
  };
  for (const auto& row : rows) {
    tScriptServer server({ReadRequest(), Send(OggAnswer(row.head, clip)), Stall()});
    tNetworkOggReceiver r;
    r.Connect(server.URL("/"), 10);
    ASSERT_TRUE(WaitUntil([&] { return r.GetState() >= RS_BUFFERING; }));
    // The rest of the answer in first: bytes still arriving would raise the level on their own.
    int32_t level = -1;
    for (int32_t last = -2, round = 0; level != last && round < 100; ++round) {
      last = level;
      Sleep(50);
      level = r.GetBufferLevel();
    }
    r.SizeQueueForStream(row.nominal);
    EXPECT_EQ(r.GetQueueCapacity(), row.queue) << row.head << row.nominal;
    EXPECT_LE(r.GetBufferLevel(), level) << "what was buffered stays";
    uint8_t magic[4];
    ASSERT_EQ(r.ReadData(magic, 4), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(magic), 4), "OggS") << "the bytes kept their order";
  }
}

}  // namespace
}  // namespace ktv
