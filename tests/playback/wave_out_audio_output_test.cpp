#include <gtest/gtest.h>

#include <string>

#include "playback/wave_out_audio_output.h"
#include "sound_test_helpers.h"

namespace ktv {
namespace {

using test::Bytes;
using test::Pcm;

constexpr int32_t kFrameBytes = 4;  // 44.1 kHz stereo

struct tBlocksTest : ::testing::Test {
  test::tSoundHarness H;
  tWaveOutAudioOutput Output{H.Links()};
  std::string Written;
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
};

TEST_F(tBlocksTest, SoundStartsWithTheFirstBlockAndTheClockIsTheDevicePosition) {
  ASSERT_TRUE(Offer(441));
  ASSERT_NE(Output.Device(), nullptr);
  ASSERT_TRUE(H.Device->Advance(400));
  EXPECT_TRUE(H.Device->Played() == Written.substr(0, 400)) << "no pre-fill: the first block plays at once";
  EXPECT_EQ(Output.GetPlayedFrames(), 100);
  EXPECT_DOUBLE_EQ(Output.GetAudioTime(), 100.0 / 44100);
  ASSERT_EQ(H.Visualiser.Formats.size(), 1u);
  EXPECT_EQ(H.Visualiser.Formats[0], (std::vector<int32_t>{44100, 2, 3}))
      << "three seconds for the visualisation";
}

TEST_F(tBlocksTest, BlockMemoryIsReusedWhenLargeEnough) {
  ASSERT_TRUE(Offer(4410));
  EXPECT_EQ(Output.BlockCapacity(0), 17640u) << "4410 stereo frames need 17640 bytes";
  ASSERT_TRUE(H.Device->Advance(17640));
  ASSERT_TRUE(Offer(2000));
  EXPECT_EQ(Output.BlockCapacity(0), 17640u) << "the done block is reused, its memory kept";
  EXPECT_EQ(Output.BlockCapacity(1), 0u);
  ASSERT_TRUE(Offer(5000));
  EXPECT_EQ(Output.BlockCapacity(1), 20000u) << "block 0 is queued, so the next free one takes it";
  ASSERT_TRUE(H.Device->Advance(8000 + 20000));
  EXPECT_TRUE(H.Device->Played() == Written) << "reused memory plays the new block, not the old one";
}

TEST_F(tBlocksTest, FortyBlocksThenRefusal) {
  for (int i = 0; i < tWaveOutAudioOutput::kBlockCount; ++i) ASSERT_TRUE(Offer(100)) << "block " << i;
  int blocks = H.Visualiser.Blocks;
  EXPECT_FALSE(Offer(100)) << "the 41st block waits for a free one";
  EXPECT_EQ(H.Visualiser.Blocks, blocks);
  ASSERT_TRUE(H.Device->Advance(400));
  EXPECT_TRUE(Offer(100)) << "a played block frees its place";
  ASSERT_TRUE(H.Device->Advance(40 * 400));
  EXPECT_TRUE(H.Device->Played() == Written) << "blocks play in the order written, the reused one last";
}

TEST_F(tBlocksTest, DoneWithAtMostTwoBlocksQueued) {
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Offer(1000));
  EXPECT_FALSE(Output.IsPlaybackDone()) << "37 free blocks";
  EXPECT_EQ(H.Visualiser.Resets, 0);
  ASSERT_TRUE(H.Device->Advance(4000));
  EXPECT_TRUE(Output.IsPlaybackDone()) << "38 free blocks";
  EXPECT_EQ(H.Visualiser.Resets, 1);
  ASSERT_TRUE(H.Device->Advance(8000));
  EXPECT_EQ(Output.GetPlayedFrames(), 0) << "the count restarts at what was written";
  ASSERT_TRUE(Offer(1000));
  ASSERT_TRUE(H.Device->Advance(2000));
  EXPECT_EQ(Output.GetPlayedFrames(), 500) << "the next link counts from 0";
}

TEST_F(tBlocksTest, StopPausesAndTheNextBlockRestartsWithoutLoss) {
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Offer(1000));
  ASSERT_TRUE(H.Device->Advance(2000));
  EXPECT_TRUE(Output.WriteAudio(nullptr, -1));
  EXPECT_TRUE(Output.IsPaused());
  ASSERT_TRUE(H.Device->Advance(4000));
  EXPECT_EQ(Output.GetPlayedFrames(), 500) << "the clock stands while paused";
  EXPECT_TRUE(Output.WriteAudio(nullptr, -1)) << "a second stop is harmless";
  ASSERT_TRUE(Offer(1000));
  EXPECT_FALSE(Output.IsPaused());
  ASSERT_TRUE(H.Device->Advance(14000));
  std::string played = H.Device->Played();
  EXPECT_TRUE(played.substr(0, 2000) + played.substr(6000) == Written) << "queued blocks survive the pause";
  EXPECT_EQ(Output.GetPlayedFrames(), 4000);
}

TEST_F(tBlocksTest, PausedQueueIsPlayedOutAtTheEnd) {
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Offer(1000));
  ASSERT_TRUE(Output.WriteAudio(nullptr, -1));
  EXPECT_FALSE(Output.IsPlaybackDone()) << "three blocks queued";
  EXPECT_FALSE(Output.IsPaused()) << "a paused queue would never drain: the end plays it out";
  ASSERT_TRUE(H.Device->Advance(4000));
  EXPECT_TRUE(Output.IsPlaybackDone());
}

TEST_F(tBlocksTest, VolumeIsLinearOnBothChannels) {
  Output.SetVolume(32768);
  ASSERT_TRUE(Offer(10));
  EXPECT_EQ(Output.Device()->GetVolume(), 0x80008000u)
      << "volume set before opening applies to the new output";
  Output.SetVolume(65535);
  EXPECT_EQ(Output.Device()->GetVolume(), 0xFFFFFFFFu);
}

TEST_F(tBlocksTest, CloseFreesTheBlocksAndAReopenedOutputCountsFromZero) {
  ASSERT_TRUE(Offer(4410));
  ASSERT_TRUE(H.Device->Advance(4000));
  ASSERT_TRUE(Output.WriteAudio(nullptr, 0));
  EXPECT_EQ(Output.BlockCapacity(0), 0u) << "closing frees the block memory";
  ASSERT_TRUE(Offer(100));
  ASSERT_TRUE(H.Device->Advance(400));
  EXPECT_EQ(Output.GetPlayedFrames(), 100) << "a reopened output counts from 0";
}

}  // namespace
}  // namespace ktv
