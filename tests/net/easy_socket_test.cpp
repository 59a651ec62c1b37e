#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <thread>

#include "net/easy_socket.h"
#include "net/http_request.h"
#include "net/winsock_errors.h"
#include "platform/clock.h"
#include "support/script_server.h"
#include "support/test_authority.h"

namespace ktv {
namespace {

using namespace ktv::test;

// Time-outs of the tests: short, so that a fault shows quickly, and long enough for a loaded machine.
constexpr int kTimeOut = 1;
constexpr int kSafetyTimeOut = 2;  // only to turn a hang into a failure

struct tSocketMode {
  bool WithIdle;         // OnIdle set: 50 ms slices and idle calls
  bool ConnectInThread;  // connect cut short by time-out and Close
  const char* Name;
};
const tSocketMode kModes[] = {
    {false, false, "plain"},
    {false, true, "timed connect"},
    {true, true, "timed connect with idle calls"},
};

TEST(EasySocket, SilentServerEndsTheReceiveWithATimeOut) {
  for (const tSocketMode& mode : kModes) {
    SCOPED_TRACE(mode.Name);
    tScriptServer server({Stall()});
    tEasySocket socket(kTimeOut, false, mode.ConnectInThread);
    int idle_calls = 0;
    if (mode.WithIdle) socket.OnIdle = [&](tEasySocket&) { ++idle_calls; };
    ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
    char buffer[16];
    EXPECT_EQ(socket.ReceiveBuf(buffer, sizeof buffer), 0u);
    EXPECT_EQ(socket.LastError(), WSAETIMEDOUT);
    EXPECT_TRUE(socket.TimedOut());
    EXPECT_EQ(socket.Handle(), tEasySocket::kNoSocket) << "a time-out must close the socket";
    if (mode.WithIdle) {
      EXPECT_GE(idle_calls, 2) << "OnIdle must run between the wait slices";
    }
  }
}

TEST(EasySocket, ReceivesWhatArrivesBeforeThePeerCloses) {
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += static_cast<char>(i * 7);
  struct tCase {
    tScript Script;
    const char* Fault;
  } cases[] = {
      {{Send(hundred), Close()}, "a short answer then close must give exactly what was sent"},
      {Steps({Trickle(hundred, 7, 10), {Close()}}), "bytes arriving in pieces must all be collected"},
      {{Send(hundred), Pause(50), Reset()}, "a reset after the data must not lose the data"},
  };
  for (const tCase& c : cases) {
    SCOPED_TRACE(c.Fault);
    tScriptServer server(c.Script);
    tEasySocket socket(kSafetyTimeOut, true, false);
    ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
    char buffer[128] = {};
    size_t got = 0;
    // A reset may arrive before the last piece is read; what was read must still be the sent bytes.
    got = socket.ReceiveBuf(buffer, sizeof buffer);
    EXPECT_EQ(got, 100u);
    EXPECT_EQ(std::string(buffer, got), hundred.substr(0, got));
    EXPECT_EQ(socket.BytesReceived(), static_cast<int64_t>(got));
    EXPECT_FALSE(socket.TimedOut());
    EXPECT_EQ(socket.Handle(), tEasySocket::kNoSocket) << "the peer's close must close our socket";
    EXPECT_FALSE(socket.ReceiveExact(buffer, 1)) << "a closed socket must fail at once";
    EXPECT_EQ(socket.LastError(), WSAENOTSOCK);
  }
}

TEST(EasySocket, CloseFromOnIdleEndsTheReceiveWithWhatWasRead) {
  tScriptServer server({Send("0123456789"), Stall()});
  tEasySocket socket(kSafetyTimeOut, false, true);
  socket.OnIdle = [](tEasySocket& s) {
    if (s.BytesReceived() >= 10) s.Close();
  };
  ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
  char buffer[64];
  EXPECT_EQ(socket.ReceiveBuf(buffer, sizeof buffer), 10u);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
  EXPECT_FALSE(socket.TimedOut()) << "the receive must end at the Close, not at the time-out";
  EXPECT_EQ(socket.LastError(), WSAEINTR);
}

TEST(EasySocket, CloseFromAnotherThreadEndsABlockedReceive) {
  // The receiver's owner closes its socket from the main thread while the receiver thread waits in it.
  tScriptServer server({Stall()});
  tEasySocket socket(kSafetyTimeOut, false, false);
  ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
  size_t got = 99;
  std::thread receiver([&] {
    char buffer[8];
    got = socket.ReceiveBuf(buffer, sizeof buffer);
  });
  Sleep(100);
  socket.Close();
  receiver.join();
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(socket.TimedOut()) << "the Close must end the receive, not the time-out";
  EXPECT_EQ(socket.LastError(), WSAEINTR);
}

TEST(EasySocket, ConnectedTellsPendingDataFromAPeerClose) {
  tScriptServer server({Send("abc"), Close()});
  tEasySocket socket(kSafetyTimeOut, false, false);
  ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
  // Wait until the close has certainly arrived behind the data.
  ASSERT_TRUE(server.WaitForConnections(1, 2000));
  Sleep(100);
  EXPECT_TRUE(socket.Connected()) << "data still to be read means connected, even after the peer's close";
  char buffer[3];
  ASSERT_TRUE(socket.ReceiveExact(buffer, 3));
  bool connected = true;
  for (int waited = 0; connected && waited < 2000; waited += 10) {
    connected = socket.Connected();
    if (connected) Sleep(10);
  }
  EXPECT_FALSE(connected) << "a peer close with nothing pending must read as disconnected";
  EXPECT_EQ(socket.Handle(), tEasySocket::kNoSocket) << "and must close the socket";
  EXPECT_TRUE(server.WaitForFinished(0, 2000)) << "the server sees our close";
}

TEST(EasySocket, ConnectedHoldsForAQuietOpenConnection) {
  tScriptServer server({Stall()});
  tEasySocket socket(kSafetyTimeOut, false, false);
  EXPECT_FALSE(socket.Connected()) << "no socket yet";
  ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
  EXPECT_TRUE(socket.Connected());
  EXPECT_TRUE(socket.Connected()) << "asking must not use the connection up";
}

TEST(EasySocket, SendsTheRequestByteForByte) {
  tScriptServer server({ReadRequest(), Send("HTTP/1.0 200 OK\r\n\r\nbody"), Close()});
  tURLParts parts;
  ParseURL(server.URL("/dir/my stream.ogg"), parts);
  tEasySocket socket(kSafetyTimeOut, false, true);
  ASSERT_TRUE(socket.Connect(parts.Port, parts.Host));
  std::string request = BuildHTTPGetRequest(parts);
  ASSERT_TRUE(socket.SendBuf(request));
  EXPECT_EQ(socket.BytesSent(), static_cast<int64_t>(request.size()));
  char answer[64];
  size_t got = socket.ReceiveBuf(answer, sizeof answer);
  EXPECT_EQ(std::string(answer, got), "HTTP/1.0 200 OK\r\n\r\nbody");
  ASSERT_TRUE(server.WaitForFinished(0, 2000));
  EXPECT_EQ(server.Received(0), request);
}

TEST(EasySocket, SendToAPeerThatStopsReadingTimesOut) {
  tScriptServer server({Ignore()});
  tEasySocket socket(kTimeOut, false, false);
  ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
  std::string big(64 << 20, 'x');  // far more than the loopback buffers hold
  EXPECT_FALSE(socket.SendBuf(big));
  EXPECT_TRUE(socket.TimedOut());
  EXPECT_EQ(socket.LastError(), WSAETIMEDOUT);
  EXPECT_GT(socket.BytesSent(), 0);
  EXPECT_LT(socket.BytesSent(), static_cast<int64_t>(big.size()));
}

TEST(EasySocket, SendToAResetPeerFailsWithoutKillingTheProcess) {
  // The pause lets the connect finish first: a reset that beats it makes the connect itself fail.
  tScriptServer server({Pause(200), Reset()});
  tEasySocket socket(kSafetyTimeOut, false, false);
  ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
  ASSERT_TRUE(server.WaitForFinished(0, 2000));
  std::string chunk(4096, 'x');
  bool sent = true;
  for (int i = 0; i < 100 && sent; ++i)
    sent = socket.SendBuf(chunk);  // SIGPIPE here would end the test program
  EXPECT_FALSE(sent);
  EXPECT_EQ(socket.LastError(), WSAECONNRESET);
  EXPECT_EQ(socket.Handle(), tEasySocket::kNoSocket);
}

TEST(EasySocket, ConnectFailuresGiveTheirWinsockNumbers) {
  tRefusingPort refusing;
  std::string unknown =
      std::string(70, 'x') + ".invalid";  // refused by the resolver before any query is sent
  for (const tSocketMode& mode : kModes) {
    SCOPED_TRACE(mode.Name);
    tEasySocket socket(kSafetyTimeOut, false, mode.ConnectInThread);
    if (mode.WithIdle) socket.OnIdle = [](tEasySocket&) {};
    EXPECT_FALSE(socket.Connect(refusing.Port(), "127.0.0.1"));
    EXPECT_EQ(socket.LastError(), WSAECONNREFUSED);
    EXPECT_EQ(socket.Handle(), tEasySocket::kNoSocket);
    EXPECT_FALSE(socket.Connect(80, unknown));
    EXPECT_TRUE(socket.LastError() == WSAHOST_NOT_FOUND || socket.LastError() == WSATRY_AGAIN ||
                socket.LastError() == WSANO_DATA)
        << socket.LastError();
    EXPECT_FALSE(socket.Connect(80, "  "));
    EXPECT_EQ(socket.LastError(), WSAHOST_NOT_FOUND) << "an empty host is not found";
  }
}

TEST(EasySocket, TimedConnectIsCutShortByTheTimeOutAndByClose) {
  tSilentPort silent;
  {
    tEasySocket socket(kTimeOut, false, true);
    EXPECT_FALSE(socket.Connect(silent.Port(), "127.0.0.1"));
    EXPECT_EQ(socket.LastError(), WSAETIMEDOUT);
    EXPECT_TRUE(socket.TimedOut());
    EXPECT_EQ(socket.Handle(), tEasySocket::kNoSocket);
  }
  {
    tEasySocket socket(kSafetyTimeOut, false, true);
    int idle_calls = 0;
    socket.OnIdle = [&](tEasySocket& s) {
      if (++idle_calls == 3) s.Close();
    };
    EXPECT_FALSE(socket.Connect(silent.Port(), "127.0.0.1"));
    EXPECT_EQ(socket.LastError(), WSAEINTR) << "the Close must end the connect, not the time-out";
    EXPECT_FALSE(socket.TimedOut());
    EXPECT_EQ(idle_calls, 3);
  }
}

TEST(EasySocket, ReconnectStartsAFreshCount) {
  tScriptServer server({ReadRequest(), Send("hello"), Close()});
  tEasySocket socket(kSafetyTimeOut, false, false);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
    EXPECT_EQ(socket.BytesReceived(), 0);
    EXPECT_EQ(socket.BytesSent(), 0);
    ASSERT_TRUE(socket.SendBuf(std::string("GET / HTTP/1.1\r\n\r\n")));
    char buffer[5];
    ASSERT_TRUE(socket.ReceiveExact(buffer, 5));
    EXPECT_EQ(std::string(buffer, 5), "hello");
  }
  EXPECT_EQ(server.Connections(), 2);
}

TEST(EasySocket, ConnectsOverIPv6) {
  if (!HasIPv6Loopback()) GTEST_SKIP() << "this machine has no ::1: IPv6 was not tried";
  tScriptServer server({ReadRequest(), Send("hello"), Close()}, tServerOptions{true, "", ""});
  ASSERT_TRUE(server.Listening());
  for (const char* host : {"::1", "[::1]"}) {
    SCOPED_TRACE(host);
    tEasySocket socket(kSafetyTimeOut, false, true);
    ASSERT_TRUE(socket.Connect(server.Port(), host)) << socket.LastError();
    EXPECT_TRUE(socket.Connected());
    ASSERT_TRUE(socket.SendBuf(std::string("GET / HTTP/1.1\r\n\r\n")));
    char buffer[5];
    ASSERT_TRUE(socket.ReceiveExact(buffer, 5));
    EXPECT_EQ(std::string(buffer, 5), "hello");
  }
}

TEST(EasySocket, TriesEachAddressOfANameInTurn) {
  tScriptServer server({ReadRequest(), Send("hello"), Close()});  // on 127.0.0.1 only
  tRefusingPort refusing;
  const struct {
    std::vector<std::string> Addresses;
    uint16_t Port;
    int Error;  // 0: connects
    const char* Fault;
  } cases[] = {
      {{"::1", "127.0.0.1"}, server.Port(), 0, "an address that refuses must not end the try"},
      {{"no address", "127.0.0.1"}, server.Port(), 0, "an unusable address must be passed over"},
      {{"127.0.0.1", "::1"}, server.Port(), 0, "the first address that connects is kept"},
      {{"127.0.0.1"}, refusing.Port(), WSAECONNREFUSED, "the last failure must be reported"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Fault);
    for (const tSocketMode& mode : kModes) {
      SCOPED_TRACE(mode.Name);
      tEasySocket socket(kSafetyTimeOut, false, mode.ConnectInThread);
      if (mode.WithIdle) socket.OnIdle = [](tEasySocket&) {};
      std::vector<std::string> asked;
      socket.LookupAddresses = [&](const std::string& name, std::vector<std::string>& found) {
        asked.push_back(name);
        found = c.Addresses;
        return 0;
      };
      EXPECT_EQ(socket.Connect(c.Port, " stream.test "), c.Error == 0) << socket.LastError();
      if (c.Error != 0) {
        EXPECT_EQ(socket.LastError(), c.Error);
      }
      EXPECT_EQ(asked, std::vector<std::string>{"stream.test"}) << "one look-up of the trimmed name";
    }
  }
}

TEST(ResolveHostAddresses, LiteralsAreNeverLookedUp) {
  const struct {
    const char* Host;
    std::vector<std::string> Addresses;  // empty: looked up
  } cases[] = {
      {"127.0.0.1", {"127.0.0.1"}},
      {" 10.1 ", {"10.0.0.1"}},  // the short dotted forms an address may take
      {"::1", {"::1"}},
      {"[2001:db8::1]", {"2001:db8::1"}},
      {" 10.1.2.3\t", {"10.1.2.3"}},
      {"255.255.255.255", {"255.255.255.255"}},
      {"localhost", {}},
      {"::1 evil", {}},
      {"1.2.3.4 evil", {}},  // text after a blank makes it a name, never the address before it
      {"1.2.3.4\r\nX: y", {}},
      {"[::1", {}},
  };
  for (const auto& c : cases) {
    int lookups = 0;
    std::vector<std::string> found;
    int result = ResolveHostAddresses(c.Host, found, [&](const std::string&, std::vector<std::string>& out) {
      ++lookups;
      out = {"192.0.2.1"};
      return 0;
    });
    EXPECT_EQ(result, 0) << c.Host;
    EXPECT_EQ(lookups, c.Addresses.empty() ? 1 : 0) << c.Host;
    if (!c.Addresses.empty()) {
      EXPECT_EQ(found, c.Addresses) << c.Host;
    }
  }
  std::vector<std::string> found;
  EXPECT_EQ(ResolveHostAddresses("  ", found), WSAHOST_NOT_FOUND);
  EXPECT_EQ(
      ResolveHostAddresses("x.test", found, [](const std::string&, std::vector<std::string>&) { return 0; }),
      WSANO_DATA)
      << "a look-up that finds nothing is no success";
}

}  // namespace
}  // namespace ktv
