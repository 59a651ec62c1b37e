// The foreground figures of the visualisation: orbiting particles, waveforms, wire shapes and spectrum bars.
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "vis/vis_math.h"
#include "vis/visulisation_renderer.h"

namespace ktv {

namespace {

constexpr double kPi = std::numbers::pi;
// Colour values 0x00BBGGRR: red, green, yellow, blue, magenta, cyan, orange.
constexpr std::array<uint32_t, 7> kPalette = {0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000,
                                              0xFF00FF, 0xFFFF00, 0x0080FF};
constexpr double kRingEnd = 6.383185307179587;  // a little past 2 pi, so that the ring closes
constexpr int32_t kLastWaveSample = tBeatDetector::kSnapshotLength - 1;

struct tVertex {
  double X, Y, Z;
};
constexpr std::array<tVertex, 8> kCube = {
    {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}};
// Edges by wire-shape kind (4..8), vertex numbers 1..8; kind 8 has none (only the background shows).
struct tEdge {
  int A, B;
};
const std::vector<tEdge> kEdges[5] = {
    {{1, 2}, {2, 3}, {3, 4}, {4, 1}, {5, 6}, {6, 7}, {7, 8}, {8, 5}},
    {{1, 2}, {2, 3}, {3, 4}, {4, 1}, {5, 6}, {6, 7}, {7, 8}, {8, 5}, {1, 5}, {2, 6}, {3, 7}, {4, 8}},
    {{1, 2}, {2, 3}, {3, 1}, {5, 6}, {6, 7}, {7, 5}, {1, 5}, {2, 6}, {3, 7}},
    {{1, 2}, {2, 4}, {4, 1}, {2, 7}, {7, 3}, {3, 2}, {5, 6}, {6, 7}, {7, 5}, {5, 1}, {1, 8}, {8, 5}},
    {},
};

double Radians(int32_t degrees) {
  return degrees * kPi / 180;
}

}  // namespace

uint32_t TVisulisationRenderer::PaletteColour() {
  return kPalette[static_cast<size_t>(Random(7))];
}

uint32_t TVisulisationRenderer::FadeColour(const tColourFade& fade, uint32_t now) const {
  double duration = std::max(fade.Duration, 1);
  double t = std::min<double>(now - fade.StartTime, duration) / duration;
  uint32_t colour = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    double from = (fade.FromColour >> shift) & 0xFF, to = (fade.ToColour >> shift) & 0xFF;
    colour |= static_cast<uint32_t>(std::clamp(Nearest((1 - t) * from + t * to), 0, 255)) << shift;
  }
  return colour;
}

void TVisulisationRenderer::RenewFade(tColourFade& fade, bool beat, uint32_t now) {
  if (now - fade.StartTime >= static_cast<uint32_t>(std::max(fade.Duration, 0))) {
    fade.FromColour = fade.ToColour;
    fade.Duration = Random(1000) + 1000;
    fade.StartTime = now;
    fade.ToColour = PaletteColour();
  } else if (beat) {
    fade.FromColour = fade.ToColour;
    fade.ToColour = PaletteColour();
  }
}

void TVisulisationRenderer::SetForeground(int32_t kind, uint32_t now) {
  if (kind == ForegroundKind || !Surface || !Map) return;
  int32_t cx = Surface->Width() >> 1, cy = Surface->Height() >> 1;
  Foreground.clear();
  if (kind == 0) {
    int32_t last = Random(3) + 3;
    for (int32_t i = 0; i <= last; ++i) {
      tMovingParticle p;
      p.FromColour = 0;
      p.ToColour = PaletteColour();
      p.OrbitPeriod = Random(300) + 400;
      if (Random(2) == 1) p.OrbitPeriod = -p.OrbitPeriod;
      p.StartAngle = Radians(Random(360));
      p.Radius = Random(cx >> 5) + 5;
      p.BeatRadius = Random(cx >> 4) + p.Radius + 10;
      p.FromRadiusX = p.FromRadiusY = 0;
      p.ToRadiusX = Nearest(Random(cx - 10) * Level);
      p.ToRadiusY = Nearest(Random(cy - 10) * Level);
      p.Duration = Random(1000) + 1500;
      if (Calm) p.Duration *= 2;
      p.StartTime = now;
      Foreground.emplace_back(p);
    }
  } else if (kind >= 1 && kind <= 3) {
    tSimpleWaveform w;
    w.Duration = Random(1000) + 1500;
    w.StartTime = now;
    w.FromColour = 0;
    w.ToColour = PaletteColour();
    w.Radius = Random(cx >> 2) + (cx >> 4);
    w.TurnPeriod = Random(600) + 50;
    if (Random(2) == 1) w.TurnPeriod = -w.TurnPeriod;
    if (Calm) w.TurnPeriod *= 2;
    Foreground.emplace_back(w);
  } else if (kind >= 4 && kind <= 8) {
    tSpinningCube c;
    c.Duration = Random(1000) + 1500;
    c.StartTime = now;
    c.FromColour = 0;
    c.ToColour = PaletteColour();
    c.AngleX = Radians(Random(360));
    c.AngleY = Radians(Random(360));
    c.AngleZ = Radians(Random(360));
    c.SpeedX = Random(10) / 800.0;
    c.SpeedY = Random(10) / 800.0;
    c.SpeedZ = Random(10) / 800.0;
    if (Random(2) == 1) c.SpeedX = -c.SpeedX;
    if (Random(2) == 1) c.SpeedY = -c.SpeedY;
    if (Random(2) == 1) c.SpeedZ = -c.SpeedZ;
    if (Calm) c.SpeedX /= 2, c.SpeedY /= 2, c.SpeedZ /= 2;
    Foreground.emplace_back(c);
  } else if (kind >= 9 && kind <= 12) {
    tSimpleWaveform w;
    w.Duration = Random(1000) + 1500;
    w.StartTime = now;
    w.FromColour = 0;
    w.ToColour = PaletteColour();
    Foreground.emplace_back(w);
  }
  ForegroundKind = kind;  // also a kind outside 0..12, which draws nothing
}

void TVisulisationRenderer::DrawForeground(bool beat, uint32_t now) {
  if (!Surface) return;
  if (ForegroundKind == 0) return DrawParticles(beat, now);
  if (Foreground.size() != 1) return;
  tForegroundObject& object = Foreground.front();
  if (auto* wave = std::get_if<tSimpleWaveform>(&object)) {
    switch (ForegroundKind) {
      case 1:
        return DrawOscilloscope(*wave, beat, now);
      case 2:
        return DrawRing(*wave, beat, now);
      case 3:
        return DrawTurningBar(*wave, beat, now);
      case 9:
      case 10:
      case 11:
      case 12:
        return DrawSpectrum(*wave, beat, now);
      default:
        return;
    }
  }
  if (auto* cube = std::get_if<tSpinningCube>(&object); cube && ForegroundKind >= 4 && ForegroundKind <= 8)
    DrawWireShape(*cube, beat, now);
}

void TVisulisationRenderer::DrawParticles(bool beat, uint32_t now) {
  TVisulisationSurface& s = *Surface;
  s.BlendMode = TVisulisationSurface::kBlendAdd;
  int32_t cx = s.Width() >> 1, cy = s.Height() >> 1;
  for (tForegroundObject& object : Foreground) {
    auto* p = std::get_if<tMovingParticle>(&object);
    if (!p) continue;
    double duration = std::max(p->Duration, 1);
    double t = std::min<double>(now - p->StartTime, duration) / duration;
    uint32_t colour = FadeColour(*p, now);
    int32_t rx = Nearest((1 - t) * p->FromRadiusX + t * p->ToRadiusX);
    int32_t ry = Nearest((1 - t) * p->FromRadiusY + t * p->ToRadiusY);
    double angle = static_cast<double>(now) / p->OrbitPeriod + p->StartAngle;
    s.Circle(Nearest(std::cos(angle) * rx) + cx, Nearest(std::sin(angle) * ry) + cy, true, colour,
             beat ? p->BeatRadius : p->Radius);
    if (now - p->StartTime >= static_cast<uint32_t>(std::max(p->Duration, 0))) {
      // A new orbit, as wide as the sound is loud now.
      p->FromRadiusX = p->ToRadiusX;
      p->FromRadiusY = p->ToRadiusY;
      p->ToRadiusX = Nearest(Random(cx - 10) * Level);
      p->ToRadiusY = Nearest(Random(cy - 10) * Level);
    }
    RenewFade(*p, beat, now);
  }
}

void TVisulisationRenderer::DrawOscilloscope(tSimpleWaveform& wave, bool beat, uint32_t now) {
  TVisulisationSurface& s = *Surface;
  s.BlendMode = TVisulisationSurface::kBlendAdd;
  int32_t w = s.Width(), cy = s.Height() >> 1;
  int32_t px = -4, py = cy;
  for (int32_t x = 0; x < w + 4; x += 2) {
    int32_t index = std::clamp(MulDiv(x, tBeatDetector::kSnapshotLength, w + 8), 0, kLastWaveSample);
    int32_t y = Nearest(Detector.GetWaveSample(index) * cy * 0.7 + cy);
    s.Line(px, py, x, y, FadeColour(wave, now));
    px = x, py = y;
    RenewFade(wave, beat, now);  // on a beat every segment gets a fresh colour pair
  }
}

void TVisulisationRenderer::DrawRing(tSimpleWaveform& wave, bool beat, uint32_t now) {
  TVisulisationSurface& s = *Surface;
  s.BlendMode = TVisulisationSurface::kBlendCopy;
  int32_t cx = s.Width() >> 1, cy = s.Height() >> 1;
  uint32_t colour = FadeColour(wave, now);
  int32_t px = 0, py = 0;
  for (int32_t step = 0;; ++step) {
    double a = step * 0.1;
    if (a > kRingEnd) break;
    int32_t index = std::clamp(Nearest(a / kRingEnd * kLastWaveSample), 0, kLastWaveSample);
    double sample = Detector.GetWaveSample(index) * ((cx - wave.Radius) >> 1);
    int32_t x = Nearest(std::cos(a) * (wave.Radius + sample)) + cx;
    int32_t y = Nearest(std::sin(a) * (wave.Radius + sample)) + cy;
    if (step > 0) s.Line(px, py, x, y, colour);
    px = x, py = y;
  }
  RenewFade(wave, beat, now);
}

void TVisulisationRenderer::DrawTurningBar(tSimpleWaveform& wave, bool beat, uint32_t now) {
  TVisulisationSurface& s = *Surface;
  s.BlendMode = TVisulisationSurface::kBlendCopy;
  int32_t cx = s.Width() >> 1, cy = s.Height() >> 1;
  if (beat) wave.TurnPeriod = -wave.TurnPeriod;
  wave.Angle = static_cast<double>(now) / (wave.TurnPeriod == 0 ? 1 : wave.TurnPeriod);
  uint32_t colour = FadeColour(wave, now);
  double c = std::cos(wave.Angle), sn = std::sin(wave.Angle);
  double cNormal = std::cos(wave.Angle + kPi / 2), sNormal = std::sin(wave.Angle + kPi / 2);
  bool first = true;
  int32_t px = 0, py = 0;
  for (int32_t d = -cx; d < cx; d += 8) {
    int32_t index =
        std::clamp(Nearest(static_cast<double>(cx + d) / (2 * cx) * kLastWaveSample), 0, kLastWaveSample);
    double sample = Detector.GetWaveSample(index) * (cx >> 2);
    int32_t x = Nearest(d * c + sample * cNormal) + cx;
    int32_t y = Nearest(d * sn + sample * sNormal) + cy;
    if (!first) s.Line(px, py, x, y, colour);
    first = false;
    px = x, py = y;
  }
  RenewFade(wave, beat, now);
}

void TVisulisationRenderer::DrawWireShape(tSpinningCube& cube, bool beat, uint32_t now) {
  TVisulisationSurface& s = *Surface;
  s.BlendMode = TVisulisationSurface::kBlendCopy;
  double cx = s.Width() >> 1, cy = s.Height() >> 1;
  double scale = Detector.Peak() / 65536.0 * cy;
  std::array<double, 8> X{}, Y{}, Z{};
  for (size_t v = 0; v < kCube.size(); ++v) {
    double x = kCube[v].X * scale, y = kCube[v].Y * scale, z = kCube[v].Z * scale;
    double c = std::cos(cube.AngleX), sn = std::sin(cube.AngleX);
    double y1 = c * y + sn * z, z1 = c * z - sn * y;
    c = std::cos(cube.AngleY), sn = std::sin(cube.AngleY);
    double x2 = c * x + sn * z1, z2 = c * z1 - sn * x;
    c = std::cos(cube.AngleZ), sn = std::sin(cube.AngleZ);
    double y3 = c * y1 + sn * x2, x3 = c * x2 - sn * y1;
    Z[v] = z2 + 800;
    X[v] = x3 * 600 / Z[v];
    Y[v] = y3 * 600 / Z[v];
  }
  uint32_t colour = FadeColour(cube, now);
  for (const tEdge& e : kEdges[ForegroundKind - 4]) {
    size_t a = static_cast<size_t>(e.A - 1), b = static_cast<size_t>(e.B - 1);
    // A vertex at or behind the eye (only on surfaces far larger than any setting allows) is not drawn.
    if (Z[a] < 1 || Z[b] < 1) continue;
    s.Line(Nearest(cx + X[a]), Nearest(cy + Y[a]), Nearest(cx + X[b]), Nearest(cy + Y[b]), colour);
  }
  RenewFade(cube, beat, now);
  if (beat) {
    switch (Random(3)) {
      case 0:
        cube.SpeedX = -cube.SpeedX;
        break;
      case 1:
        cube.SpeedY = -cube.SpeedY;
        break;
      default:
        cube.SpeedZ = -cube.SpeedZ;
        break;
    }
  }
  cube.AngleX += cube.SpeedX;
  cube.AngleY += cube.SpeedY;
  cube.AngleZ += cube.SpeedZ;
}

void TVisulisationRenderer::DrawSpectrum(tSimpleWaveform& wave, bool beat, uint32_t now) {
  TVisulisationSurface& s = *Surface;
  s.BlendMode = TVisulisationSurface::kBlendCopy;
  int32_t w = s.Width(), h = s.Height();
  constexpr int32_t kBins = tBeatDetector::kBlockLength;
  std::array<float, kBins> v;
  double max = 0;
  for (int32_t i = 0; i < kBins; ++i) {
    v[static_cast<size_t>(i)] = Detector.GetSpectrumBin(i).Re;  // signed real part, not a magnitude
    if (v[static_cast<size_t>(i)] > max) max = v[static_cast<size_t>(i)];
  }
  max *= 3;
  uint32_t colour = FadeColour(wave, now);
  // Over silence no bin is above zero: no bars, rather than a division by zero.
  if (max > 0 && std::isfinite(max)) {
    bool vertical = ForegroundKind == 9 || ForegroundKind == 10;
    int32_t along = vertical ? w : h, across = vertical ? h : w;
    for (int32_t p = 0; p < along; p += 4) {
      int32_t i = std::min(Nearest(static_cast<double>(p) / along * kBins), kBins - 1);
      int32_t bar = Nearest(v[static_cast<size_t>(i)] / max * across);
      switch (ForegroundKind) {
        case 9:
          s.FillRect({p, 0, p + 4, bar}, colour);
          break;  // hanging from the top
        case 10:
          s.FillRect({p, h - bar, p + 4, h}, colour);
          break;  // standing on the bottom
        case 11:
          s.FillRect({0, p, bar, p + 4}, colour);
          break;  // from the left
        default:
          s.FillRect({w - bar, p, w, p + 4}, colour);
          break;  // from the right
      }
    }
  }
  RenewFade(wave, beat, now);
}

}  // namespace ktv
