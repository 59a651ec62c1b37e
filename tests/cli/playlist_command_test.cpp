// kestrova-cli playlist: a playlist file as one line of JSON.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace ktv {
namespace {

TEST(PlaylistCommand, PrintsTheEntriesAsJson) {
  test::tTempDir dir;
  std::string pls = dir.File("a.pls");
  ASSERT_TRUE(
      test::WriteFile(pls, "[playlist]\nNumberOfEntries=1\nFile1=http://h/\"q\".ogg\nTitle1=T\nLength1=7\n"));
  test::tRunResult r = test::RunCli({"playlist", pls});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out,
            "{\"playlist\":true,\"entries\":[{\"location\":\"http://h/\\\"q\\\".ogg\",\"title\":\"T\","
            "\"annotation\":\"\",\"genre\":\"\",\"info\":\"\",\"duration\":7}]}\n");
  EXPECT_EQ(test::RunCli({"playlist"}).ExitCode, 2);
}

}  // namespace
}  // namespace ktv
