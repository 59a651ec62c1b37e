#include "vis/visulisation_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <numbers>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/main_thread.h"

namespace ktv {
namespace {

constexpr uint32_t kStart = 50000;

// A cosine block (the detector sums real parts): loud enough to beat after quiet ones.
std::vector<int16_t> Cosine(int32_t frames, int32_t channels, double level, double cyclesPerBlock = 96) {
  std::vector<int16_t> pcm(static_cast<size_t>(frames) * static_cast<size_t>(channels));
  for (int32_t f = 0; f < frames; ++f)
    for (int32_t c = 0; c < channels; ++c)
      pcm[static_cast<size_t>(f * channels + c)] = static_cast<int16_t>(
          std::lround(level * 32767 * std::cos(2 * std::numbers::pi * cyclesPerBlock * f / 768)));
  return pcm;
}

// Answers Random from a script and records what was asked (n of every call, in order).
struct tScriptedRandom {
  std::deque<int32_t> Answers;
  std::vector<int32_t> Asked;
  tRandomFunction Function() {
    return [this](int32_t n) {
      Asked.push_back(n);
      if (Answers.empty()) return 0;
      int32_t v = Answers.front();
      Answers.pop_front();
      return v;
    };
  }
};

TVisulisationSystem::tOptions NoThread(tRandomFunction random = {}) {
  TVisulisationSystem::tOptions o;
  o.StartThread = false;
  o.Seed = 3;
  o.Random = std::move(random);
  return o;
}

// A system without its thread at 320 x 240, visible, clock started at kStart.
void Prepare(TVisulisationSystem& vis) {
  vis.Configure(320, 240, false, true);
  vis.SetSuppressed(false);
  vis.SetSize(320, 240);
  vis.RestartClock(kStart);
}

TEST(VisulisationSystemTest, ChooseEffectsAsksRandomInItsOrder) {
  struct tCase {
    const char* Fault;
    std::vector<int32_t> Answers, Asked;
    std::function<void(const TVisulisationRenderer&)> Check;
  } cases[] = {
      {"waves both ways, a cube (kind 5) with a mirror",
       {17, 50, 3, 90, 99, 2, 10, 3, 1, 0, 4, 1, 5, 0, 3, 0, 0, 0, 8, 4, 0, 1, 0, 0, 7, 1, 2},
       {18, 200, 7,   360, 360, 6,  20, 20, 2, 2, 20, 2, 13, 1000,
        7,  360, 360, 360, 10,  10, 10, 2,  2, 2, 8,  2, 10},
       [](const TVisulisationRenderer& r) {
         EXPECT_TRUE(r.HWaveOn && r.VWaveOn && !r.MapOn);
         EXPECT_EQ(r.WavePeriod, 1050);
         EXPECT_EQ(r.WaveFrequency, 5);
         EXPECT_DOUBLE_EQ(r.WavePhase, std::numbers::pi / 2 + 0.2) << "one frame has advanced it";
         EXPECT_DOUBLE_EQ(r.WavePhaseStep, 0.2);
         EXPECT_EQ(r.WaveAmplitude, 7);
         EXPECT_EQ(r.ZoomDX, -15);
         EXPECT_EQ(r.ZoomDY, 8);
         EXPECT_EQ(r.RotateStep, -6);
         EXPECT_EQ(r.ForegroundKind, 5);
         ASSERT_EQ(r.Foreground.size(), 1u);
         const auto& cube = std::get<tSpinningCube>(r.Foreground[0]);
         EXPECT_EQ(cube.Duration, 1500);
         EXPECT_EQ(cube.ToColour, 0xFF0000u) << "palette entry 3 is blue";
         EXPECT_DOUBLE_EQ(cube.SpeedX, -0.01);
         EXPECT_DOUBLE_EQ(cube.SpeedY, 0.005);
         EXPECT_EQ(r.PixelSize, 11);
         EXPECT_TRUE(r.MirrorRightToLeftNext);
         EXPECT_TRUE(r.MirrorOn && !r.PixelateOn && !r.ZoomOn && !r.RotateOn);
       }},
      {"a polar map with a spectrum: the mirror is refused for spectrum kinds",
       {5, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 2},
       {18, 20, 20, 2, 2, 20, 2, 13, 1000, 7, 8, 2, 10},
       [](const TVisulisationRenderer& r) {
         EXPECT_TRUE(r.MapOn && !r.HWaveOn && !r.VWaveOn);
         EXPECT_EQ(r.ForegroundKind, 10);
         EXPECT_FALSE(r.MirrorOn);
       }},
      {"particles: 4 to 6 of them, each asking in its own order",
       {13, 0, 0, 0, 0, 0, 0, 0, 1},
       {18, 2, 2, 2, 2, 2, 2,  // grid map 32 x 24: two choices per pixel follow; checked by count below
        20, 20, 2, 2, 20, 2, 13, 3},
       nullptr},
  };
  for (tCase& c : cases) {
    tScriptedRandom script;
    script.Answers.assign(c.Answers.begin(), c.Answers.end());
    TVisulisationSystem vis({}, NoThread(script.Function()));
    Prepare(vis);
    ASSERT_TRUE(vis.BuildFrame(kStart)) << c.Fault;  // at the start time: no second effect change yet
    if (c.Check) {
      ASSERT_GE(script.Asked.size(), c.Asked.size()) << c.Fault;
      EXPECT_EQ(std::vector<int32_t>(script.Asked.begin(),
                                     script.Asked.begin() + static_cast<long>(c.Asked.size())),
                c.Asked)
          << c.Fault;
      c.Check(vis.GetRenderer());
    } else {
      // Grid kind 0 asks two fresh Random(2) per pixel right after the first call.
      size_t grid = 2 * 320 * 240;
      ASSERT_GT(script.Asked.size(), 1 + grid);
      std::vector<int32_t> after(script.Asked.begin() + 1 + static_cast<long>(grid), script.Asked.end());
      std::vector<int32_t> want = {20, 20, 2, 2, 20, 2, 13};
      ASSERT_GE(after.size(), want.size());
      EXPECT_EQ(std::vector<int32_t>(after.begin(), after.begin() + 7), want) << c.Fault;
    }
  }
}

TEST(VisulisationSystemTest, ParticleKindCreatesItsObjects) {
  // Kind 0 with Random(3) = 2: six particles, each asking palette, orbit, sign, angle, radii, duration.
  tScriptedRandom script;
  script.Answers = {15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};  // waves, zoom, rotate, kind 0, six
  TVisulisationSystem vis({}, NoThread(script.Function()));
  Prepare(vis);
  ASSERT_TRUE(vis.BuildFrame(kStart));
  const TVisulisationRenderer& r = vis.GetRenderer();
  ASSERT_EQ(r.ForegroundKind, 0);
  EXPECT_EQ(r.Foreground.size(), 6u);
  std::vector<int32_t> perParticle = {7, 300, 2, 360, 160 >> 5, 160 >> 4, 150, 110, 1000};
  auto first = std::find(script.Asked.begin(), script.Asked.end(), 3);  // Random(3): how many particles
  ASSERT_NE(first, script.Asked.end());
  EXPECT_EQ(std::vector<int32_t>(first + 1, first + 1 + static_cast<long>(perParticle.size())), perParticle);
  for (const tForegroundObject& o : r.Foreground) {
    const auto& p = std::get<tMovingPartical>(o);
    EXPECT_EQ(p.ToRadiusX, 0) << "no sound yet: the orbit has radius 0 and the particle stays at the centre";
    EXPECT_EQ(p.Radius, 5);
    EXPECT_EQ(p.BeatRadius, 15);
  }
}

TEST(VisulisationSystemTest, FramesAreHandedOutOnlyOnceBuilt) {
  TVisulisationSystem vis({}, NoThread());
  vis.SetSuppressed(false);
  int32_t w = 0, h = 0;
  EXPECT_EQ(vis.LockFrame(w, h), nullptr) << "before the thread's first frame";
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 24);
  EXPECT_TRUE(vis.IsLocked()) << "the lock is held even when no pixels are handed out";
  vis.UnlockFrame();
  vis.SetSize(1000, 1000);
  ASSERT_TRUE(vis.BuildFrame(kStart));
  const uint32_t* pixels = vis.LockFrame(w, h);
  EXPECT_NE(pixels, nullptr);
  EXPECT_EQ(w, 320) << "the size is capped at the default maximum";
  EXPECT_EQ(h, 240);
  // The consumer holds the frame: a resize does not wait for itself, and the next frame is not built
  // meanwhile.
  vis.SetSize(100, 80);
  vis.UnlockFrame();
  EXPECT_EQ(vis.LockFrame(w, h), nullptr) << "a resize is pending";
  vis.UnlockFrame();
  vis.Configure(64, 48, true, false);
  ASSERT_TRUE(vis.BuildFrame(kStart + 20));
  ASSERT_NE(vis.LockFrame(w, h), nullptr);
  EXPECT_EQ(w, 32) << "disabled: the surface shrinks to 32 x 24";
  EXPECT_EQ(h, 24);
  vis.UnlockFrame();
  // A surface bigger than a new maximum is shrunk to it.
  vis.Configure(320, 240, false, true);
  vis.SetSize(300, 200);
  ASSERT_TRUE(vis.BuildFrame(kStart + 40));
  vis.Configure(100, 100, false, true);
  ASSERT_TRUE(vis.BuildFrame(kStart + 60));
  ASSERT_NE(vis.LockFrame(w, h), nullptr);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 100);
  vis.UnlockFrame();
}

TEST(VisulisationSystemTest, WithoutPlayedFramesTheSoundIsAnalysedAsItArrives) {
  TVisulisationSystem vis({}, NoThread());
  vis.SetAudioFormat(8000, 1, 2);
  std::vector<int16_t> quiet = Cosine(768, 1, 0.05), loud = Cosine(768, 1, 0.8);
  vis.AddAudio(loud.data(), 768);
  EXPECT_EQ(vis.GetLevel(), 0) << "suppressed at start: nothing is analysed";
  vis.SetSuppressed(false);
  vis.AddAudio(quiet.data(), 768);
  EXPECT_FALSE(vis.GetBeatFlag());
  EXPECT_NEAR(vis.GetLevel(), 0.05, 0.001);
  vis.AddAudio(loud.data(), 768);
  EXPECT_TRUE(vis.GetBeatFlag());
  EXPECT_NEAR(vis.GetLevel(), 0.8, 0.001);
  EXPECT_EQ(vis.GetFedFrames(), 0) << "nothing went through the queue";
  vis.SetSize(64, 48);
  ASSERT_TRUE(vis.BuildFrame(kStart));
  EXPECT_FALSE(vis.GetBeatFlag()) << "a frame consumes the beat";
}

TEST(VisulisationSystemTest, QueuedSoundIsAnalysedAsFarAsItWasPlayed) {
  int64_t played = 0;
  TVisulisationSystem vis([&] { return played; }, NoThread());
  vis.SetAudioFormat(8000, 1, 2);
  vis.SetSuppressed(false);
  // Quiet, loud, quiet: one 1536-byte chunk is one block at 8000 Hz mono.
  std::vector<int16_t> pcm = Cosine(768 * 3, 1, 0.05);
  std::vector<int16_t> loud = Cosine(768, 1, 0.8);
  std::copy(loud.begin(), loud.end(), pcm.begin() + 768);
  vis.AddAudio(pcm.data(), 768 * 3);
  vis.FeedPlayedAudio();
  EXPECT_EQ(vis.GetFedFrames(), 0) << "paused: nothing heard, nothing analysed";
  EXPECT_FALSE(vis.GetBeatFlag());
  EXPECT_EQ(vis.GetLevel(), 0);
  played = 700;
  vis.FeedPlayedAudio();
  EXPECT_EQ(vis.GetFedFrames(), 768) << "one chunk, as soon as playback has started on it";
  played = 768 * 3;
  vis.FeedPlayedAudio();
  EXPECT_EQ(vis.GetFedFrames(), 768 * 3);
  EXPECT_TRUE(vis.GetBeatFlag())
      << "the loud block's beat survives the quiet block fed after it in the same pass";
  EXPECT_EQ(vis.GetDetector().BeatCount(), 1u);
  vis.ResetPosition();
  EXPECT_EQ(vis.GetFedFrames(), 0);
}

TEST(VisulisationSystemTest, ChunksHoldWholeFramesAtEveryChannelCount) {
  // Five channels: 1536 bytes are 153.6 frames. Frames are (A, 0, 0, -A, 0) with A alternating in sign, which
  // mix to 0 only when every chunk starts on a frame.
  int64_t played = 1 << 20;
  TVisulisationSystem vis([&] { return played; }, NoThread());
  vis.SetAudioFormat(44100, 5, 2);
  vis.SetSuppressed(false);
  std::vector<int16_t> pcm(4000 * 5, 0);
  for (size_t f = 0; f < 4000; ++f) {
    int16_t a = (f % 2) ? 20000 : -20000;
    pcm[f * 5] = a;
    pcm[f * 5 + 3] = static_cast<int16_t>(-a);
  }
  vis.AddAudio(pcm.data(), 4000);
  vis.FeedPlayedAudio();
  EXPECT_GE(vis.GetFedFrames(), 4000 - 153);
  EXPECT_EQ(vis.GetFedFrames() % 153, 0);
  EXPECT_EQ(vis.GetDetector().Peak(), 0) << "a chunk started inside a frame";
}

TEST(VisulisationSystemTest, SpectrumOverSilenceDrawsNoBarsAndTheFrameCompletes) {
  for (int32_t kind : {9, 10, 11, 12}) {
    tScriptedRandom script;
    // r = 15 (a horizontal wave, no map), zoom/rotate answers 0, kind, then m = 0 (no extra step).
    script.Answers = {15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kind};
    TVisulisationSystem vis({}, NoThread(script.Function()));
    Prepare(vis);
    ASSERT_TRUE(vis.BuildFrame(kStart));
    ASSERT_EQ(vis.GetRenderer().ForegroundKind, kind);
    EXPECT_EQ(vis.GetFrameCount(), 1) << "the frame was not abandoned";
    int32_t w, h;
    const uint32_t* pixels = vis.LockFrame(w, h);
    ASSERT_NE(pixels, nullptr);
    for (int32_t i = 0; i < w * h; ++i) ASSERT_EQ(pixels[i], 0u) << "a bar over silence, kind " << kind;
    vis.UnlockFrame();

    // With sound, the same frame shows bars.
    vis.SetAudioFormat(44100, 1, 2);
    std::vector<int16_t> tone = Cosine(768, 1, 0.5, 192);  // a bin every bar layout samples
    vis.AddAudio(tone.data(), 768);
    ASSERT_TRUE(vis.BuildFrame(kStart + 20));
    pixels = vis.LockFrame(w, h);
    ASSERT_NE(pixels, nullptr);
    int32_t lit = 0;
    for (int32_t i = 0; i < w * h; ++i) lit += pixels[i] != 0;
    EXPECT_GT(lit, 0) << "kind " << kind;
    vis.UnlockFrame();
  }
}

TEST(VisulisationSystemTest, EveryEffectCombinationRendersAtOddSizes) {
  // Every background, foreground and extra step on sizes down to a single pixel, beat and no beat: no crash
  // and no read outside the buffers (the sanitizer build checks), and something is drawn where there is room.
  tBeatDetector detector;
  detector.Create(44100, 2);
  std::vector<int16_t> tone = Cosine(768 * 3, 2, 0.7, 31);
  detector.AddSamples(tone.data(), 768 * 3);
  for (auto size : {std::pair{1, 1}, std::pair{3, 2}, std::pair{37, 23}}) {
    tVisRandom random(11);
    TVisulisationRenderer r(detector, [&random](int32_t n) { return random(n); });
    uint32_t now = kStart;
    r.Recreate(size.first, size.second, now);
    r.Level = 0.8;
    int32_t frames = 0, litFrames = 0;
    for (int32_t background = 0; background < 18; ++background) {
      for (int32_t kind = 0; kind < TVisulisationRenderer::kForegroundKinds; ++kind) {
        for (int32_t extra : {0, 2, 3, 4, 5}) {
          r.ForegroundKind = -1;
          r.ForceEffects(background, kind, extra, now);
          ASSERT_EQ(r.MirrorOn, extra == 2 && kind <= 8);
          for (int f = 0; f < 3; ++f, now += 700) {
            r.Step(f != 1, now);  // 700 ms apart: finished fades renew too
            ++frames;
            const uint32_t* p = r.Surface->FrontBuffer();
            litFrames += std::any_of(p, p + size.first * size.second, [](uint32_t v) { return v != 0; });
          }
        }
      }
    }
    EXPECT_EQ(r.FrameCount, frames);
    if (size.first > 30) {
      EXPECT_GT(litFrames, frames / 2) << "mostly black pictures";
    }
  }
}

TEST(VisulisationSystemTest, ThreadAsksThePlayedPositionOnTheMainThread) {
  SetMainThread();
  std::atomic<int> asked{0};
  std::atomic<bool> elsewhere{false};
  int64_t played = 0;
  {
    TVisulisationSystem vis([&] {
      if (!IsMainThread()) elsewhere = true;
      ++asked;
      played += 441;
      return played;
    });
    vis.SetAudioFormat(44100, 2, 2);
    vis.SetSuppressed(false);
    std::vector<int16_t> tone = Cosine(44100, 2, 0.5);
    vis.AddAudio(tone.data(), 44100);
    // The main thread serves the thread's calls while it waits for frames.
    for (int i = 0; i < 1000 && (vis.GetFrameCount() < 5 || vis.GetFedFrames() == 0); ++i) {
      DrainMainThreadCalls();
      WaitForMainThreadCalls(10);
    }
    EXPECT_GE(vis.GetFrameCount(), 5);
    EXPECT_GT(vis.GetFedFrames(), 0);
    int32_t w, h;
    const uint32_t* pixels = vis.LockFrame(w, h);
    EXPECT_NE(pixels, nullptr);
    vis.UnlockFrame();
    // Suppressed: the thread stops building frames (it only sleeps and polls). A frame already begun may
    // still finish, so first wait for the count to settle.
    vis.SetSuppressed(true);
    int32_t frames = -1;
    for (int i = 0; i < 50 && frames != vis.GetFrameCount(); ++i) {
      frames = vis.GetFrameCount();
      for (int j = 0; j < 20; ++j) DrainMainThreadCalls(), Sleep(5);
    }
    for (int i = 0; i < 60; ++i) DrainMainThreadCalls(), Sleep(5);
    EXPECT_EQ(vis.GetFrameCount(), frames);
  }  // the destructor ends the thread while serving its last call
  EXPECT_GT(asked.load(), 0);
  EXPECT_FALSE(elsewhere.load());
}

}  // namespace
}  // namespace ktv
