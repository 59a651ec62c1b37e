#include "vis/visulisation_renderer.h"

#include <cmath>
#include <numbers>

#include "vis/vis_math.h"

namespace ktv {

namespace {
constexpr int32_t kFadeOnBeat = 220;        // a beat darkens the picture to 220/256 before the new figure
constexpr uint32_t kChangeMinimum = 10000;  // ms; effects last 10 to 19 seconds
}  // namespace

int32_t tVisRandom::operator()(int32_t n) {
  if (n < 1) return 0;
  // splitmix64: cheap, and every seed (including 0) gives a good sequence.
  State += 0x9E3779B97F4A7C15ull;
  uint64_t z = State;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<int32_t>(((z >> 32) * static_cast<uint64_t>(n)) >> 32);
}

TVisulisationRenderer::TVisulisationRenderer(const tBeatDetector& detector, tRandomFunction random)
    : Detector(detector), RandomSource(std::move(random)) {}

int32_t TVisulisationRenderer::Random(int32_t n) {
  if (n < 1) return 0;
  return RandomSource(n);
}

void TVisulisationRenderer::Start(uint32_t now) {
  LastChange = now;
  LastBeatTime = now - 5000;
  ChangeInterval = 0;
  BeatsSinceChange = 0;
}

void TVisulisationRenderer::Recreate(int32_t width, int32_t height, uint32_t now) {
  Surface.reset();
  Map.reset();
  Surface = std::make_unique<TVisulisationSurface>(width, height);
  Map = std::make_unique<TVisulisationDisplacementMap>(width, height);
  BeatsSinceChange = 0;
  ChooseEffects(now);
}

void TVisulisationRenderer::Step(bool beat, uint32_t now) {
  if (beat) {
    if (now - LastBeatTime < kCalmAfter) Calm = false;
    LastBeatTime = now;
  } else if (now - LastBeatTime >= kCalmAfter) {
    Calm = true;
  }
  RenderFrame(beat, now);
  if (beat) ++BeatsSinceChange;
  if (now - LastChange > ChangeInterval || BeatsSinceChange >= kBeatsPerChange) {
    ChangeInterval = static_cast<uint32_t>(Random(10)) * 1000 + kChangeMinimum;
    LastChange = now;
    ChooseEffects(now);
    BeatsSinceChange = 0;
  }
  ++FrameCount;
}

// The order of the Random calls is part of the design: a given seed always picks the same sequence of
// effects.
void TVisulisationRenderer::ChooseEffects(uint32_t now) {
  ChooseEffects(nullptr, now);
}

void TVisulisationRenderer::ForceEffects(int32_t background, int32_t kind, int32_t extra, uint32_t now) {
  const int32_t choices[3] = {background, kind, extra};
  ChooseEffects(choices, now);
}

void TVisulisationRenderer::ChooseEffects(const int32_t* forced, uint32_t now) {
  if (!Surface || !Map) return;
  int32_t r = forced ? forced[0] : Random(18);
  MapOn = HWaveOn = VWaveOn = false;
  Map->SetSize(Surface->Width(), Surface->Height());
  if (r < TVisulisationDisplacementMap::kPolarKinds) {
    Map->BuildPolarMap(r);
    MapOn = true;
  } else if (r == 13 || r == 14) {
    Map->BuildGridMap(r - 13, [this](int32_t n) { return Random(n); });
    MapOn = true;
  } else {
    HWaveOn = (r == 15 || r == 17);
    VWaveOn = (r == 16 || r == 17);
    WaveStart = now;
    WavePeriod = Random(200) + 1000;
    WaveFrequency = Random(Surface->Height() >> 5) + 2;
    WavePhase = Random(360) * std::numbers::pi / 180;
    WavePhaseStep = (Random(360) + 1) / 500.0;
    WaveAmplitude = Random(6) + 5;
    if (Calm) WavePeriod *= 2, WavePhaseStep /= 2;
  }
  ZoomDX = Random(20) + 5;
  ZoomDY = Random(20) + 5;
  if (Calm) ZoomDX /= 2, ZoomDY /= 2;
  if (Random(2) == 1) ZoomDX = -ZoomDX;
  if (Random(2) == 1) ZoomDY = -ZoomDY;
  RotateStep = Random(20) + 2;
  if (Random(2) == 1) RotateStep = -RotateStep;
  if (Calm) RotateStep /= 2;
  int32_t k = forced ? forced[1] : Random(kForegroundKinds);
  SetForeground(k, now);
  PixelSize = Random(8) + 4;
  MirrorRightToLeftNext = (Random(2) == 1);
  int32_t m = forced ? forced[2] : Random(10);
  PixelateOn = (m == 3);
  MirrorOn = (m == 2 && k <= 8);  // a mirrored spectrum would hide half of its bars
  ZoomOn = (m == 4);
  RotateOn = (m == 5);
}

void TVisulisationRenderer::RenderFrame(bool beat, uint32_t now) {
  if (!Surface || !Map) return;
  TVisulisationSurface& s = *Surface;
  if (beat) {
    s.Fade(kFadeOnBeat);
    MirrorRightToLeftNext = !MirrorRightToLeftNext;
  }
  DrawForeground(beat, now);
  if (PixelateOn && beat) {
    s.Pixelate(PixelSize);
    s.BlurCross();
  }
  double wavePosition = static_cast<double>(now - WaveStart) / WavePeriod;
  if (HWaveOn)
    s.HorizontalWave(Nearest(std::cos(wavePosition) * WaveAmplitude), WaveFrequency, true, WavePhase);
  if (VWaveOn)
    s.VerticalWave(Nearest(std::cos(wavePosition) * WaveAmplitude), WaveFrequency, true, WavePhase);
  WavePhase += WavePhaseStep;
  if (beat) WavePhaseStep = -WavePhaseStep;
  if (RotateOn) {
    if (beat) RotateStep = -RotateStep;
    s.Rotate(RotateStep, true);
  }
  if (ZoomOn) {
    if (beat) {
      if (Random(2) == 0) {
        ZoomDX = -ZoomDX;
      } else {
        ZoomDY = -ZoomDY;
      }
    }
    s.Zoom(s.Width() + ZoomDX, s.Height() + ZoomDY, true);
  }
  // In calm periods the flow runs at half speed.
  if (MapOn && (!Calm || FrameCount % 2 != 0)) s.ApplyMap(*Map);
  if (MirrorOn) {
    if (MirrorRightToLeftNext) {
      s.MirrorRightToLeft();
    } else {
      s.MirrorTopToBottom();
    }
  }
  s.Blur3x3();
}

}  // namespace ktv
