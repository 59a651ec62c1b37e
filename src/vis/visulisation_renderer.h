// The picture side of the visualisation: the feedback background and the foreground figures, the effect
// choice and the calm/beat bookkeeping of one frame. TVisulisationSystem runs it on its thread; the benchmark
// and the command-line program drive it directly with a clock of their own.
//
// Thread contract: everything here belongs to the thread that renders (the visualisation thread, under the
// system's frame lock). The beat detector is only read (its published values are atomics).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

#include "vis/beat_detector.h"
#include "vis/visulisation_displacement_map.h"
#include "vis/visulisation_surface.h"

namespace ktv {

// Uniform integer in [0, n); callers never see it for n < 1 (Random gives 0 then).
using tRandomFunction = std::function<int32_t(int32_t)>;

// A small fast generator; the system seeds one per thread from the clock, tests and benchmarks with a
// constant.
class tVisRandom {
 public:
  explicit tVisRandom(uint64_t seed) : State(seed) {}
  int32_t operator()(int32_t n);

 private:
  uint64_t State;
};

// The colour every foreground object fades through (colour values 0x00BBGGRR, times in ms).
struct tColourFade {
  int32_t Duration = 1;
  uint32_t StartTime = 0;
  uint32_t FromColour = 0;
  uint32_t ToColour = 0;
};

struct tMovingParticle : tColourFade {
  int32_t OrbitPeriod = 1;  // ms per radian, signed
  double StartAngle = 0;    // radians
  int32_t Radius = 0, BeatRadius = 0;
  int32_t FromRadiusX = 0, FromRadiusY = 0, ToRadiusX = 0, ToRadiusY = 0;
};

struct tSimpleWaveform : tColourFade {
  int32_t Radius = 0;
  int32_t TurnPeriod = 1;  // ms per radian, signed
  double Angle = 0;
};

struct tSpinningCube : tColourFade {
  double AngleX = 0, AngleY = 0, AngleZ = 0;  // radians
  double SpeedX = 0, SpeedY = 0, SpeedZ = 0;  // radians per frame
};

using tForegroundObject = std::variant<tMovingParticle, tSimpleWaveform, tSpinningCube>;

class TVisulisationRenderer {
 public:
  static constexpr int32_t kForegroundKinds = 13;
  static constexpr uint32_t kCalmAfter = 2800;  // ms without a pair of beats before effects calm down
  static constexpr int32_t kBeatsPerChange = 17;

  TVisulisationRenderer(const tBeatDetector& detector, tRandomFunction random);

  // Start of the thread: the first effect change follows at the first frame.
  void Start(uint32_t now);
  // New surface and map of this size (sizes below 1 count as 1), and new effects.
  void Recreate(int32_t width, int32_t height, uint32_t now);
  // One frame: calm bookkeeping, RenderFrame, beat count, effect change when due, FrameCount.
  void Step(bool beat, uint32_t now);

  void ChooseEffects(uint32_t now);
  // The same choice with its three main draws given instead of drawn: background 0..17 (13 polar maps, 2 grid
  // maps, horizontal, vertical or both waves), foreground 0..12, extra step 0..9 (2 mirror, 3 pixelate, 4
  // zoom, 5 rotate, others none). The benchmark and the tests go through every combination with it.
  void ForceEffects(int32_t background, int32_t kind, int32_t extra, uint32_t now);
  void RenderFrame(bool beat, uint32_t now);
  void SetForeground(int32_t kind, uint32_t now);
  void DrawForeground(bool beat, uint32_t now);
  // Uniform in [0, n); 0 when n < 1.
  int32_t Random(int32_t n);

  const tBeatDetector& Detector;
  tRandomFunction RandomSource;
  std::unique_ptr<TVisulisationSurface> Surface;
  std::unique_ptr<TVisulisationDisplacementMap> Map;

  int32_t ForegroundKind = -1;
  std::vector<tForegroundObject> Foreground;
  double Level = 0;  // peak of the last feeding, 0..1; set by the owner before each frame
  bool MirrorOn = false;
  bool MirrorRightToLeftNext = false;
  bool PixelateOn = false;
  int32_t PixelSize = 4;
  bool MapOn = false, HWaveOn = false, VWaveOn = false;
  int32_t WavePeriod = 1000;  // ms
  uint32_t WaveStart = 0;
  double WavePhase = 0, WavePhaseStep = 0;  // radians, radians per frame
  bool RotateOn = false;
  int32_t ZoomDX = 0, ZoomDY = 0;
  int32_t RotateStep = 0;  // tenths of a degree per frame
  bool ZoomOn = false;
  int32_t WaveAmplitude = 5, WaveFrequency = 2;
  uint32_t ChangeInterval = 0;  // ms
  uint32_t LastChange = 0;
  uint32_t LastBeatTime = 0;
  int32_t BeatsSinceChange = 0;
  bool Calm = false;
  int32_t FrameCount = 0;

 private:
  void ChooseEffects(const int32_t* forced, uint32_t now);
  uint32_t PaletteColour();
  // Colour of the object at this time, and its renewal after drawing.
  uint32_t FadeColour(const tColourFade& fade, uint32_t now) const;
  void RenewFade(tColourFade& fade, bool beat, uint32_t now);
  void DrawParticles(bool beat, uint32_t now);
  void DrawOscilloscope(tSimpleWaveform& wave, bool beat, uint32_t now);
  void DrawRing(tSimpleWaveform& wave, bool beat, uint32_t now);
  void DrawTurningBar(tSimpleWaveform& wave, bool beat, uint32_t now);
  void DrawWireShape(tSpinningCube& cube, bool beat, uint32_t now);
  void DrawSpectrum(tSimpleWaveform& wave, bool beat, uint32_t now);
};

}  // namespace ktv
