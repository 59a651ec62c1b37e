// Integration with a real streaming server on 127.0.0.1.
#include <gtest/gtest.h>

#include "stream/network_ogg_receiver.h"
#include "stream/receiver_helpers.h"
#include "support/icecast_server.h"

namespace ktv {
namespace {

using namespace ktv::test;

TEST(Icecast, ReceiverReadsTheServersMetadataAndStreams) {
  std::string clip = MakeMedia({"--width", "64", "--height", "48", "--seconds", "3", "--link", "--link"});
  tIcecastServer server;
  ASSERT_TRUE(server.Running()) << server.Log();
  ASSERT_TRUE(server.Feed(clip, "/live.ogg", "Ice Radio", "Tests", "Generated tones")) << server.Log();

  tNetworkOggReceiver r;
  r.Connect(server.URL("/live.ogg"), 2);
  ASSERT_TRUE(WaitUntil([&] { return r.GetState() >= RS_BUFFERING; }, 10000)) << int(r.GetErrorCode());
  EXPECT_NE(r.GetServer().find("Icecast"), std::string::npos) << r.GetServer();
  EXPECT_EQ(r.GetContentType(), "APPLICATION/OGG");
  EXPECT_EQ(r.GetStationName(), "Ice Radio");
  EXPECT_EQ(r.GetGenre(), "Tests");
  EXPECT_EQ(r.GetDescription(), "Generated tones");
  EXPECT_FALSE(r.GetIsPublic());
  ASSERT_TRUE(r.ReadStreamHeaders());
  ASSERT_EQ(r.StreamCount(), 2);
  EXPECT_EQ(r.StreamName(0), "Theora");
  EXPECT_EQ(r.StreamName(1), "Vorbis");
  r.Disconnect();
}

}  // namespace
}  // namespace ktv
