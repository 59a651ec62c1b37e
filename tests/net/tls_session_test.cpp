// TLS inside tEasySocket, against the loopback script server speaking TLS with certificates of an authority
// made for the test run.
#include "net/tls_session.h"

#include <gtest/gtest.h>

#include <thread>

#include "net/easy_socket.h"
#include "net/winsock_errors.h"
#include "platform/clock.h"
#include "support/script_server.h"
#include "support/test_authority.h"

namespace ktv {
namespace {

using namespace ktv::test;

constexpr int kTimeOut = 1;
constexpr int kSafetyTimeOut = 5;  // only to turn a hang into a failure

tServerOptions Tls(const tServerIdentity& identity, bool ipv6 = false) {
  return {ipv6, identity.CertFile, identity.KeyFile};
}

class TlsSocket : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(TestAuthority().Ready()) << TestAuthority().Error; }
};

TEST_F(TlsSocket, TrustedServerCarriesTheExchangeWhole) {
  tTrustTestAuthority trust;
  // Far more than one TLS record, so that reads meet records split across the network and bytes that the
  // session holds decrypted while the socket itself has nothing more to read.
  std::string body;
  for (int i = 0; i < 200000; ++i) body += static_cast<char>('a' + i % 26);
  const std::string answer = "HTTP/1.0 200 OK\r\n\r\n" + body;
  const struct {
    bool WithIdle, ConnectInThread;
    const char* Name;
  } modes[] = {{false, false, "plain"}, {true, true, "timed connect with idle calls"}};
  for (const auto& mode : modes) {
    SCOPED_TRACE(mode.Name);
    tScriptServer server({ReadRequest(), Send(answer), Close()}, Tls(TestAuthority().Loopback()));
    ASSERT_TRUE(server.Listening());
    tEasySocket socket(kSafetyTimeOut, false, mode.ConnectInThread);
    if (mode.WithIdle) socket.OnIdle = [](tEasySocket&) {};
    socket.SetSecure(true);
    ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1")) << socket.LastError();
    const std::string request = "GET /secret HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ASSERT_TRUE(socket.SendBuf(request));
    std::string got;
    char byte;
    while (got.size() < 19 && socket.ReceiveExact(&byte, 1)) got += byte;  // the header, a byte at a time
    EXPECT_TRUE(socket.Connected()) << "bytes still to come mean connected";
    char chunk[7000];
    size_t n;
    while ((n = socket.ReceiveBuf(chunk, sizeof chunk)) == sizeof chunk) got.append(chunk, n);
    got.append(chunk, n);
    EXPECT_TRUE(got == answer) << "received " << got.size() << " of " << answer.size() << " bytes";
    EXPECT_EQ(socket.LastError(), 0) << "the server's goodbye is an end in order";
    EXPECT_EQ(socket.BytesReceived(), static_cast<int64_t>(answer.size())) << "counted as the stream's bytes";
    EXPECT_EQ(socket.Handle(), tEasySocket::kNoSocket);
    ASSERT_TRUE(server.WaitForFinished(0, 5000));
    EXPECT_EQ(server.Received(0), request) << "the server must read the request as it was sent";
  }
}

TEST_F(TlsSocket, PeerThatEndsOrBreaksTheConnection) {
  tTrustTestAuthority trust;
  const std::string hundred(100, 'h');
  const struct {
    tScript Script;
    int Error;
    const char* Fault;
  } cases[] = {
      {{Send(hundred), Close()}, 0, "a goodbye must read as an end in order"},
      {Steps({Trickle(hundred, 7, 10), {Close()}}), 0, "records arriving in pieces must all be collected"},
      {{Send(hundred), Pause(100), Reset()}, WSAECONNRESET, "a reset must read as a broken connection"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Fault);
    tScriptServer server(c.Script, Tls(TestAuthority().Loopback()));
    tEasySocket socket(kSafetyTimeOut, false, false);
    socket.SetSecure(true);
    ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
    char buffer[128];
    EXPECT_EQ(socket.ReceiveBuf(buffer, sizeof buffer), 100u);
    EXPECT_EQ(std::string(buffer, 100), hundred);
    EXPECT_EQ(socket.LastError(), c.Error);
    EXPECT_FALSE(socket.TimedOut());
    EXPECT_FALSE(socket.Connected());
  }
}

TEST_F(TlsSocket, RefusesWhatItCannotTrustAndNeverFallsBack) {
  const struct {
    tServerOptions Server;
    bool TrustAuthority;
    const char* Fault;
  } cases[] = {
      {Tls(TestAuthority().SelfSigned()), true, "a certificate nobody vouches for was trusted"},
      {Tls(TestAuthority().OtherName()), true, "a certificate for another name was taken for this host"},
      {Tls(TestAuthority().Loopback()), false, "an authority outside the trust store was trusted"},
      {{}, true, "a plain HTTP server was taken for a secure one"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Fault);
    std::unique_ptr<tTrustTestAuthority> trust;
    if (c.TrustAuthority) trust = std::make_unique<tTrustTestAuthority>();
    // (A plain server answers at once: the greeting holds no request it could wait for.)
    tScriptServer server({Send("HTTP/1.0 200 OK\r\n\r\nplain"), Close()}, c.Server);
    tEasySocket socket(kSafetyTimeOut, false, true);
    socket.SetSecure(true);
    EXPECT_FALSE(socket.Connect(server.Port(), "127.0.0.1"));
    EXPECT_EQ(socket.LastError(), ERROR_SECURE_FAILURE);
    EXPECT_FALSE(socket.TimedOut());
    EXPECT_EQ(socket.Handle(), tEasySocket::kNoSocket);
    EXPECT_FALSE(socket.SendBuf(std::string("GET / HTTP/1.1\r\n\r\n"))) << "nothing may go out after it";
    ASSERT_TRUE(server.WaitForFinished(0, 5000));
    EXPECT_EQ(server.Received(0).find("GET"), std::string::npos) << "no request may be sent in the clear";
  }
}

TEST_F(TlsSocket, NamesTheServerAndChecksAddresses) {
  tTrustTestAuthority trust;
  tScriptServer server({ReadRequest(), Send("ok"), Close()}, Tls(TestAuthority().Loopback()));
  const struct {
    const char* Host;
    const char* Indicated;
  } cases[] = {
      {"localhost", "localhost"},  // the name goes out as Server Name Indication and is checked
      {"127.0.0.1", ""},           // an address is checked against the certificate's, and never indicated
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Host);
    tEasySocket socket(kSafetyTimeOut, false, false);
    socket.SetSecure(true);
    ASSERT_TRUE(socket.Connect(server.Port(), c.Host)) << socket.LastError();
    ASSERT_TRUE(socket.SendBuf(std::string("GET / HTTP/1.1\r\n\r\n")));
    char ok[2];
    EXPECT_TRUE(socket.ReceiveExact(ok, 2));
    socket.Close();
    ASSERT_TRUE(server.WaitForFinished(index, 5000));
    EXPECT_EQ(server.ServerName(index), c.Indicated);
    ++index;
  }
  if (!HasIPv6Loopback()) GTEST_SKIP() << "this machine has no ::1: the IPv6 address check was not run";
  tScriptServer six({ReadRequest(), Send("ok"), Close()}, Tls(TestAuthority().Loopback(), true));
  tEasySocket socket(kSafetyTimeOut, false, false);
  socket.SetSecure(true);
  EXPECT_TRUE(socket.Connect(six.Port(), "::1")) << socket.LastError();
}

TEST_F(TlsSocket, TimeOutAndCloseEndTheHandshakeAndReceives) {
  tTrustTestAuthority trust;
  tScriptServer silent({Stall()});  // takes the connection and never answers the greeting
  {
    tEasySocket socket(kTimeOut, false, false);
    socket.SetSecure(true);
    EXPECT_FALSE(socket.Connect(silent.Port(), "127.0.0.1"));
    EXPECT_EQ(socket.LastError(), WSAETIMEDOUT);
    EXPECT_TRUE(socket.TimedOut());
  }
  // A Close ends the operation under way at its next step: from OnIdle during the greeting, from another
  // thread during a receive (the session must outlive the receive that still uses it).
  tScriptServer quiet({Stall()}, Tls(TestAuthority().Loopback()));
  for (bool inHandshake : {true, false}) {
    SCOPED_TRACE(inHandshake ? "handshake" : "receive");
    tEasySocket socket(kSafetyTimeOut, false, true);
    socket.SetSecure(true);
    int idle_calls = 0;
    if (inHandshake) {
      socket.OnIdle = [&](tEasySocket& s) {
        if (++idle_calls == 5) s.Close();
      };
      EXPECT_FALSE(socket.Connect(silent.Port(), "127.0.0.1"));
    } else {
      ASSERT_TRUE(socket.Connect(quiet.Port(), "127.0.0.1"));
      std::thread closer([&] {
        Sleep(100);
        socket.Close();
      });
      char buffer[8];
      EXPECT_EQ(socket.ReceiveBuf(buffer, sizeof buffer), 0u);
      closer.join();
    }
    EXPECT_EQ(socket.LastError(), WSAEINTR) << "the Close must end it, not the time-out";
    EXPECT_FALSE(socket.TimedOut());
  }
}

}  // namespace
}  // namespace ktv
