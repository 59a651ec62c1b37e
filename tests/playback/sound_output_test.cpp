// What both sound outputs share (tAudioOutput): the "no sound output" path, a device per format, the end by
// Shutdown, and questions that arrive while a device closes. One typed test runs over both.
#include <gtest/gtest.h>

#include <thread>

#include "platform/main_thread.h"
#include "playback/ring_audio_output.h"
#include "playback/wave_out_audio_output.h"
#include "sound_test_helpers.h"

namespace ktv {
namespace {

using test::Pcm;

template <class tOutput>
class SoundOutput : public ::testing::Test {
 public:
  // Seconds of sound the visualisation is asked to keep queued for this kind of output.
  static int32_t VisualisationSeconds() { return std::is_same_v<tOutput, tRingAudioOutput> ? 2 : 3; }
};

using tOutputs = ::testing::Types<tRingAudioOutput, tWaveOutAudioOutput>;
TYPED_TEST_SUITE(SoundOutput, tOutputs);

TYPED_TEST(SoundOutput, NoSoundOutputPath) {
  struct {
    tAudioFormat Format;
    bool Refuse;
    int Devices;
    const char* Fault;
  } rows[] = {
      {{44100, 2}, true, 1, "a device that cannot open"},
      {{0, 2}, false, 0, "a zero rate must not size a buffer"},
      {{-5, 2}, false, 0, "a negative rate"},
      {{44100, 0}, false, 0, "zero channels"},
      {{44100, 9}, false, 0, "more channels than a device takes"},
      {{2000000000, 2}, false, 0, "a rate whose buffer size would overflow"},
  };
  for (const auto& row : rows) {
    test::tSoundHarness h;
    h.Format = row.Format;
    h.RefuseOpen = row.Refuse;
    TypeParam output(h.Links());
    std::vector<int16_t> block = Pcm(100, 2, 1);
    EXPECT_TRUE(output.WriteAudio(block.data(), 100)) << "the block is dropped as consumed: " << row.Fault;
    EXPECT_EQ(h.NoSoundCalls, 1) << row.Fault;
    EXPECT_EQ(h.DevicesMade, row.Devices) << row.Fault;
    EXPECT_FALSE(output.IsOpen()) << row.Fault;
    EXPECT_EQ(output.GetAudioTime(), 0.0) << row.Fault;
    EXPECT_TRUE(output.IsPlaybackDone()) << row.Fault;
  }
}

TYPED_TEST(SoundOutput, WithoutADeviceNothingIsPlayedAndAllIsDone) {
  test::tSoundHarness h;
  TypeParam output(h.Links());
  EXPECT_TRUE(output.WriteAudio(nullptr, -1));
  EXPECT_TRUE(output.WriteAudio(nullptr, 0));
  EXPECT_EQ(h.DevicesMade, 0) << "a stop or close request opens nothing";
  EXPECT_TRUE(output.IsPlaybackDone());
  EXPECT_EQ(h.Visualiser.Resets, 1) << "done without a device restarts the visualisation's position";
  EXPECT_EQ(output.GetAudioTime(), 0.0);
  EXPECT_EQ(output.GetPlayedFrames(), 0);
}

TYPED_TEST(SoundOutput, CloseAndFormatChangeOpenANewDevice) {
  test::tSoundHarness h;
  TypeParam output(h.Links());
  std::vector<int16_t> stereo = Pcm(4410, 2, 1);
  ASSERT_TRUE(output.WriteAudio(stereo.data(), 4410));
  ASSERT_TRUE(output.WriteAudio(nullptr, 0));
  EXPECT_FALSE(output.IsOpen()) << "(null, 0) closes";
  ASSERT_TRUE(output.WriteAudio(stereo.data(), 4410));
  EXPECT_TRUE(output.IsOpen());
  h.Format = {48000, 1};
  std::vector<int16_t> mono = Pcm(4800, 1, 1);
  ASSERT_TRUE(output.WriteAudio(mono.data(), 4800));
  EXPECT_EQ(h.DevicesMade, 3);
  EXPECT_EQ(h.Device->SampleRate(), 48000);
  EXPECT_EQ(h.Device->Channels(), 1);
  EXPECT_EQ(output.Format().AvgBytesPerSec, 96000);
  EXPECT_EQ(output.GetPlayedFrames(), 0) << "a new device counts from 0";
  ASSERT_EQ(h.Visualiser.Formats.size(), 3u);
  EXPECT_EQ(h.Visualiser.Formats[2], (std::vector<int32_t>{48000, 1, TestFixture::VisualisationSeconds()}));
}

TYPED_TEST(SoundOutput, ShutdownEndsTheOutputForGood) {
  test::tSoundHarness h;
  TypeParam output(h.Links());
  std::vector<int16_t> block = Pcm(4410, 2, 1);
  ASSERT_TRUE(output.WriteAudio(block.data(), 4410));
  output.Shutdown();
  EXPECT_FALSE(output.IsOpen()) << "the device is released (h.Device is gone with it)";
  EXPECT_TRUE(output.WriteAudio(block.data(), 4410)) << "taken as there is no output";
  EXPECT_EQ(h.DevicesMade, 1) << "no device is opened after Shutdown";
}

// A device's close can serve the main-thread call queue (the ring waits for its watcher thread that way):
// the decoding thread's and the visualisation's questions then arrive in the middle of it. They must be
// answered without the device being closed (a ring whose watcher was already gone used to be asked).
TYPED_TEST(SoundOutput, QuestionsArrivingWhileADeviceClosesAreAnsweredWithoutIt) {
  SetMainThread();
  test::tSoundHarness h;
  h.CloseServesCalls = true;
  TypeParam output(h.Links());
  std::vector<int16_t> block = Pcm(44100, 2, 1);
  ASSERT_TRUE(output.WriteAudio(block.data(), 44100));
  ASSERT_TRUE(h.Device->Advance(4000));
  const double time = output.GetAudioTime();
  const int64_t frames = output.GetPlayedFrames();
  ASSERT_EQ(frames, 1000);

  double askedTime = -1;
  int64_t askedFrames = -1;
  bool written = true, done = true;
  std::thread decodingThread([&] {
    Synchronize([&] {
      askedTime = output.GetAudioTime();
      askedFrames = output.GetPlayedFrames();
      written = output.WriteAudio(block.data(), 100);
      done = output.IsPlaybackDone();
    });
  });
  ASSERT_TRUE(WaitForMainThreadCalls(60000)) << "the questions wait in the main-thread queue";
  ASSERT_TRUE(output.WriteAudio(nullptr, 0));  // the close runs them
  DrainMainThreadCalls();                      // (should it not have, the thread still ends)
  decodingThread.join();
  EXPECT_EQ(askedTime, time) << "the clock's last answer";
  EXPECT_EQ(askedFrames, frames);
  EXPECT_FALSE(written) << "a block is offered again later";
  EXPECT_FALSE(done) << "playback is asked about again later";
  EXPECT_FALSE(output.IsOpen());
  EXPECT_EQ(h.DevicesMade, 1) << "the nested block opened no device of its own";
}

}  // namespace
}  // namespace ktv
