#include <gtest/gtest.h>

#include <memory>

#include "net/easy_socket.h"
#include "support/script_server.h"

namespace ktv {
namespace {

using namespace ktv::test;

std::string ReadAll(tEasySocket& Socket) {
  std::string all;
  char buffer[256];
  while (Socket.Handle() != tEasySocket::kNoSocket)
    all.append(buffer, Socket.ReceiveBuf(buffer, sizeof buffer));
  return all;
}

TEST(ScriptServer, EachConnectionPlaysItsOwnScriptAndTheLastRepeats) {
  tScriptServer server(std::vector<tScript>{{ReadRequest(), Send("first")}, {ReadRequest(), Send("later")}});
  ASSERT_TRUE(server.Listening());
  const char* expected[] = {"first", "later", "later"};
  for (int i = 0; i < 3; ++i) {
    tEasySocket socket(2, false, false);
    ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
    std::string request = "GET /" + std::to_string(i) + " HTTP/1.1\r\n\r\n";
    ASSERT_TRUE(socket.SendBuf(request));
    EXPECT_EQ(ReadAll(socket), expected[i]) << "connection " << i;
    EXPECT_EQ(socket.LastError(), 0) << "a script that ends must end the connection in order";
    ASSERT_TRUE(server.WaitForFinished(i, 2000));
    EXPECT_EQ(server.Received(i), request);
  }
  EXPECT_EQ(server.Connections(), 3);
  EXPECT_EQ(server.Received(3), "") << "a connection not yet made has received nothing";
}

TEST(ScriptServer, StoppingEndsConnectionsThatAreStillOpen) {
  for (const tScript& script :
       {tScript{Stall()}, tScript{Ignore()}, tScript{Send(std::string(32 << 20, 'x'))}}) {
    auto server = std::make_unique<tScriptServer>(script);
    tEasySocket socket(2, false, false);
    ASSERT_TRUE(socket.Connect(server->Port(), "127.0.0.1"));
    ASSERT_TRUE(server->WaitForConnections(1, 2000));
    server.reset();  // must return although the client neither reads nor closes
    char buffer[64];
    while (socket.ReceiveBuf(buffer, sizeof buffer) == sizeof buffer) {
    }
    EXPECT_FALSE(socket.TimedOut()) << "the stopped server must close its side";
  }
}

}  // namespace
}  // namespace ktv
