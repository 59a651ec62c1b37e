// The receiver's network session against servers of today: https, redirects, IPv6 and streams that drop.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "net/base64.h"
#include "stream/network_ogg_receiver.h"
#include "stream/receiver_helpers.h"
#include "support/script_server.h"
#include "support/test_authority.h"

namespace ktv {
namespace {

using namespace ktv::test;

const char kIcyHead[] = "ICY 200 OK\r\nContent-Type: application/ogg\r\nicy-name: Loop\r\n";

std::string Redirect(int status, const std::string& location) {
  return "HTTP/1.1 " + std::to_string(status) + " Elsewhere\r\nLocation: " + location +
         "\r\nContent-Length: 0\r\n\r\n";
}

tScript Answer(const std::string& bytes) {
  return {ReadRequest(), Send(bytes), Close()};
}

// Waits until the receiver streams, or has failed; true when it streams.
bool Streams(tNetworkOggReceiver& r) {
  WaitUntil(
      [&] { return r.GetState() >= RS_BUFFERING || (r.GetState() == RS_IDLE && r.GetErrorCode() != 0); },
      10000);
  return r.GetState() >= RS_BUFFERING;
}

// Every "{B}" in the text becomes the base address of server B, named "localhost": another host name than
// the 127.0.0.1 the receiver starts from.
std::string WithTarget(std::string text, const tScriptServer& b) {
  const std::string base = "http://localhost:" + std::to_string(b.Port());
  for (size_t at; (at = text.find("{B}")) != std::string::npos;) text.replace(at, 3, base);
  return text;
}

TEST(NetworkSession, FollowsRedirects) {
  const std::string clip = Clip();
  const std::string stream = OggAnswer(kIcyHead, clip);
  auto hop = [](int status, const char* to) { return Redirect(status, to); };
  const struct {
    const char* Note;
    std::vector<std::string> Answers;  // of server A, one per connection
    uint8_t Error;                     // 0: it streams
    const char* Final;                 // the address it streams from in the end
  } rows[] = {
      {"a relative Location", {hop(302, "live/../real.ogg"), stream}, 0, "A/real.ogg"},
      {"an absolute Location", {hop(301, "{B}/abs.ogg")}, 0, "{B}/abs.ogg"},
      {"303, 307 and 308 too", {hop(303, "/a"), hop(307, "/b"), hop(308, "/c"), stream}, 0, "A/c"},
      {"a loop", {hop(302, "/b"), hop(302, "/start"), stream}, RE_NOT_AVAILABLE, ""},
      {"a Location of another scheme", {hop(302, "ftp://127.0.0.1/x"), stream}, RE_NOT_AVAILABLE, ""},
      {"a redirect status without a Location is an answer like any other",
       {"HTTP/1.1 302 Found\r\nContent-Type: application/ogg\r\n\r\n" + clip},
       0,
       "A/start"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Note);
    tScriptServer b(Answer(stream));
    std::vector<tScript> scripts;
    for (const std::string& answer : row.Answers) scripts.push_back(Answer(WithTarget(answer, b)));
    tScriptServer a(scripts);
    tNetworkOggReceiver r;
    r.Connect(a.URL("/start"), tReceiverOptions{10, 5, 20});
    if (row.Error == 0) {
      ASSERT_TRUE(Streams(r)) << "error " << int(r.GetErrorCode());
      std::string final = WithTarget(row.Final, b);
      if (final[0] == 'A') final = a.URL(final.substr(1));
      EXPECT_EQ(r.GetStreamURL(), final);
      EXPECT_EQ(r.GetFinalURL(), row.Answers.size() > 1 || final != a.URL("/start") ? final : "")
          << "the address to open again, only when a redirect moved the stream";
      EXPECT_TRUE(Consume(r, 300).substr(0, 4) == "OggS") << "only the last answer's body reaches the queue";
    } else {
      ASSERT_TRUE(WaitUntil([&] { return r.GetState() == RS_IDLE && r.GetErrorCode() != 0; }, 10000));
      EXPECT_EQ(r.GetErrorCode(), row.Error);
      EXPECT_EQ(ReceiverErrorText(row.Error), "Requested stream is not available.");
    }
  }
}

TEST(NetworkSession, CredentialsGoOnlyToTheirHost) {
  tScriptServer b(Answer(OggAnswer(kIcyHead, Clip())));
  tScriptServer a({Answer(Redirect(302, "/same")), Answer(WithTarget(Redirect(302, "{B}/other"), b))});
  tNetworkOggReceiver r;
  std::string url = a.URL("/start");
  url.insert(url.find("//") + 2, "user:pw@");
  r.Connect(url, 10);
  ASSERT_TRUE(Streams(r)) << int(r.GetErrorCode());
  const std::string login = "Authorization: Basic " + Base64Encode("user:pw") + "\r\n";
  EXPECT_NE(a.Received(0).find(login), std::string::npos);
  EXPECT_NE(a.Received(1).find(login), std::string::npos) << "the same host keeps the user's credentials";
  EXPECT_EQ(b.Received(0).find("Authorization"), std::string::npos) << "another host got the password";
  EXPECT_EQ(r.GetFinalURL(), WithTarget("{B}/other", b));
}

class SecureSession : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(TestAuthority().Ready()) << TestAuthority().Error; }
  static tServerOptions Tls(const tServerIdentity& identity) {
    return {false, identity.CertFile, identity.KeyFile};
  }
  tTrustTestAuthority Trust;
};

TEST_F(SecureSession, StreamsOverHttpsAndAfterARedirectToIt) {
  const std::string clip = Clip();
  tScriptServer secure(Answer(OggAnswer(kIcyHead, clip)), Tls(TestAuthority().Loopback()));
  tScriptServer plain(Answer(Redirect(302, secure.URL("/moved.ogg"))));
  for (const std::string& url : {secure.URL("/live.ogg"), plain.URL("/old.ogg")}) {
    SCOPED_TRACE(url);
    tNetworkOggReceiver r;
    r.Connect(url, 10);
    ASSERT_TRUE(Streams(r)) << "error " << int(r.GetErrorCode());
    EXPECT_EQ(r.GetStreamURL().substr(0, 8), "https://");
    EXPECT_EQ(r.GetStationName(), "Loop");
    EXPECT_TRUE(Consume(r, 5000) == clip)
        << "the stream's bytes must come through the secure connection whole";
  }
  EXPECT_NE(secure.Received(1).find("GET /moved.ogg HTTP/1.1"), std::string::npos);
}

TEST_F(SecureSession, UntrustedServersGiveCodeNine) {
  const struct {
    tServerIdentity Identity;
    const char* Fault;
  } rows[] = {
      {TestAuthority().SelfSigned(), "a certificate nobody vouches for"},
      {TestAuthority().OtherName(), "a certificate for another name"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Fault);
    tScriptServer server(Answer(OggAnswer(kIcyHead, Clip())), Tls(row.Identity));
    tNetworkOggReceiver r;
    r.Connect(server.URL("/live.ogg"), 10);
    ASSERT_TRUE(WaitUntil([&] { return r.GetState() == RS_IDLE && r.GetErrorCode() != 0; }, 10000));
    EXPECT_EQ(r.GetErrorCode(), RE_SECURE);
    EXPECT_EQ(ReceiverErrorText(RE_SECURE), "A secure connection to the stream could not be made.");
    EXPECT_EQ(server.Connections(), 1) << "nothing is tried again, in the clear or otherwise";
  }
}

TEST(NetworkSession, StreamsFromAnIPv6Server) {
  if (!HasIPv6Loopback()) GTEST_SKIP() << "this machine has no ::1: the IPv6 stream was not tried";
  const std::string clip = Clip();
  tScriptServer server({ReadRequest(), Send(OggAnswer(kIcyHead, clip)), Stall()},
                       tServerOptions{true, "", ""});
  tNetworkOggReceiver r;
  r.Connect(server.URL("/tv.ogg"), 10);
  ASSERT_EQ(server.URL("/tv.ogg").find("http://[::1]:"), 0u);
  ASSERT_TRUE(Streams(r)) << "error " << int(r.GetErrorCode());
  EXPECT_EQ(r.GetStreamURL(), server.URL("/tv.ogg"));
  EXPECT_NE(server.Received(0).find("\r\nHost: [::1]\r\n"), std::string::npos) << server.Received(0);
}

// A live stream that drops comes back: its bytes go on in the queue right after what arrived before.
TEST(NetworkSession, LiveStreamThatDropsIsFetchedAgain) {
  const std::string clip = Clip("2");
  const std::string half = clip.substr(0, clip.size() / 2);
  const struct {
    const char* Note;
    tScript First;
    int32_t TimeOut;
  } rows[] = {
      {"closed in order mid-stream", {ReadRequest(), Send(OggAnswer(kIcyHead, half)), Close()}, 60},
      {"reset", {ReadRequest(), Send(OggAnswer(kIcyHead, half)), Pause(100), Reset()}, 60},
      {"silent past the time-out", {ReadRequest(), Send(OggAnswer(kIcyHead, half)), Stall()}, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Note);
    tScriptServer server({row.First,
                          {ReadRequest(), Send("FOO 500 Busy\r\n\r\n"), Close()},
                          Answer(OggAnswer(kIcyHead, clip))});
    tNetworkOggReceiver r;
    r.Connect(server.URL("/live"), tReceiverOptions{10, 5, 20, row.TimeOut});
    std::string got;
    ASSERT_TRUE(WaitUntil(
        [&] {
          uint8_t buf[512];
          got.append(reinterpret_cast<char*>(buf), static_cast<size_t>(r.ReadData(buf, 512)));
          return r.InputEnded() && r.GetBufferLevel() == 0;
        },
        20000))
        << "state " << int(r.GetState()) << " error " << int(r.GetErrorCode());
    got += Consume(r, 1000);
    EXPECT_TRUE(got == half + clip) << "got " << got.size() << " bytes of " << half.size() + clip.size();
    EXPECT_EQ(r.GetReconnects(), 1) << "the refused first attempt is followed by a second that works";
    EXPECT_EQ(server.Connections(), 3);
    EXPECT_EQ(r.GetReconnectAttempt(), 0);
    r.FinishStream();
    ASSERT_TRUE(WaitUntil([&] { return r.GetState() == RS_IDLE; }));
    EXPECT_EQ(r.GetErrorCode(), RE_ENDED) << "the stream that came back ended in order";
  }
}

TEST(NetworkSession, ServerThatNeverComesBackEndsTheStreamAfterTheAttempts) {
  auto server = std::make_unique<tScriptServer>(
      tScript{ReadRequest(), Send(OggAnswer(kIcyHead, Clip())), Pause(300), Reset()});
  tNetworkOggReceiver r;
  r.Connect(server->URL("/live"), tReceiverOptions{10, 5, 50});
  ASSERT_TRUE(WaitUntil([&] { return r.GetReconnectAttempt() > 0; }));
  EXPECT_EQ(r.GetReconnectAttempts(), 5);
  server.reset();  // gone for good: every attempt is refused
  int32_t attempts = 0;
  bool activeMeanwhile = true;
  ASSERT_TRUE(WaitUntil(
      [&] {
        attempts = std::max(attempts, r.GetReconnectAttempt());
        if (r.GetState() != RS_IDLE) activeMeanwhile = activeMeanwhile && r.IsActive();
        return r.GetState() == RS_IDLE;
      },
      20000));
  EXPECT_EQ(attempts, 5);
  EXPECT_TRUE(activeMeanwhile) << "a receiver that reconnects is still active: the player must not let it go";
  EXPECT_EQ(r.GetErrorCode(), RE_CONNECT) << "the last attempt's failure is the stream's";
  EXPECT_EQ(r.GetReconnects(), 0);
  EXPECT_EQ(r.GetReconnectAttempt(), 0);
}

TEST(NetworkSession, DisconnectDuringTheWaitEndsPromptly) {
  const std::string clip = Clip();
  tScriptServer server({ReadRequest(), Send(OggAnswer(kIcyHead, clip.substr(0, clip.size() / 2))), Close()});
  tNetworkOggReceiver r;
  r.Connect(server.URL("/live"), tReceiverOptions{10, 5, 60000});  // a minute before the first attempt
  ASSERT_TRUE(WaitUntil([&] { return r.GetReconnectAttempt() == 1; }));
  uint32_t start = timeGetTime();
  r.Disconnect();
  EXPECT_LT(timeGetTime() - start, 5000u) << "the wait must not hold the receiver";
  EXPECT_EQ(server.Connections(), 1);
}

TEST(NetworkSession, WhatIsNotLiveNeverReconnects) {
  const std::string clip = Clip();
  const std::string list = "#EXTM3U\r\nhttp://127.0.0.1/a.ogg\r\n";
  tTempDir dir;
  WriteFile(dir.File("clip.ogg"), clip.substr(0, clip.size() / 2));
  const struct {
    const char* Note;
    tScript Script;
    uint8_t State, Error;
  } rows[] = {
      {"a stream that ends after the last page of each of its streams", Answer(OggAnswer(kIcyHead, clip)),
       RS_IDLE, RE_ENDED},
      {"a length that was cut short",
       Answer(OggAnswer(std::string(kIcyHead) + "Content-Length: " + std::to_string(clip.size()) + "\r\n",
                        clip.substr(0, clip.size() / 2))),
       RS_IDLE, RE_ENDED},
      {"a text answer",
       Answer("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(list.size()) + "\r\n\r\n" + list),
       RS_TEXT, RE_NONE},
      {"a local file", {}, RS_IDLE, RE_ENDED},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Note);
    tScriptServer server(row.Script);
    tNetworkOggReceiver r;
    r.Connect(row.Script.empty() ? dir.File("clip.ogg") : server.URL("/s"), tReceiverOptions{10, 5, 20});
    ASSERT_TRUE(WaitUntil(
        [&] {
          Consume(r, 50);
          if (r.InputEnded()) r.FinishStream();
          return r.GetState() == row.State && (row.State != RS_IDLE || r.GetErrorCode() != RE_NONE);
        },
        10000))
        << "state " << int(r.GetState()) << " error " << int(r.GetErrorCode());
    if (row.State == RS_IDLE) {
      EXPECT_EQ(r.GetErrorCode(), row.Error);
    }
    Sleep(200);  // more than the first wait of a reconnect
    EXPECT_EQ(server.Connections(), row.Script.empty() ? 0 : 1);
    EXPECT_EQ(r.GetReconnects(), 0);
  }
}

}  // namespace
}  // namespace ktv
