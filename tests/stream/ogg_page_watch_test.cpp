#include "stream/ogg_page_watch.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

bool EndedAfter(const std::string& bytes, size_t piece) {
  tOggPageWatch watch;
  for (size_t at = 0; at < bytes.size(); at += piece)
    watch.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
  return watch.StreamsEnded();
}

TEST(OggPageWatch, TellsTheEndOfEveryStreamFromADrop) {
  const std::string a = ReadFile(MakeMedia({"--width", "32", "--height", "32", "--seconds", "1"}));
  const std::string b = ReadFile(MakeMedia({"--no-video", "--seconds", "1"}));
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  const std::string garbage = "\x01OgXOggOg\xffS";
  const struct {
    std::string Bytes;
    bool Ended;
    const char* Fault;
  } cases[] = {
      {a, true, "a whole stream must count as ended"},
      {a.substr(0, a.size() - 1), false, "a page cut short counted as an end"},
      {a.substr(0, a.size() * 3 / 4), false, "streams without their last page counted as ended"},
      {a.substr(0, 60), false, "a stream cut in its headers counted as ended"},
      {a + "OggS\x00", false, "a page begun after the end counted as nothing"},
      {garbage + a, true, "bytes before the first page must be passed over"},
      {a + b, true, "a chained stream's last link"},
      {a + b.substr(0, 200), false, "the next link begun"},
      {"", false, "nothing seen is no end"},
  };
  for (const auto& c : cases) {
    for (size_t piece : {size_t{1}, size_t{7}, size_t{512}, c.Bytes.size() + 1}) {
      EXPECT_EQ(EndedAfter(c.Bytes, piece), c.Ended) << c.Fault << " (fed " << piece << " bytes at a time)";
    }
  }
  tOggPageWatch watch;
  watch.Feed(a.data(), a.size() / 2);
  watch.Restart();
  watch.Feed(b.data(), b.size());
  EXPECT_TRUE(watch.StreamsEnded()) << "a new connection must not wait for the last one's streams";
}

}  // namespace
}  // namespace ktv
