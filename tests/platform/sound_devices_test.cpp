#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/manual_sound_device.h"
#include "platform/sound_ring.h"
#include "platform/wave_out.h"

namespace ktv {
namespace {

// Interleaved stereo samples 1, 2, 3, ... as bytes: every byte position is recognisable in the output.
std::string Ramp(uint32_t frames, int16_t first = 1) {
  std::vector<int16_t> samples(frames * 2);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(first + i);
  return std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 2);
}

int16_t SampleAt(const std::string& bytes, size_t index) {
  int16_t s;
  std::memcpy(&s, bytes.data() + index * 2, 2);
  return s;
}

struct tRingFixture {
  tManualSoundDevice* Device = nullptr;
  std::unique_ptr<tSoundRing> Ring;
  explicit tRingFixture(uint32_t bytes) {
    auto device = std::make_unique<tManualSoundDevice>();
    Device = device.get();
    Ring = std::make_unique<tSoundRing>(std::move(device));
    EXPECT_TRUE(Ring->Create(44100, 2, bytes));
  }
  void Write(uint32_t offset, const std::string& bytes) {
    uint8_t *r1, *r2;
    uint32_t n1, n2;
    ASSERT_TRUE(Ring->Lock(offset, static_cast<uint32_t>(bytes.size()), r1, n1, r2, n2));
    std::memcpy(r1, bytes.data(), n1);
    if (r2) std::memcpy(r2, bytes.data() + n1, n2);
    ASSERT_TRUE(Ring->Unlock());
  }
};

TEST(SoundRing, LockGivesOneOrTwoRegions) {
  tRingFixture f(4000);
  struct {
    uint32_t Offset, Bytes;
    bool Ok;
    uint32_t First, Second;
    const char* Fault;
  } rows[] = {
      {0, 4000, true, 4000, 0, "the whole ring is one region"},
      {3000, 1000, true, 1000, 0, "a range ending exactly at the end must not give an empty second region"},
      {3000, 2000, true, 1000, 1000, "a wrapping range continues at the ring's start"},
      {4000, 4, false, 0, 0, "an offset past the end is refused"},
      {0, 4004, false, 0, 0, "more than the ring is refused"},
      {0, 0, false, 0, 0, "an empty lock is refused"},
  };
  for (const auto& row : rows) {
    uint8_t *r1 = nullptr, *r2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    bool ok = f.Ring->Lock(row.Offset, row.Bytes, r1, n1, r2, n2);
    ASSERT_EQ(ok, row.Ok) << row.Fault;
    if (!ok) continue;
    EXPECT_EQ(n1, row.First) << row.Fault;
    EXPECT_EQ(n2, row.Second) << row.Fault;
    EXPECT_EQ(r2 == nullptr, row.Second == 0) << row.Fault;
    uint8_t *x1, *x2;
    uint32_t m1, m2;
    EXPECT_FALSE(f.Ring->Lock(0, 4, x1, m1, x2, m2)) << "a second lock before Unlock must be refused";
    EXPECT_TRUE(f.Ring->Unlock());
  }
  EXPECT_FALSE(f.Ring->Unlock()) << "Unlock without Lock";
}

TEST(SoundRing, PlaysLoopingFromTheCursorAndSilenceWhenStopped) {
  tRingFixture f(4000);
  std::string data = Ramp(1000);
  f.Write(0, data);
  ASSERT_TRUE(f.Device->Advance(400));
  uint32_t cursor = 99, status = 99;
  ASSERT_TRUE(f.Ring->GetCurrentPosition(cursor));
  EXPECT_EQ(cursor, 0u) << "a stopped ring must not move";
  EXPECT_TRUE(f.Device->Played() == std::string(400, '\0')) << "a stopped ring plays silence";
  ASSERT_TRUE(f.Ring->GetStatus(status));
  EXPECT_EQ(status, 0u);

  ASSERT_TRUE(f.Ring->SetCurrentPosition(3600));
  ASSERT_TRUE(f.Ring->Play());
  ASSERT_TRUE(f.Ring->GetStatus(status));
  EXPECT_EQ(status, DSBSTATUS_PLAYING);
  ASSERT_TRUE(f.Device->Advance(800));
  ASSERT_TRUE(f.Ring->GetCurrentPosition(cursor));
  EXPECT_EQ(cursor, 400u) << "the cursor wraps round the ring";
  EXPECT_TRUE(f.Device->Played().substr(400) == data.substr(3600) + data.substr(0, 400))
      << "the ring loops from its end to its start";

  ASSERT_TRUE(f.Ring->Stop());
  ASSERT_TRUE(f.Device->Advance(40));
  ASSERT_TRUE(f.Ring->GetCurrentPosition(cursor));
  EXPECT_EQ(cursor, 400u) << "Stop keeps the position";
  EXPECT_FALSE(f.Ring->SetCurrentPosition(4000)) << "a position outside the ring is refused";
}

TEST(SoundRing, VolumeScalesTheSound) {
  struct {
    int32_t Volume;
    double Factor;
    const char* Fault;
  } rows[] = {
      {0, 1.0, "full volume passes the sound unchanged"},
      {-602, 0.5, "-6.02 dB halves the amplitude"},
      {-2000, 0.1, "-20 dB is a tenth"},
      {-10000, 0.0, "the bottom of the range is silence"},
  };
  for (const auto& row : rows) {
    tRingFixture f(4000);
    std::vector<int16_t> loud(2000, 20000);
    f.Write(0, std::string(reinterpret_cast<const char*>(loud.data()), 4000));
    ASSERT_TRUE(f.Ring->SetVolume(row.Volume));
    EXPECT_EQ(f.Ring->GetVolume(), row.Volume);
    ASSERT_TRUE(f.Ring->Play());
    ASSERT_TRUE(f.Device->Advance(40));
    EXPECT_NEAR(SampleAt(f.Device->Played(), 3), 20000 * row.Factor, 20) << row.Fault;
  }
  tRingFixture f(4000);
  EXPECT_FALSE(f.Ring->SetVolume(1)) << "attenuation above 0 is out of range";
  EXPECT_FALSE(f.Ring->SetVolume(-10001)) << "attenuation below -10000 is out of range";
}

struct tWaveFixture {
  tManualSoundDevice* Device = nullptr;
  std::unique_ptr<tWaveOut> Out;
  std::vector<std::string> Memory;
  std::vector<std::unique_ptr<tWaveHeader>> Headers;
  explicit tWaveFixture(int32_t channels = 2) {
    auto device = std::make_unique<tManualSoundDevice>();
    Device = device.get();
    Out = std::make_unique<tWaveOut>(std::move(device));
    EXPECT_TRUE(Out->Open(44100, channels));
  }
  tWaveHeader& Queue(const std::string& bytes) {
    Memory.push_back(bytes);
    Headers.push_back(std::make_unique<tWaveHeader>());
    tWaveHeader& h = *Headers.back();
    h.Data = reinterpret_cast<uint8_t*>(Memory.back().data());
    h.BufferLength = static_cast<uint32_t>(bytes.size());
    EXPECT_TRUE(Out->PrepareHeader(h));
    EXPECT_TRUE(Out->Write(h));
    return h;
  }
  uint64_t Position() {
    uint64_t samples = 0;
    EXPECT_TRUE(Out->GetPosition(samples));
    return samples;
  }
};

TEST(WaveOut, PlaysBlocksInOrderAndMarksThemDone) {
  tWaveFixture f;
  std::string a = Ramp(100, 1), b = Ramp(100, 1000);
  tWaveHeader& ha = f.Queue(a);
  tWaveHeader& hb = f.Queue(b);
  EXPECT_FALSE(f.Out->UnprepareHeader(ha)) << "a queued block must not be released";
  ASSERT_TRUE(f.Device->Advance(600));
  EXPECT_TRUE(ha.Flags & WHDR_DONE);
  EXPECT_FALSE(ha.Flags & WHDR_INQUEUE);
  EXPECT_FALSE(hb.Flags & WHDR_DONE) << "a block half played is not done";
  EXPECT_TRUE(f.Out->UnprepareHeader(ha));
  EXPECT_FALSE(f.Out->Write(ha)) << "an unprepared block cannot be written";
  ASSERT_TRUE(f.Device->Advance(400));
  EXPECT_TRUE(hb.Flags & WHDR_DONE);
  ASSERT_TRUE(f.Device->Advance(40));
  EXPECT_TRUE(f.Device->Played() == a + b + std::string(240, '\0'))
      << "blocks follow each other, then silence";
  EXPECT_EQ(f.Position(), 200u) << "starved silence does not move the position";
}

TEST(WaveOut, PauseHoldsQueueAndPositionResetEndsEverything) {
  tWaveFixture f;
  std::string a = Ramp(1000);
  tWaveHeader& h = f.Queue(a);
  ASSERT_TRUE(f.Device->Advance(1000));
  ASSERT_TRUE(f.Out->Pause());
  ASSERT_TRUE(f.Device->Advance(1000));
  EXPECT_EQ(f.Position(), 250u) << "a paused device does not move";
  EXPECT_TRUE(f.Device->Played().substr(1000) == std::string(1000, '\0'));
  ASSERT_TRUE(f.Out->Restart());
  ASSERT_TRUE(f.Device->Advance(1000));
  EXPECT_TRUE(f.Device->Played().substr(2000) == a.substr(1000, 1000))
      << "restart continues where the pause held";
  ASSERT_TRUE(f.Out->Reset());
  EXPECT_TRUE(h.Flags & WHDR_DONE) << "reset hands back queued blocks";
  EXPECT_EQ(f.Position(), 0u);
  EXPECT_TRUE(f.Out->UnprepareHeader(h));
}

TEST(WaveOut, VolumeIsLinearPerChannel) {
  tWaveFixture f;
  std::vector<int16_t> loud(8, 30000);
  f.Queue(std::string(reinterpret_cast<const char*>(loud.data()), 16));
  ASSERT_TRUE(f.Out->SetVolume(0x4000FFFF));  // left full, right a quarter
  ASSERT_TRUE(f.Device->Advance(6));          // a run ending mid-frame must not shift the channels
  ASSERT_TRUE(f.Device->Advance(10));
  std::string played = f.Device->Played();
  for (int frame = 0; frame < 4; ++frame) {
    EXPECT_EQ(SampleAt(played, frame * 2), 30000) << "left, frame " << frame;
    EXPECT_NEAR(SampleAt(played, frame * 2 + 1), 7500, 2) << "right, frame " << frame;
  }
}

}  // namespace
}  // namespace ktv

namespace ktv {
namespace {

// A real device pulls a whole buffer at once and plays it out over its duration: the position between
// pulls grows with the time, never past the pull, never backwards, so a clock read from it moves smoothly.
TEST(PullClock, PositionMovesBetweenPullsAndNeverBack) {
  constexpr uint32_t kHalfSecond = 44100 * 4 / 2;
  struct {
    const char* Name;
    std::function<void(tManualSoundDevice*&, std::function<uint64_t()>&, std::unique_ptr<tSoundSource>&)>
        Make;
  } rows[] = {
      {"ring",
       [](tManualSoundDevice*& device, std::function<uint64_t()>& position,
          std::unique_ptr<tSoundSource>& keep) {
         auto owned = std::make_unique<tManualSoundDevice>(false, true);
         device = owned.get();
         auto ring = std::make_unique<tSoundRing>(std::move(owned));
         ASSERT_TRUE(ring->Create(44100, 2, 4 * kHalfSecond));
         ASSERT_TRUE(ring->Play());
         tSoundRing* r = ring.get();
         position = [r] {
           uint32_t cursor = 0;
           r->GetCurrentPosition(cursor);
           return static_cast<uint64_t>(cursor);
         };
         keep = std::move(ring);
       }},
      {"blocks",
       [](tManualSoundDevice*& device, std::function<uint64_t()>& position,
          std::unique_ptr<tSoundSource>& keep) {
         auto owned = std::make_unique<tManualSoundDevice>(false, true);
         device = owned.get();
         auto out = std::make_unique<tWaveOut>(std::move(owned));
         ASSERT_TRUE(out->Open(44100, 2));
         static std::string sound = Ramp(44100 * 2);
         static tWaveHeader header;
         header.Data = reinterpret_cast<uint8_t*>(sound.data());
         header.BufferLength = static_cast<uint32_t>(sound.size());
         header.Flags = 0;
         ASSERT_TRUE(out->PrepareHeader(header));
         ASSERT_TRUE(out->Write(header));
         tWaveOut* o = out.get();
         position = [o] {
           uint64_t samples = 0;
           o->GetPosition(samples);
           return samples * 4;
         };
         keep = std::move(out);
       }},
  };
  for (const auto& row : rows) {
    tManualSoundDevice* device = nullptr;
    std::function<uint64_t()> position;
    std::unique_ptr<tSoundSource> keep;
    row.Make(device, position, keep);
    ASSERT_TRUE(device && position) << row.Name;
    ASSERT_TRUE(device->Advance(kHalfSecond));
    uint64_t last = 0;
    bool between = false;
    for (uint32_t start = timeGetTime(); timeGetTime() - start < 650;) {
      uint64_t now = position();
      EXPECT_GE(now, last) << row.Name << ": never backwards";
      EXPECT_LE(now, kHalfSecond) << row.Name << ": never past what was pulled";
      EXPECT_EQ(now % 4, 0u) << row.Name << ": whole frames";
      between = between || (now > 0 && now < kHalfSecond);
      last = now;
      Sleep(1);
    }
    EXPECT_TRUE(between) << row.Name << ": the position moved between pulls";
    EXPECT_EQ(last, kHalfSecond) << row.Name << ": a pull is heard whole after its duration";
    ASSERT_TRUE(device->Advance(kHalfSecond));
    EXPECT_GE(position(), kHalfSecond) << row.Name << ": the next pull starts where the last one ended";
    keep.reset();
  }
}

}  // namespace
}  // namespace ktv
