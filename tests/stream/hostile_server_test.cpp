// The receiver against servers that misbehave: endless headers, chunked bodies, streams that keep dropping,
// playlists that point back at themselves, and local paths that are no files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "stream/network_ogg_receiver.h"
#include "stream/receiver_helpers.h"
#include "support/script_server.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

const char kOggHead[] = "ICY 200 OK\r\nContent-Type: application/ogg\r\n";

// Waits for the session to end; the error code it ended with (0xFF when it did not end).
int EndCode(tNetworkOggReceiver& r, uint32_t ms) {
  bool ended = WaitUntil(
      [&] {
        uint8_t buf[4096];
        r.ReadData(buf, 512);  // keeps the queue from filling, as a player would
        return r.GetState() == RS_IDLE;
      },
      ms);
  return ended ? r.GetErrorCode() : 0xFF;
}

std::string Chunked(const std::string& body, size_t chunk) {
  std::string out;
  char size[32];
  for (size_t at = 0; at < body.size(); at += chunk) {
    size_t n = std::min(chunk, body.size() - at);
    std::snprintf(size, sizeof size, "%zx;n=%zu\r\n", n, at);
    out += size + body.substr(at, n) + "\r\n";
  }
  return out + "0\r\nX-Trailer: end\r\n\r\n";
}

TEST(HostileServer, IdleIsNeverSeenWithoutItsCode) {
  // The reader (another thread, as the window's status line) polls state and code while sessions end.
  tTempDir dir;
  const std::string clip = Clip();
  ASSERT_TRUE(WriteFile(dir.File("short.ogg"), clip.substr(0, 20000)));
  tScriptServer server({ReadRequest(), Send(OggAnswer(kOggHead, clip.substr(0, 20000))), Close()});
  int violations = 0, rounds = 0;
  for (int round = 0; round < 200; ++round) {
    const bool file = round % 3 != 0;
    tNetworkOggReceiver r;
    r.Connect(file ? dir.File("short.ogg") : server.URL("/live"), 10);
    std::atomic<bool> done{false};
    std::atomic<int> seen{0};
    std::thread poller([&] {
      while (!done) {
        uint8_t state = r.GetState();
        uint8_t code = r.GetErrorCode();
        if (state == RS_IDLE && code == RE_NONE) ++seen;
      }
    });
    // Everything, as the decoding thread takes it (a read may come back empty while the queue is busy).
    WaitUntil([&] {
      uint8_t buf[4096];
      while (r.ReadData(buf, sizeof buf) > 0) {
      }
      return r.InputEnded() && r.GetBufferLevel() == 0;
    });
    r.FinishStream();
    bool ended = WaitUntil([&] { return r.GetState() == RS_IDLE; });
    done = true;
    poller.join();
    ASSERT_TRUE(ended) << "round " << round << " state " << int(r.GetState()) << " level "
                       << r.GetBufferLevel() << " ended " << r.InputEnded();
    EXPECT_EQ(r.GetErrorCode(), RE_ENDED) << "round " << round;
    violations += seen > 0;
    ++rounds;
  }
  EXPECT_EQ(violations, 0) << "rounds in which the session was seen idle with no code, of " << rounds;
}

TEST(HostileServer, HeadersBeyondTheirBoundsAreRefused) {
  std::string endless;
  for (int i = 0; i < 3000; ++i)
    endless += "X-Filler-" + std::to_string(i) + ": " + std::string(40, 'f') + "\r\n";
  const struct {
    const char* Note;
    tScript Script;
    int32_t TimeOut;
    uint8_t Code;
  } rows[] = {
      {"header lines for ever, each short",
       {ReadRequest(), Send(kOggHead), Send(endless), Stall()},
       60,
       RE_TYPE},
      {"one endless line",
       {ReadRequest(), Send("ICY 200 OK\r\nX: " + std::string(9000, 'x')), Stall()},
       60,
       RE_TYPE},
      {"a trickle of header lines past the time-out",
       Steps({{ReadRequest(), Send(kOggHead)}, Trickle(endless.substr(0, 4000), 30, 40), {Stall()}}), 1,
       RE_TIMEOUT},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Note);
    tScriptServer server(row.Script);
    tNetworkOggReceiver r;
    const uint32_t start = timeGetTime();
    r.Connect(server.URL("/live"), tReceiverOptions{10, 0, 1000, row.TimeOut});
    EXPECT_EQ(EndCode(r, 10000), row.Code);
    EXPECT_LT(timeGetTime() - start, 5000u) << "refused at the bound, not read for ever";
  }
}

TEST(HostileServer, ChunkedAnswers) {
  const std::string clip = Clip();
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: application/ogg\r\nTransfer-Encoding: chunked\r\n";
  // An Ogg stream in chunks of several sizes, the pieces on the wire cut anywhere: every byte in order.
  for (size_t chunk : {size_t{7}, size_t{1000}, size_t{100000}}) {
    SCOPED_TRACE(chunk);
    tScriptServer server(
        Steps({{ReadRequest(), Send(head + "\r\n")}, Trickle(Chunked(clip, chunk), 997, 1), {Stall()}}));
    tNetworkOggReceiver r;
    r.Connect(server.URL("/live"), 10);
    EXPECT_EQ(Consume(r, 10000), clip);
    EXPECT_TRUE(r.InputEnded()) << "the last chunk ends the stream while the server keeps the connection";
    r.FinishStream();
    EXPECT_EQ(EndCode(r, 5000), RE_ENDED);
  }
  {  // a size that does not parse breaks the stream
    tScriptServer server(
        {ReadRequest(), Send(head + "\r\n" + "10\r\n" + clip.substr(0, 16) + "\r\nzz\r\n"), Stall()});
    tNetworkOggReceiver r;
    r.Connect(server.URL("/live"), 10);
    EXPECT_EQ(EndCode(r, 5000), RE_TIMEOUT);
  }
  {  // a chunked playlist is text like any other
    tScriptServer server(
        {ReadRequest(),
         Send("HTTP/1.1 200 OK\r\nContent-Type: audio/x-mpegurl\r\nTransfer-Encoding: chunked\r\n\r\n" +
              Chunked("#EXTM3U\nhttp://127.0.0.1/a.ogg\n", 10)),
         Close()});
    tNetworkOggReceiver r;
    r.Connect(server.URL("/list.m3u"), 10);
    ASSERT_TRUE(WaitUntil([&] { return r.GetState() == RS_TEXT; }));
    EXPECT_EQ(r.GetTextData(), "#EXTM3U\nhttp://127.0.0.1/a.ogg\n");
  }
}

TEST(HostileServer, ReconnectingAlwaysEnds) {
  // Each connection sends a little of the stream and closes: each reconnect "works", but none carries the
  // stream for long.
  const std::string clip = Clip("8");
  const struct {
    const char* Note;
    int32_t Attempts;
    uint32_t SteadyMs;
    int Connections;  // the first and the reconnects
  } rows[] = {
      {"the count goes on across short connections", 5, 10000, 1 + 5},
      {"connections that count as steady: the window's budget ends it", 2, 0, 1 + 3 * 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Note);
    tScriptServer server(
        {ReadRequest(), Send(OggAnswer(kOggHead, clip.substr(0, clip.size() / 2))), Close()});
    tReceiverOptions options{10, row.Attempts, 5};
    options.ReconnectSteadyMs = row.SteadyMs;
    tNetworkOggReceiver r;
    r.Connect(server.URL("/live"), options);
    EXPECT_EQ(EndCode(r, 30000), RE_TIMEOUT) << "the last drop is the stream's end";
    EXPECT_EQ(server.Connections(), row.Connections);
    EXPECT_EQ(r.GetReconnects(), row.Connections - 1);
  }
}

TEST(HostileServer, PlaylistsMayNotLeadAnywhere) {
  tTempDir dir;
  const std::string clip = Clip();
  ASSERT_TRUE(WriteFile(dir.File("show.ogg"), clip));
  const std::string fifo = dir.File("pipe.ogg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  tScriptServer server(
      {ReadRequest(), Send("HTTP/1.0 200 OK\r\nContent-Length: 20\r\n\r\nhttp://x/self.m3u\n\n\n"), Close()});
  tReceiverOptions fromNetwork = PlaylistEntryOptions(tReceiverOptions{}, true);
  tReceiverOptions fromFile = PlaylistEntryOptions(tReceiverOptions{}, false);
  tReceiverOptions deep = fromNetwork;
  for (int i = 1; i < kMaxPlaylistDepth; ++i) deep = PlaylistEntryOptions(deep, true);
  const struct {
    const char* Note;
    std::string Url;
    tReceiverOptions Options;
    uint8_t State;
    uint8_t Code;
  } rows[] = {
      {"a local file named by a network playlist", dir.File("show.ogg"), fromNetwork, RS_IDLE,
       RE_NOT_AVAILABLE},
      {"a file:// address named by a network playlist", "file://" + dir.File("show.ogg"), fromNetwork,
       RS_IDLE, RE_NOT_AVAILABLE},
      {"a local file named by a local playlist", dir.File("show.ogg"), fromFile, RS_PLAYING, RE_NONE},
      {"a FIFO is no file", fifo, tReceiverOptions{}, RS_IDLE, RE_FILE},
      {"a playlist two levels down is followed", server.URL("/self.m3u"),
       PlaylistEntryOptions(fromNetwork, true), RS_TEXT, RE_NONE},
      {"a playlist three levels down is not", server.URL("/self.m3u"), deep, RS_IDLE, RE_TYPE},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Note);
    tNetworkOggReceiver r;
    const uint32_t start = timeGetTime();
    r.Connect(row.Url, row.Options);
    EXPECT_TRUE(WaitUntil([&] { return r.GetState() == row.State && r.GetErrorCode() == row.Code; }))
        << "state " << int(r.GetState()) << " code " << int(r.GetErrorCode());
    r.Disconnect();
    EXPECT_LT(timeGetTime() - start, 3000u) << "nothing blocks the receiver";
  }
  EXPECT_EQ(deep.PlaylistDepth, kMaxPlaylistDepth);
  EXPECT_TRUE(IsStreamAddress("HTTPS://host/a"));
  EXPECT_FALSE(IsStreamAddress("ftp://host/a"));
}

}  // namespace
}  // namespace ktv
