#include "net/winsock_errors.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <utility>

namespace ktv {
namespace {

TEST(WinsockErrors, MapTheCodesTheReceiverTellsApart) {
  const std::pair<int, int> errnos[] = {
      {ENETUNREACH, 10051},
      {ENETDOWN, 10050},
      {ECONNREFUSED, 10061},
      {ETIMEDOUT, 10060},
      {ECONNRESET, 10054},
      {EPIPE, 10054},
      {0, 0},
  };
  for (const auto& [code, expected] : errnos) EXPECT_EQ(WinsockErrorFromErrno(code), expected) << code;
  EXPECT_NE(WinsockErrorFromErrno(ENOENT), 0) << "an unlisted errno must still read as a failure";
  const std::pair<int, int> resolver[] = {
      {EAI_NONAME, 11001}, {EAI_AGAIN, 11002}, {EAI_NODATA, 11004}, {EAI_FAIL, 11003}, {0, 0},
  };
  for (const auto& [code, expected] : resolver)
    EXPECT_EQ(WinsockErrorFromResolver(code, 0), expected) << code;
  EXPECT_EQ(WinsockErrorFromResolver(EAI_SYSTEM, ENETUNREACH), 10051);
}

}  // namespace
}  // namespace ktv
