#include "stream/ogg_page_splitter.h"

#include <gtest/gtest.h>

#include "stream/record_media.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

std::string TwoLinks() {
  return ReadFile(MakeMedia({"--width", "32", "--height", "32", "--seconds", "1", "--link"}));
}

std::string Joined(const std::vector<std::string>& pages, size_t skip = SIZE_MAX) {
  std::string out;
  for (size_t i = 0; i < pages.size(); ++i)
    if (i != skip) out += pages[i];
  return out;
}

TEST(OggPageSplitter, ChecksumOfKnownText) {
  // The Ogg variant of CRC-32 (not the reflected one of zip): check value of "123456789".
  const std::string text = "123456789";
  EXPECT_EQ(OggChecksum(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 0x89A1897Fu);
}

TEST(OggPageSplitter, AnEncodersFileComesOutPageForPageAtEverySplit) {
  const std::string file = TwoLinks();
  ASSERT_FALSE(file.empty());
  const std::vector<std::string> pages = SplitPages(file);
  ASSERT_GT(pages.size(), 6u);
  EXPECT_EQ(Joined(pages), file) << "every page passes its checksum, nothing is added or lost";
  // Split at every offset of the first pages (the headers): the same pages whatever the cut.
  const size_t span = std::min<size_t>(file.size(), pages[0].size() + pages[1].size() + pages[2].size() + 64);
  for (size_t cut = 1; cut < span; ++cut) {
    std::vector<std::string> got;
    tOggPageSplitter splitter;
    auto take = [&](std::string_view page) { got.emplace_back(page); };
    splitter.Feed(file.data(), cut, take);
    splitter.Feed(file.data() + cut, file.size() - cut, take);
    ASSERT_EQ(got, pages) << "cut at " << cut;
    EXPECT_EQ(splitter.HeldBytes(), 0u);
  }
}

TEST(OggPageSplitter, DamageCostsOnlyTheDamagedPage) {
  const std::string file = TwoLinks();
  const std::vector<std::string> pages = SplitPages(file);
  ASSERT_GT(pages.size(), 6u);
  size_t offset3 = pages[0].size() + pages[1].size() + pages[2].size();
  struct tCase {
    const char* Note;
    std::string Input;
    std::string Expected;
  };
  std::string flippedBody = file;
  flippedBody[offset3 + pages[3].size() - 1] ^= 0x40;
  std::string flippedLength = file;
  flippedLength[offset3 + 27] ^= 0x01;  // the first lacing value: the page's length is wrong
  std::string badVersion = file;
  badVersion[offset3 + 4] = 1;
  const std::vector<tCase> cases = {
      {"garbage before the first page is skipped", std::string(1000, 'x') + "OggOgOggS\x01" + file, file},
      {"a bad checksum drops that page only", flippedBody, Joined(pages, 3)},
      {"a wrong segment length drops that page only", flippedLength, Joined(pages, 3)},
      {"an unknown version is no page", badVersion, Joined(pages, 3)},
      {"a lost page leaves the others", Joined(pages, 3), Joined(pages, 3)},
      {"a truncated end gives no half page", file.substr(0, file.size() - 10),
       Joined(pages, pages.size() - 1)},
  };
  for (const tCase& c : cases) {
    EXPECT_EQ(Joined(SplitPages(c.Input)), c.Expected) << c.Note;
  }
}

TEST(OggPageSplitter, HostileInputHoldsAtMostTwoPages) {
  // A header that promises the largest page, then never a valid one: the splitter keeps searching, bounded.
  std::string fake = "OggS";
  fake += std::string(22, '\0');
  fake += static_cast<char>(255);
  fake += std::string(255, static_cast<char>(255));
  std::string input;
  while (input.size() < 4 * 1024 * 1024) input += fake + std::string(1000, 'O');
  tOggPageSplitter splitter;
  size_t most = 0, taken = 0;
  for (size_t at = 0; at < input.size(); at += 4096) {
    splitter.Feed(input.data() + at, std::min<size_t>(4096, input.size() - at),
                  [&](std::string_view) { ++taken; });
    most = std::max(most, splitter.HeldBytes());
  }
  EXPECT_EQ(taken, 0u);
  EXPECT_LT(most, 2 * tOggPageSplitter::kMaxPage);
  // One feed of everything at once is bounded the same way.
  tOggPageSplitter whole;
  whole.Feed(input.data(), input.size(), [&](std::string_view) { ++taken; });
  EXPECT_LT(whole.HeldBytes(), 2 * tOggPageSplitter::kMaxPage);
}

TEST(OggPageSplitter, RestartDropsAHalfPage) {
  const std::string file = TwoLinks();
  const std::vector<std::string> pages = SplitPages(file);
  std::vector<std::string> got;
  tOggPageSplitter splitter;
  auto take = [&](std::string_view page) { got.emplace_back(page); };
  splitter.Feed(pages[0].data(), pages[0].size() - 5, take);
  splitter.Restart();
  splitter.Feed(file.data(), file.size(), take);
  EXPECT_EQ(got, pages) << "the cut page's start does not join the next connection's bytes";
}

TEST(OggPageSplitter, PageInfo) {
  const std::vector<std::string> pages = SplitPages(TwoLinks());
  ASSERT_GT(pages.size(), 3u);
  tOggPageInfo first = ReadOggPageInfo(pages[0]);
  EXPECT_TRUE(first.BeginsStream);
  EXPECT_EQ(first.Granule, 0);
  tOggPageInfo last = ReadOggPageInfo(pages.back());
  EXPECT_TRUE(last.EndsStream);
  EXPECT_GT(last.Granule, 0);
  EXPECT_FALSE(last.BeginsStream);
}

}  // namespace
}  // namespace ktv
