#include "stream/stream_recorder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>

#include "stream/record_media.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

constexpr uint32_t kEnded = WM_USER + 500;

// A file in memory that the test can make fail or stall.
struct tFakeDisk {
  std::mutex Lock;
  std::condition_variable Changed;
  std::string Bytes;
  size_t Room = SIZE_MAX;  // a write that would pass this fails
  int FailWith = ENOSPC;
  bool Stalled = false;  // writes wait until the test lets them go
  bool Closed = false;
  int Writes = 0;

  void Release() {
    std::lock_guard<std::mutex> guard(Lock);
    Stalled = false;
    Changed.notify_all();
  }
  // Until `count` writes began or the recording ended (then no more come).
  void WaitForWrites(int count, const tStreamRecorder* recorder = nullptr) {
    std::unique_lock<std::mutex> lock(Lock);
    for (int slice = 0; slice < 1000 && Writes < count; ++slice) {
      if (recorder && recorder->EndReason() != tRecordEnd::None) return;
      Changed.wait_for(lock, std::chrono::milliseconds(10));
    }
  }
};

class tFakeFile final : public tRecordFile {
 public:
  explicit tFakeFile(std::shared_ptr<tFakeDisk> disk) : Disk(std::move(disk)) {}
  bool Write(const char* bytes, size_t count, int& error) override {
    std::unique_lock<std::mutex> lock(Disk->Lock);
    ++Disk->Writes;
    Disk->Changed.notify_all();
    Disk->Changed.wait(lock, [&] { return !Disk->Stalled; });
    if (Disk->Bytes.size() + count > Disk->Room) {
      error = Disk->FailWith;
      return false;
    }
    Disk->Bytes.append(bytes, count);
    return true;
  }
  bool Close(int&) override {
    std::lock_guard<std::mutex> guard(Disk->Lock);
    Disk->Closed = true;
    return true;
  }

 private:
  std::shared_ptr<tFakeDisk> Disk;
};

std::string Page(size_t size, char fill) {
  return std::string(size, fill);
}

TEST(StreamRecorder, WritesEveryPageInOrderAndClosesOnFinish) {
  auto disk = std::make_shared<tFakeDisk>();
  tMessageQueue messages;
  std::string expected;
  {
    tStreamRecorder recorder(std::make_unique<tFakeFile>(disk), &messages, kEnded, 7);
    for (int i = 0; i < 200; ++i) {
      std::string page = Page(100 + i, static_cast<char>('a' + i % 26));
      expected += page;
      ASSERT_TRUE(recorder.TakePages(page));
    }
    EXPECT_EQ(recorder.Finish(), tRecordEnd::Stopped);
    EXPECT_EQ(recorder.BytesWritten(), static_cast<int64_t>(expected.size()));
    EXPECT_FALSE(recorder.TakePages("late")) << "nothing after the end";
  }
  EXPECT_EQ(disk->Bytes, expected) << "pages queued before the stop are written too";
  EXPECT_TRUE(disk->Closed);
  tMessage m;
  EXPECT_FALSE(messages.Take(m)) << "a recording the owner stopped posts nothing";
}

TEST(StreamRecorder, AFailedWriteEndsTheRecordingWithItsReason) {
  struct tCase {
    int Error;
    tRecordEnd Expected;
    const char* Text;
  };
  const tCase cases[] = {
      {ENOSPC, tRecordEnd::DiskFull, "the disk is full"},
      {EFBIG, tRecordEnd::DiskFull, "the disk is full"},  // a file-size limit
      {EDQUOT, tRecordEnd::DiskFull, "the disk is full"},
      {EIO, tRecordEnd::WriteFailed, "could not be written"},
  };
  for (const tCase& c : cases) {
    auto disk = std::make_shared<tFakeDisk>();
    disk->Room = 1000;
    disk->FailWith = c.Error;
    tMessageQueue messages;
    tStreamRecorder recorder(std::make_unique<tFakeFile>(disk), &messages, kEnded, 42);
    // One page per write, so the write that fails is the first page that does not fit.
    for (int i = 0; i < 100 && recorder.TakePages(Page(300, 'p')); ++i) disk->WaitForWrites(i + 1, &recorder);
    tMessage m;
    ASSERT_TRUE(messages.Take(m, 10000)) << c.Error;
    EXPECT_EQ(m.Msg, kEnded);
    EXPECT_EQ(m.WParam, static_cast<intptr_t>(c.Expected));
    EXPECT_EQ(m.LParam, 42);
    EXPECT_FALSE(recorder.TakePages(Page(10, 'q')));
    EXPECT_EQ(recorder.Finish(), c.Expected) << "Finish keeps the reason it ended with";
    EXPECT_EQ(disk->Bytes, Page(900, 'p')) << "the pages that fitted, whole";
    EXPECT_NE(RecordEndText(c.Expected, recorder.EndError()).find(c.Text), std::string::npos);
    EXPECT_FALSE(messages.Take(m)) << "one message";
  }
}

TEST(StreamRecorder, ADiskThatCannotKeepUpEndsTheRecordingWithoutHoldingUpTheStream) {
  auto disk = std::make_shared<tFakeDisk>();
  disk->Stalled = true;
  tMessageQueue messages;
  tStreamRecorder recorder(std::make_unique<tFakeFile>(disk), &messages, kEnded, 3, 10000);
  ASSERT_TRUE(recorder.TakePages(Page(1000, 'a')));
  disk->WaitForWrites(1);  // the writer is stuck in the disk with the first page
  // The receiver goes on handing pages over; none of these calls waits for the disk (it is stalled: a
  // call that waited would never return). Past the bound the recording ends.
  int taken = 0;
  while (taken < 100 && recorder.TakePages(Page(1000, 'b'))) ++taken;
  EXPECT_EQ(taken, 10) << "the bound holds ten more pages";
  tMessage m;
  ASSERT_TRUE(messages.Take(m, 1000));
  EXPECT_EQ(m.WParam, static_cast<intptr_t>(tRecordEnd::TooSlow));
  disk->Release();
  EXPECT_EQ(recorder.Finish(), tRecordEnd::TooSlow);
  EXPECT_EQ(disk->Bytes, Page(1000, 'a')) << "what was dropped is not written after the end";
}

TEST(StreamRecorder, CreateRecordFileNeverReplacesAFile) {
  tTempDir dir;
  int error = 0;
  ASSERT_TRUE(WriteFile(dir.File("taken.ogg"), "keep me"));
  EXPECT_EQ(CreateRecordFile(dir.File("taken.ogg"), error), nullptr);
  EXPECT_EQ(error, EEXIST);
  EXPECT_EQ(ReadFile(dir.File("taken.ogg")), "keep me");
  EXPECT_EQ(CreateRecordFile(dir.File("missing/x.ogg"), error), nullptr);
  EXPECT_EQ(error, ENOENT);
  auto file = CreateRecordFile(dir.File("new.ogg"), error);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Write("OggS", 4, error));
  ASSERT_TRUE(file->Close(error));
  EXPECT_EQ(ReadFile(dir.File("new.ogg")), "OggS");
}

// --- The tap in the receiver ---------------------------------------------------------------------------

// A chained file (two links) and its pages.
struct tChain {
  std::string Bytes;
  std::vector<std::string> Pages;
  std::vector<size_t> LinkStarts;  // page index of each link's first page
};

tChain MakeChain() {
  tChain chain;
  chain.Bytes = ReadFile(MakeMedia(
      {"--width", "32", "--height", "32", "--seconds", "6", "--keyint", "8", "--link", "--seconds", "3"}));
  chain.Pages = SplitPages(chain.Bytes);
  bool lastBegan = false;
  for (size_t i = 0; i < chain.Pages.size(); ++i) {
    bool begins = ReadOggPageInfo(chain.Pages[i]).BeginsStream;
    if (begins && !lastBegan) chain.LinkStarts.push_back(i);
    lastBegan = begins;
  }
  return chain;
}

// Byte strings compared without printing them.
::testing::AssertionResult SameBytes(const std::string& got, const std::string& expected) {
  if (got == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
  return ::testing::AssertionFailure()
         << got.size() << " bytes instead of " << expected.size() << ", first difference at " << at;
}

std::string PagesFrom(const tChain& chain, size_t first, size_t end = SIZE_MAX) {
  std::string out;
  for (size_t i = first; i < std::min(end, chain.Pages.size()); ++i) out += chain.Pages[i];
  return out;
}

// Feeds the tap in pieces of `chunk` bytes up to byte `until`.
void FeedBytes(tRecordingTap& tap, const std::string& bytes, size_t from, size_t until, size_t chunk) {
  for (size_t at = from; at < until; at += chunk) tap.Feed(bytes.data() + at, std::min(chunk, until - at));
}

// Records through a tap attached after `attachPage` pages; returns the file's bytes.
std::string RecordThroughTap(const tChain& chain, size_t attachPage, size_t chunk) {
  auto disk = std::make_shared<tFakeDisk>();
  auto recorder = std::make_shared<tStreamRecorder>(std::make_unique<tFakeFile>(disk), nullptr, kEnded, 1);
  tRecordingTap tap;
  const size_t split = PagesFrom(chain, 0, attachPage).size();
  FeedBytes(tap, chain.Bytes, 0, split, chunk);
  tap.Attach(recorder);
  FeedBytes(tap, chain.Bytes, split, chain.Bytes.size(), chunk);
  tap.Attach(nullptr);
  recorder->Finish();
  return disk->Bytes;
}

TEST(RecordingTap, StartsWithTheLinksHeadersOrAtTheNextLink) {
  const tChain chain = MakeChain();
  ASSERT_EQ(chain.LinkStarts.size(), 2u);
  const size_t second = chain.LinkStarts[1];
  // The first link's header pages: up to its first page that completes media.
  size_t firstData = 0;
  while (firstData < second && ReadOggPageInfo(chain.Pages[firstData]).Granule <= 0) ++firstData;
  size_t secondData = second;
  while (secondData < chain.Pages.size() && ReadOggPageInfo(chain.Pages[secondData]).Granule <= 0)
    ++secondData;
  ASSERT_GT(firstData, 1u);
  ASSERT_LT(firstData + 4, second);
  ASSERT_LT(secondData + 4, chain.Pages.size());
  const std::string headers = PagesFrom(chain, 0, firstData);
  const size_t mid = (firstData + second) / 2;
  struct tCase {
    const char* Note;
    size_t AttachPage;
    std::string Expected;
  };
  const std::vector<tCase> cases = {
      {"from the start: the whole stream", 0, chain.Bytes},
      {"among the headers: the headers so far, then the rest", 1, chain.Bytes},
      {"mid-link: the link's headers, then from the attach on", mid, headers + PagesFrom(chain, mid)},
      // (Joined just before a link: the tap cannot know the next page begins one.)
      {"at the end of the first link: its headers, then the second", second,
       headers + PagesFrom(chain, second)},
      {"in the second link's headers: from its start", second + 1, PagesFrom(chain, second)},
      {"mid second link: its own headers, then the rest", secondData + 3,
       PagesFrom(chain, second, secondData) + PagesFrom(chain, secondData + 3)},
  };
  for (const tCase& c : cases)
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{512}, size_t{100000}})
      EXPECT_TRUE(SameBytes(RecordThroughTap(chain, c.AttachPage, chunk), c.Expected))
          << c.Note << ", chunk " << chunk;
}

TEST(RecordingTap, ARecordingStartedMidStreamPlaysOnItsOwnAndKeepsTheChain) {
  const tChain chain = MakeChain();
  ASSERT_EQ(chain.LinkStarts.size(), 2u);
  const size_t mid = chain.LinkStarts[1] / 2;
  tTempDir dir;
  ASSERT_TRUE(WriteFile(dir.File("source.ogg"), chain.Bytes));
  ASSERT_TRUE(WriteFile(dir.File("recorded.ogg"), RecordThroughTap(chain, mid, 512)));
  const tDecodedMedia source = DecodeWithProgram(dir.File("source.ogg"));
  const tDecodedMedia recorded = DecodeWithProgram(dir.File("recorded.ogg"));
  EXPECT_EQ(JsonNumber(recorded.Json, "links"), 2) << recorded.Json;
  ASSERT_GT(recorded.Frames.size(), 10u) << recorded.Json;
  ASSERT_LT(recorded.Frames.size(), source.Frames.size()) << "it began mid-stream";
  // After the first keyframe the recording's pictures are the source's, in one run to the end.
  size_t first = 0;
  long at = -1;
  while (first < 9 && (at = FindRun(source.Frames, recorded.Frames, first, 1)) < 0) ++first;
  ASSERT_GE(at, 0) << "a keyframe within the first 9 pictures";
  const size_t run = recorded.Frames.size() - first;
  EXPECT_EQ(FindRun(source.Frames, recorded.Frames, first, run), at) << "pictures the same to the end";
  EXPECT_EQ(static_cast<size_t>(at) + run, source.Frames.size());
  // The sound after the first blocks is the source's too.
  ASSERT_GT(recorded.Samples.size(), 20000u);
  EXPECT_GE(FindRun(source.Samples, recorded.Samples, 8192, 4096), 0);
}

TEST(RecordingTap, AReconnectDropsTheCutPageAndGoesOnInTheSameFile) {
  const tChain chain = MakeChain();
  auto disk = std::make_shared<tFakeDisk>();
  auto recorder = std::make_shared<tStreamRecorder>(std::make_unique<tFakeFile>(disk), nullptr, kEnded, 1);
  tRecordingTap tap;
  tap.Attach(recorder);
  const std::string before = PagesFrom(chain, 0, 8);
  tap.Feed(before.data(), before.size());
  tap.Feed(chain.Pages[8].data(), chain.Pages[8].size() / 2);  // the connection drops mid-page
  tap.Restart();
  tap.Feed(chain.Bytes.data(), chain.Bytes.size());  // a new connection: the stream from its headers
  tap.Attach(nullptr);
  recorder->Finish();
  EXPECT_TRUE(SameBytes(disk->Bytes, before + chain.Bytes));
}

TEST(RecordingTap, ALinkWithOversizedHeadersIsRecordedFromTheNextLink) {
  // A stream whose header pages exceed the bound: the tap keeps none of them, so a recording joined
  // mid-link waits for the next link.
  tChain chain = MakeChain();
  auto disk = std::make_shared<tFakeDisk>();
  auto recorder = std::make_shared<tStreamRecorder>(std::make_unique<tFakeFile>(disk), nullptr, kEnded, 1);
  tRecordingTap tap;
  // The first page again and again: the headers grow past the bound (a begin page right after a begin page
  // is one link's group).
  for (size_t kept = 0; kept <= tRecordingTap::kMaxHeaderBytes; kept += chain.Pages[0].size())
    tap.Feed(chain.Pages[0].data(), chain.Pages[0].size());
  const std::string second = PagesFrom(chain, chain.LinkStarts[1]);
  tap.Attach(recorder);
  const std::string data = PagesFrom(chain, chain.LinkStarts[1] - 3, chain.LinkStarts[1]);
  tap.Feed(data.data(), data.size());
  tap.Feed(second.data(), second.size());
  tap.Attach(nullptr);
  recorder->Finish();
  EXPECT_TRUE(SameBytes(disk->Bytes, second));
}

}  // namespace
}  // namespace ktv
