#include "platform/byte_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

namespace ktv {
namespace {

std::vector<uint8_t> Bytes(int n, int start = 0) {
  std::vector<uint8_t> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<uint8_t>(start + i);
  return v;
}

TEST(ByteQueue, CapacityIsAtLeast1024) {
  EXPECT_EQ(tByteQueue(100).GetCapacity(), 1024);
  EXPECT_EQ(tByteQueue(-5).GetCapacity(), 1024);
  EXPECT_EQ(tByteQueue(5000).GetCapacity(), 5000);
}

TEST(ByteQueue, WritesAreAllOrNothing) {
  tByteQueue q(1024);
  ASSERT_TRUE(q.Write(Bytes(24).data(), 24));
  EXPECT_FALSE(q.Write(Bytes(1001).data(), 1001)) << "one byte too many must store nothing";
  EXPECT_EQ(q.GetCount(), 24);
  EXPECT_TRUE(q.Write(Bytes(1000).data(), 1000)) << "exactly the free room fills the queue";
  EXPECT_EQ(q.GetCount(), 1024);
  EXPECT_FALSE(q.Write(Bytes(1).data(), 1));
  EXPECT_TRUE(q.Write(nullptr, 0)) << "an empty write succeeds on a full queue";
  EXPECT_FALSE(q.Write(Bytes(1).data(), -1));
}

TEST(ByteQueue, ReadsRoundDownToTheGranularity) {
  struct {
    int held, max, granularity, expect;
    const char* note;
  } rows[] = {
      {7, 10, 4, 4, "7 held, granularity 4: one whole unit"},
      {0, 10, 1, 0, "empty queue returns at once"},
      {10, 3, 1, 3, "limited by max"},
      {10, 10, 0, 10, "granularity below 1 counts as 1"},
      {3, 10, 4, 0, "less than one unit reads nothing"},
  };
  for (const auto& r : rows) {
    tByteQueue q(1024);
    ASSERT_TRUE(q.Write(Bytes(r.held).data(), r.held));
    std::vector<uint8_t> out(16, 0xEE);
    EXPECT_EQ(q.Read(out.data(), r.max, r.granularity), r.expect) << r.note;
    EXPECT_EQ(q.GetCount(), r.held - r.expect) << r.note;
    for (int i = 0; i < r.expect; ++i) EXPECT_EQ(out[static_cast<size_t>(i)], i) << r.note;
  }
}

TEST(ByteQueue, WrapAroundKeepsOrder) {
  tByteQueue q(1024);
  std::vector<uint8_t> sink(1024);
  ASSERT_TRUE(q.Write(Bytes(1000).data(), 1000));
  ASSERT_EQ(q.Read(sink.data(), 1000, 1), 1000);
  auto data = Bytes(300, 7);  // lands as 24 bytes at the end and 276 at the start
  ASSERT_TRUE(q.Write(data.data(), 300));
  std::vector<uint8_t> out(300);
  ASSERT_EQ(q.Read(out.data(), 300, 1), 300);
  EXPECT_EQ(out, data);
  q.Clear();
  EXPECT_EQ(q.GetCount(), 0);
}

TEST(ByteQueue, ProducerAndConsumerMoveEveryByteOnceInOrder) {
  constexpr int kTotal = 6 * 1024 * 1024;
  tByteQueue q(4096);
  std::thread producer([&] {
    std::vector<uint8_t> block;
    int sent = 0, step = 1;
    while (sent < kTotal) {
      int n = std::min(kTotal - sent, 1 + (step++ * 37) % 1500);  // varying sizes cross the end often
      block.resize(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) block[static_cast<size_t>(i)] = static_cast<uint8_t>((sent + i) * 131 >> 3);
      while (!q.Write(block.data(), n)) std::this_thread::yield();
      sent += n;
    }
  });
  std::vector<uint8_t> buf(3000);
  int got = 0, mismatches = 0, step = 1;
  while (got < kTotal) {
    int n = q.Read(buf.data(), 1 + (step++ * 53) % 3000, 1);
    for (int i = 0; i < n; ++i)
      if (buf[static_cast<size_t>(i)] != static_cast<uint8_t>((got + i) * 131 >> 3)) ++mismatches;
    got += n;
    if (n == 0) std::this_thread::yield();
  }
  producer.join();
  EXPECT_EQ(got, kTotal);
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(q.GetCount(), 0);
}

}  // namespace
}  // namespace ktv

namespace ktv {
namespace {

TEST(ByteQueue, GrowKeepsWhatIsHeldInOrder) {
  tByteQueue q(1024);
  std::vector<uint8_t> sink(1024);
  ASSERT_TRUE(q.Write(Bytes(1000).data(), 1000));
  ASSERT_EQ(q.Read(sink.data(), 900, 1), 900);
  auto data = Bytes(300, 7);  // held across the ring's end: 100 old bytes, then 24 + 276
  ASSERT_TRUE(q.Write(data.data(), 300));
  EXPECT_FALSE(q.Grow(1024)) << "not larger";
  ASSERT_TRUE(q.Grow(4096));
  EXPECT_EQ(q.GetCapacity(), 4096);
  EXPECT_EQ(q.GetCount(), 400);
  ASSERT_TRUE(q.Write(Bytes(3696, 50).data(), 3696)) << "the new room is usable to the last byte";
  std::vector<uint8_t> out(4096);
  ASSERT_EQ(q.Read(out.data(), 4096, 1), 4096);
  std::vector<uint8_t> expect = Bytes(100, 900);
  expect.insert(expect.end(), data.begin(), data.end());
  auto tail = Bytes(3696, 50);
  expect.insert(expect.end(), tail.begin(), tail.end());
  EXPECT_EQ(out, expect);
}

// A waiting reader wakes as soon as the bytes it waits for arrive, not at the end of its bound.
TEST(ByteQueue, WaitsEndWhenBytesOrRoomArrive) {
  tByteQueue q(1024);
  std::thread producer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    q.Write(Bytes(600).data(), 600);
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(q.WaitForCount(600, 10000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  producer.join();
  EXPECT_FALSE(q.WaitForRoom(1000, 10)) << "only 424 bytes are free";
  std::vector<uint8_t> sink(600);
  std::thread consumer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    q.Read(sink.data(), 600, 1);
  });
  EXPECT_TRUE(q.WaitForRoom(1000, 10000));
  consumer.join();
  std::atomic<bool> woken{false};
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    woken = true;
    q.Wake();
  });
  EXPECT_TRUE(q.WaitUntil([&] { return woken.load(); }, 10000)) << "Wake ends a wait on any condition";
  waker.join();
}

}  // namespace
}  // namespace ktv
