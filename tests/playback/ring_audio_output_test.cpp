#include <gtest/gtest.h>

#include <string>

#include "playback/ring_audio_output.h"
#include "sound_test_helpers.h"

namespace ktv {
namespace {

using test::Bytes;
using test::Pcm;

// 44.1 kHz stereo: 4 bytes a frame, a 352800-byte ring.
constexpr int32_t kFrameBytes = 4;
constexpr uint32_t kRing = 352800;

struct tRingTest : ::testing::Test {
  test::tSoundHarness H;
  tRingAudioOutput Output{H.Links()};
  std::string Written;  // every byte the output took, in order
  int32_t NextSample = 1;

  bool Offer(int32_t frames) {
    std::vector<int16_t> block = Pcm(frames, H.Format.Channels, NextSample);
    bool taken = Output.WriteAudio(block.data(), frames);
    if (taken) {
      Written += Bytes(block);
      NextSample += frames * H.Format.Channels;
    }
    return taken;
  }
  bool Playing() {
    uint32_t status = 0;
    return Output.Ring() && Output.Ring()->GetStatus(status) && (status & DSBSTATUS_PLAYING);
  }
  uint32_t Cursor() {
    uint32_t cursor = 0;
    EXPECT_TRUE(Output.Ring()->GetCurrentPosition(cursor));
    return cursor;
  }
  int64_t HeardBytes() { return Output.GetPlayedFrames() * kFrameBytes; }
};

TEST_F(tRingTest, StartsWithOneSecondQueuedAndRefusesWhenFull) {
  for (int i = 0; i < 9; ++i) ASSERT_TRUE(Offer(4410));
  ASSERT_NE(Output.Ring(), nullptr);
  EXPECT_EQ(Output.Ring()->Size(), kRing) << "two seconds of 44.1 kHz stereo";
  EXPECT_FALSE(Playing()) << "158760 bytes queued is less than a second";
  ASSERT_TRUE(Offer(4410));
  EXPECT_TRUE(Playing()) << "176400 bytes queued starts the sound";

  ASSERT_TRUE(Offer(43100));  // 348800 bytes written: exactly 4000 free
  ASSERT_TRUE(Offer(1000)) << "4000 free bytes take a block of 1000 frames";
  ASSERT_TRUE(H.Device->Advance(3996));
  int blocksBefore = H.Visualiser.Blocks;
  EXPECT_FALSE(Offer(1000)) << "3996 free bytes refuse a block of 1000 frames";
  EXPECT_EQ(H.Visualiser.Blocks, blocksBefore) << "a refused block is not passed to the visualisation";
  ASSERT_TRUE(H.Device->Advance(4));
  EXPECT_TRUE(Offer(1000)) << "4000 free bytes again";
  ASSERT_TRUE(H.Device->Advance(kRing - 4000));
  EXPECT_TRUE(H.Device->Played() == Written.substr(0, H.Device->Played().size()))
      << "the device plays exactly the bytes written, across the ring's end";
  EXPECT_EQ(H.Visualiser.FramesAdded, static_cast<int64_t>(Written.size() / kFrameBytes));
  ASSERT_EQ(H.Visualiser.Formats.size(), 1u);
  EXPECT_EQ(H.Visualiser.Formats[0], (std::vector<int32_t>{44100, 2, 2}));
}

TEST_F(tRingTest, CountsLapsRoundTheRing) {
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(Offer(4410));  // full ring
  EXPECT_FALSE(Offer(4410)) << "a full ring refuses";
  ASSERT_TRUE(H.Device->Advance(352000));
  EXPECT_EQ(HeardBytes(), 352000);
  ASSERT_TRUE(Offer(44000));
  ASSERT_TRUE(Offer(44000));
  ASSERT_TRUE(H.Device->Advance(900));
  EXPECT_EQ(Cursor(), 100u);
  EXPECT_EQ(HeardBytes(), 352800 + 100) << "the wrap from 352000 to 100 adds one ring of 352800 bytes";
  EXPECT_DOUBLE_EQ(Output.GetAudioTime(), 352900.0 / 176400.0);
  EXPECT_TRUE(H.Device->Played() == Written.substr(0, 352900));
}

TEST_F(tRingTest, StopsAtTheEndOfTheWrittenSound) {
  // Each row ends the written sound somewhere and lets the device run past it.
  struct {
    int32_t FramesAfterStart;  // written beyond the first second (10 × 4410 frames)
    uint32_t FirstAdvance, Overrun;
    const char* Fault;
  } rows[] = {
      {0, 100000, 76400 + 8000, "an underrun inside the ring parks the cursor at the next data"},
      {44050, 352000, 1000, "an overrun across the ring's end must not count a ring more than was written"},
      {44100, 352000, 1000, "the written end exactly at the ring's end"},
  };
  for (const auto& row : rows) {
    test::tSoundHarness h;
    tRingAudioOutput output(h.Links());
    std::vector<int16_t> block = Pcm(4410, 2, 7);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(output.WriteAudio(block.data(), 4410));
    int64_t written = 176400;
    if (row.FramesAfterStart > 0) {
      std::vector<int16_t> more = Pcm(row.FramesAfterStart, 2, 9);
      ASSERT_TRUE(output.WriteAudio(more.data(), row.FramesAfterStart)) << row.Fault;
      written += row.FramesAfterStart * kFrameBytes;
    }
    ASSERT_TRUE(h.Device->Advance(row.FirstAdvance));
    EXPECT_EQ(output.GetPlayedFrames(), row.FirstAdvance / kFrameBytes) << row.Fault;
    ASSERT_TRUE(h.Device->Advance(row.Overrun));
    EXPECT_EQ(output.GetPlayedFrames() * kFrameBytes, written) << row.Fault;
    uint32_t status = 1, cursor = 0;
    ASSERT_TRUE(output.Ring()->GetStatus(status));
    EXPECT_EQ(status & DSBSTATUS_PLAYING, 0u) << row.Fault;
    ASSERT_TRUE(output.Ring()->GetCurrentPosition(cursor));
    EXPECT_EQ(cursor, written % kRing) << row.Fault;
    EXPECT_TRUE(output.IsPlaybackDone()) << row.Fault;
    EXPECT_EQ(output.GetPlayedFrames(), 0)
        << "after done the count starts again for the next link: " << row.Fault;
  }
}

TEST_F(tRingTest, StopRequestKeepsThePositionAndTheSoundContinues) {
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(Offer(4410));
  ASSERT_TRUE(H.Device->Advance(40000));
  EXPECT_TRUE(Output.WriteAudio(nullptr, -1));
  EXPECT_FALSE(Playing());
  EXPECT_EQ(Cursor(), 40000u) << "stop keeps the position";
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Offer(4410));
  EXPECT_TRUE(Playing()) << "a second queued starts the sound again";
  ASSERT_TRUE(H.Device->Advance(100000));
  std::string played = H.Device->Played();
  // Between the stop and the restart the device played silence; without it the bytes continue unbroken.
  std::string sound;
  for (size_t i = 0; i < played.size(); i += 4) {
    if (played.compare(i, 4, std::string(4, '\0')) != 0) sound += played.substr(i, 4);
  }
  EXPECT_TRUE(sound == Written.substr(0, 140000)) << "no byte lost or repeated around the stop";
  EXPECT_EQ(HeardBytes(), 140000);
}

TEST_F(tRingTest, PlaybackIsDoneWithLessThanATenthOfASecondAhead) {
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Offer(4410));  // 176400 bytes, playing
  ASSERT_TRUE(H.Device->Advance(176400 - 17640));
  EXPECT_FALSE(Output.IsPlaybackDone()) << "exactly a tenth of a second ahead is not yet the end";
  EXPECT_EQ(H.Visualiser.Resets, 0);
  ASSERT_TRUE(H.Device->Advance(4));
  EXPECT_TRUE(Output.IsPlaybackDone()) << "less than a tenth ahead is the end";
  EXPECT_EQ(H.Visualiser.Resets, 1);
  EXPECT_EQ(HeardBytes(), -17636) << "the count restarted at the written end";
}

TEST_F(tRingTest, SoundShorterThanTheStartThresholdIsPlayedOutAtTheEnd) {
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(Offer(4410));  // half a second: too little to start the ring
  EXPECT_FALSE(Playing());
  EXPECT_FALSE(Output.IsPlaybackDone()) << "half a second queued and never heard is not done";
  EXPECT_TRUE(Playing()) << "the end of the stream plays out what is queued";
  ASSERT_TRUE(H.Device->Advance(88200 + 4000));
  EXPECT_TRUE(Output.IsPlaybackDone());
  EXPECT_TRUE(H.Device->Played().substr(0, 88200) == Written);
  EXPECT_EQ(H.Visualiser.Resets, 1);

  for (int i = 0; i < 5; ++i) ASSERT_TRUE(Offer(4410));
  ASSERT_TRUE(Output.WriteAudio(nullptr, -1));
  EXPECT_FALSE(Output.IsPlaybackDone()) << "sound held by a stop request is played out too";
  ASSERT_TRUE(H.Device->Advance(88200 + 4000));
  EXPECT_TRUE(Output.IsPlaybackDone());
}

TEST_F(tRingTest, VolumeMapsToAttenuation) {
  struct {
    uint16_t Volume;
    int32_t Attenuation;
    const char* Fault;
  } rows[] = {
      {65535, 0, "full volume is no attenuation"},
      {32768, -999, "half is 10 dB down, truncated toward zero"},
      {16384, -1999, "a quarter is 20 dB down"},
      {1, -10000, "the smallest volume is limited to the bottom"},
      {0, -10000, "zero is silence, not log of 0"},
  };
  ASSERT_TRUE(Offer(100));
  for (const auto& row : rows) {
    EXPECT_EQ(tRingAudioOutput::VolumeToAttenuation(row.Volume), row.Attenuation) << row.Fault;
    Output.SetVolume(row.Volume);
    EXPECT_EQ(Output.Ring()->GetVolume(), row.Attenuation) << row.Fault;
  }
  Output.SetVolume(16384);
  ASSERT_TRUE(Output.WriteAudio(nullptr, 0));
  EXPECT_EQ(Output.Ring(), nullptr) << "(null, 0) closes the ring";
  ASSERT_TRUE(Offer(100));
  EXPECT_EQ(Output.Ring()->GetVolume(), -1999) << "a newly opened ring takes the volume set before";
  EXPECT_EQ(H.DevicesMade, 2);
}

TEST_F(tRingTest, ABlockLongerThanTheRingIsCutNotRefusedForever) {
  EXPECT_TRUE(Offer(100000)) << "a block of 400000 bytes can never fit the ring; the thread would hang";
  EXPECT_EQ(Output.GetPlayedFrames(), 0);
  ASSERT_TRUE(H.Device->Advance(176400));
  EXPECT_EQ(HeardBytes(), 176400) << "one second of it was queued and started at once";
  EXPECT_TRUE(H.Device->Played() == Written.substr(0, 176400));
}

}  // namespace
}  // namespace ktv
