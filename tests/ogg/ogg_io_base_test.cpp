#include "ogg/ogg_io_base.h"

#include <gtest/gtest.h>

#include <random>

#include "memory_source.h"
#include "platform/module_loader.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using test::MakeMedia;
using test::ReadFile;
using test::tMemorySource;

TEST(CodecName, NamingRules) {
  struct {
    std::string body, expect;
    const char* note;
  } rows[] = {
      {std::string("\x01vorbis\0\0\0\0\x02", 12), "Vorbis", "binary after the name cuts it"},
      {"\x80theora\x03\x02\x01", "Theora", "theora identification header"},
      {"\x7F"
       "FLAC\x01\x00",
       "FLAC", "upper case kept"},
      {"\x01writ something", "Writ something", "blanks are part of a name"},
      {"<?xml version=\"1.0\"?>", "XML", "XML metadata stream"},
      {"<  ?XmL", "XML", "blanks trimmed before the XML test"},
      {"\x01", "Unknown", "one byte: nothing after the first"},
      {"", "Unknown", "empty body"},
      {std::string("\x01\x20"
                   "ab-c",
                   6),
       "Ab", "leading blank trimmed, cut at the hyphen"},
      {"\x01[\\]^_`z", "[\\]^_`z", "the six characters between Z and a are name characters"},
      {"\x01"
       "abcdefghijklmnopqrstuvwxyz0123456789",
       "Abcdefghijklmnopqrstuvwxyz0123", "at most 30 characters"},
      {"\x01"
       "abcdefghijklmnopqrstuvwxyz012 x",
       "Abcdefghijklmnopqrstuvwxyz012", "trimmed again after the cut"},
      {"\x01\xff\xfe", "Unknown", "nothing usable"},
  };
  for (const auto& r : rows) {
    auto* body = reinterpret_cast<const uint8_t*>(r.body.data());
    EXPECT_EQ(CodecNameFromFirstPage(body, static_cast<long>(r.body.size())), r.expect) << r.note;
  }
}

// Counts every packet of every stream to the end of the source, all streams active. A packet fetch may give
// up before the end (its stream paused, or small reads brought nothing), so the loop goes on until the source
// is drained.
std::vector<int> CountPackets(tMemorySource& src) {
  std::vector<int> counts(static_cast<size_t>(src.StreamCount()), 0);
  if (counts.empty()) return counts;
  for (int32_t i = 0; i < src.StreamCount(); ++i) src.ActivateStream(i);
  ogg_packet packet;
  for (bool any = true; any || !src.AtEnd();) {
    any = false;
    for (int32_t i = 0; i < src.StreamCount(); ++i)
      while (src.GetPacket(i, &packet, false)) ++counts[static_cast<size_t>(i)], any = true;
  }
  return counts;
}

class OggSource : public ::testing::Test {
 protected:
  std::string AV =
      ReadFile(MakeMedia({"--width", "64", "--height", "48", "--seconds", "2", "--clicks", "0"}));
};

TEST_F(OggSource, ScanNamesStreamsInOrderOfFirstPages) {
  ASSERT_FALSE(AV.empty());
  tMemorySource src(AV);
  ASSERT_TRUE(src.OggAvailable);
  EXPECT_TRUE(src.ReadStreamHeaders());
  ASSERT_EQ(src.StreamCount(), 2);
  EXPECT_EQ(src.StreamName(0), "Theora");
  EXPECT_EQ(src.StreamName(1), "Vorbis");
  EXPECT_EQ(src.StreamName(2), "") << "outside the list";
  EXPECT_EQ(src.StreamSignature(0), std::string("\x80theora\x03", 8)) << "the identification's start";
  EXPECT_EQ(src.StreamSignature(1), std::string("\x01vorbis\0", 8));
  EXPECT_EQ(src.StreamSignature(2), "");
  auto counts = CountPackets(src);
  EXPECT_EQ(counts[0], 3 + 50) << "three headers and 50 frames";
  EXPECT_GT(counts[1], 3 + 40);
  EXPECT_FALSE(src.PagePending);
}

TEST_F(OggSource, AnyChunkingGivesTheSamePackets) {
  tMemorySource whole(AV);
  ASSERT_TRUE(whole.ReadStreamHeaders());
  auto expect = CountPackets(whole);
  for (std::vector<int32_t> chunks : {std::vector<int32_t>{1}, {7, 1, 3}, {4095, 2}, {100, 1, 4096}}) {
    tMemorySource src(AV, chunks);
    ASSERT_TRUE(src.ReadStreamHeaders());
    ASSERT_EQ(src.StreamCount(), 2);
    EXPECT_EQ(CountPackets(src), expect) << "chunk pattern starting " << chunks[0];
  }
}

TEST_F(OggSource, PagesOfInactiveStreamsAreDroppedUnlessAllAreFed) {
  for (bool feedAll : {false, true}) {
    SCOPED_TRACE(feedAll ? "every stream fed" : "active streams only");
    tMemorySource src(AV);
    ASSERT_TRUE(src.ReadStreamHeaders());
    src.FeedAllStreams = feedAll;
    src.ActivateStream(0);
    ogg_packet packet;
    int video = 0;
    while (src.GetPacket(0, &packet, false)) ++video;
    EXPECT_EQ(video, 53);
    // Without feeding all, the sound stream holds only what the scan fed it: its three headers and no data.
    src.ActivateStream(1);
    int audio = 0;
    while (src.GetPacket(1, &packet, false)) ++audio;
    if (feedAll) {
      EXPECT_GT(audio, 40);
    } else {
      EXPECT_LE(audio, 4) << "pages of an inactive stream must not pile up";
    }
  }
}

TEST_F(OggSource, PeekLeavesThePacketInPlace) {
  tMemorySource src(AV);
  ASSERT_TRUE(src.ReadStreamHeaders());
  ogg_packet peeked, taken;
  ASSERT_TRUE(src.GetPacket(0, &peeked, true));
  std::string first(reinterpret_cast<char*>(peeked.packet), static_cast<size_t>(peeked.bytes));
  ASSERT_TRUE(src.GetPacket(0, &taken, false));
  EXPECT_EQ(first, std::string(reinterpret_cast<char*>(taken.packet), static_cast<size_t>(taken.bytes)));
  EXPECT_EQ(first.substr(1, 6), "theora");
}

TEST(OggSourceChain, HeldPageStartsTheNextLink) {
  std::string chained = ReadFile(MakeMedia({"--width", "32", "--height", "32", "--seconds", "1", "--link",
                                            "--no-video", "--rate", "22050", "--channels", "1"}));
  ASSERT_FALSE(chained.empty());
  tMemorySource src(chained);
  ASSERT_TRUE(src.ReadStreamHeaders());
  ASSERT_EQ(src.StreamCount(), 2);
  src.ActivateStream(0);
  src.ActivateStream(1);
  ogg_packet packet;
  int video = 0;
  while (src.GetPacket(0, &packet, false)) ++video;
  ASSERT_TRUE(src.PagePending) << "the next link's first page ends the fetching";
  EXPECT_EQ(video, 3 + 25);
  // Packets already queued in the other stream can still be had, without reading further.
  int readsBefore = src.ReadCalls, audio = 0;
  while (src.GetPacket(1, &packet, false)) ++audio;
  EXPECT_GT(audio, 0);
  EXPECT_EQ(src.ReadCalls, readsBefore);
  EXPECT_TRUE(src.PagePending);
  // The decoding thread's order: reset the streams, scan again from the held page.
  src.ResetStreams();
  ASSERT_TRUE(src.ReadStreamHeaders());
  ASSERT_EQ(src.StreamCount(), 1);
  EXPECT_EQ(src.StreamName(0), "Vorbis");
  EXPECT_FALSE(src.PagePending);
  src.ActivateStream(0);
  int second = 0;
  while (src.GetPacket(0, &packet, false)) ++second;
  EXPECT_GT(second, 20);
}

TEST(OggSourceExtra, UnknownStreamIsListedAndIgnored) {
  std::string bytes = ReadFile(
      MakeMedia({"--width", "32", "--height", "32", "--seconds", "2", "--extra-stream", "writ subtitles"}));
  tMemorySource src(bytes);
  ASSERT_TRUE(src.ReadStreamHeaders());
  ASSERT_EQ(src.StreamCount(), 3);
  EXPECT_EQ(src.StreamName(2), "Writ subtitles");
  src.ActivateStream(0);
  ogg_packet packet;
  int video = 0;
  while (src.GetPacket(0, &packet, false)) ++video;
  EXPECT_EQ(video, 53);
}

TEST(OggSourceDamage, BadInputNeverCrashesOrHangs) {
  std::string good = ReadFile(MakeMedia({"--width", "48", "--height", "32", "--seconds", "2"}));
  ASSERT_FALSE(good.empty());
  std::mt19937 rng(7);
  std::string corrupted = good;
  for (size_t i = 3000; i < corrupted.size(); i += 997) corrupted[i] = static_cast<char>(rng());
  std::string garbageFirst = std::string(5000, 'x') + good;
  std::string lostPage = good.substr(0, 6000) + good.substr(9000);
  tMemorySource whole(good);
  ASSERT_TRUE(whole.ReadStreamHeaders());
  const std::vector<int> all = CountPackets(whole);
  struct {
    std::string bytes;
    int minStreams;
    bool complete;  // every packet of the undamaged file still arrives
    const char* note;
  } rows[] = {
      {"", 0, false, "empty source"},
      {std::string(100000, '\0'), 0, false, "zeros, not Ogg"},
      {"OggS", 0, false, "capture pattern only"},
      {good.substr(0, good.size() / 2), 2, false, "truncated in the middle"},
      {good.substr(0, 300), 0, false, "truncated inside the headers"},
      {corrupted, 2, false, "bytes overwritten after the headers"},
      {garbageFirst, 2, true, "garbage before the first page loses nothing"},
      {lostPage, 2, false, "pages lost"},
  };
  for (const auto& r : rows) {
    tMemorySource src(r.bytes);
    src.ReadStreamHeaders();
    EXPECT_GE(src.StreamCount(), r.minStreams) << r.note;
    const std::vector<int> counts = CountPackets(src);  // must end: the source runs dry
    if (r.complete) {
      EXPECT_EQ(counts, all) << r.note;
    }
    for (size_t i = 0; i < counts.size() && i < all.size(); ++i)
      EXPECT_LE(counts[i], all[i]) << "damage never makes packets up: " << r.note;
  }
}

class tEndlessSource : public tOggIOBase {
 public:
  explicit tEndlessSource(char fill) : Fill(fill) {}
  int32_t ReadData(uint8_t* buffer, int32_t size) override {
    ++ReadCalls;
    if (Fill == 0) return 0;
    std::memset(buffer, Fill, static_cast<size_t>(size));
    return size;
  }
  char Fill;
  int ReadCalls = 0;
};

// A large packet (a keyframe of a big picture) comes as many pages among those of the other streams: it is
// waited for whole. When a stream's pages stop while the others go on, the fetch gives up long before the
// source ends, so that the caller can play the other streams meanwhile; their packets are kept.
TEST(OggSourceBounds, APacketIsWaitedForWholeWhileItsPagesComeAndGivenUpWhenTheyStop) {
  uint32_t videoPage = 0, audioPage = 0;
  auto append = [](std::string& out, const std::vector<std::string>& pages) {
    for (const std::string& page : pages) out += page;
  };
  std::string bytes;
  append(bytes, test::OggPacketPages(1, videoPage, "\x80video head", 0, true));
  append(bytes, test::OggPacketPages(2, audioPage, "\x01audio head", 0, true));
  append(bytes, test::OggPacketPages(2, audioPage, std::string(1000, 'a'), 1, false));  // ends the scan
  const std::string keyframe(1 << 20, 'k');
  std::vector<std::string> keyframePages = test::OggPacketPages(1, videoPage, keyframe, 1, false);
  int64_t audioGranule = 2;
  for (const std::string& page : keyframePages) {
    bytes += page;
    append(bytes, test::OggPacketPages(2, audioPage, std::string(1000, 'b'), audioGranule++, false));
  }
  // Then the picture stops for 2 MB of sound.
  for (int i = 0; i < 2000; ++i)
    append(bytes, test::OggPacketPages(2, audioPage, std::string(1000, 'c'), audioGranule++, false));

  tMemorySource src(bytes);
  ASSERT_TRUE(src.ReadStreamHeaders());
  ASSERT_EQ(src.StreamCount(), 2);
  src.ActivateStream(0);
  src.ActivateStream(1);
  ogg_packet packet;
  const int readsBefore = src.ReadCalls;
  EXPECT_FALSE(src.GetPacket(2, &packet, false)) << "no such stream";
  EXPECT_EQ(src.ReadCalls, readsBefore) << "and nothing read for it";
  ASSERT_TRUE(src.GetPacket(0, &packet, false));  // the head
  ASSERT_TRUE(src.GetPacket(0, &packet, false)) << "a 1 MB keyframe among the sound's pages";
  EXPECT_TRUE(std::string(reinterpret_cast<char*>(packet.packet), static_cast<size_t>(packet.bytes)) ==
              keyframe);

  const int64_t before = src.BytesRead;
  EXPECT_FALSE(src.GetPacket(0, &packet, false));
  EXPECT_LT(src.BytesRead - before, 1 << 20) << "the stopped picture must not hold up the sound for long";
  int sound = 0;
  while (src.GetPacket(1, &packet, false)) ++sound;
  EXPECT_GE(sound, 1 + static_cast<int>(keyframePages.size()) + 100) << "the sound read meanwhile is kept";
}

TEST(OggSourceBounds, EndlessGarbageEndsTheScan) {
  tEndlessSource src('x');
  EXPECT_FALSE(src.ReadStreamHeaders())
      << "a source that never yields headers must not hold the scan for ever";
  EXPECT_EQ(src.StreamCount(), 0);
}

TEST(OggSourceLibrary, MissingLibraryMakesTheSourceInert) {
  test::tTempDir empty;
  SetModuleSearchFolder(empty.Path());
  {
    tMemorySource src("OggS");
    EXPECT_FALSE(src.OggAvailable);
    EXPECT_FALSE(src.ReadStreamHeaders());
    ogg_packet packet;
    EXPECT_FALSE(src.GetPacket(0, &packet, false));
    EXPECT_EQ(src.ReadCalls, 0);
  }
  SetModuleSearchFolder("");
}

}  // namespace
}  // namespace ktv

namespace ktv {
namespace {

// A day-long stream reads more than 2 GiB: the count of bytes read must go on past 32 bits.
TEST(OggSourceBounds, BytesReadCountsPastTwoGigabytes) {
  test::tMemorySource src(
      test::ReadFile(test::MakeMedia({"--width", "32", "--height", "32", "--seconds", "1"})));
  ASSERT_TRUE(src.ReadStreamHeaders());
  src.ActivateStream(0);
  src.BytesRead = INT32_MAX - 100;
  ogg_packet packet;
  while (src.GetPacket(0, &packet, false)) {
  }
  EXPECT_GT(src.BytesRead, int64_t{INT32_MAX});
}

}  // namespace
}  // namespace ktv
