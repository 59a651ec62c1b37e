#include "vis/visulisation_displacement_map.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "vis/vis_math.h"

namespace ktv {

namespace {
constexpr double kPi = std::numbers::pi;
}

TVisulisationDisplacementMap::TVisulisationDisplacementMap(int32_t width, int32_t height) {
  SetSize(width, height);
}

void TVisulisationDisplacementMap::SetSize(int32_t width, int32_t height) {
  width = std::max(width, 1), height = std::max(height, 1);
  if (width == MapWidth && height == MapHeight) return;
  MapWidth = width, MapHeight = height;
  OffsetTable.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  SetIdentity();
}

void TVisulisationDisplacementMap::SetIdentity() {
  for (size_t i = 0; i < OffsetTable.size(); ++i) OffsetTable[i] = static_cast<uint32_t>(i * 4);
}

void TVisulisationDisplacementMap::SetSource(size_t i, int32_t sx, int32_t sy) {
  sx = std::clamp(sx, 0, MapWidth - 1), sy = std::clamp(sy, 0, MapHeight - 1);
  OffsetTable[i] = static_cast<uint32_t>((static_cast<size_t>(sy) * static_cast<size_t>(MapWidth) + sx) * 4);
}

void TVisulisationDisplacementMap::BuildPolarMap(int32_t kind) {
  int32_t cx = MapWidth >> 1, cy = MapHeight >> 1;
  double R = std::max(cx, cy);
  if (R == 0) return SetIdentity();  // a 1 x 1 map: nothing to move
  size_t i = 0;
  for (int32_t y = 0; y < MapHeight; ++y) {
    for (int32_t x = 0; x < MapWidth; ++x, ++i) {
      double dx = x - cx, dy = y - cy;
      double r = std::sqrt(dx * dx + dy * dy) / R;
      double a = std::atan2(dy, dx);
      double r2 = r, a2 = a;
      switch (kind) {
        case 0:
          r2 = 0.96 * r, a2 = a + 0.1 - 0.2 * r;
          break;
        case 1:
          r2 = (1 - std::sin(a - kPi / 2) / 32) * 0.99 * r, a2 = a + 0.03 * std::sin(4 * kPi * r);
          break;
        case 2:
          r2 = (0.06 * std::cos(32 * (a - kPi / 2)) + 0.94) * r;
          break;
        case 3:
          r2 = (0.04 * std::cos(4 * (a - kPi / 2)) + 1.01) * r, a2 = a + 0.03 * std::sin(4 * kPi * r);
          break;
        case 4:
          a2 = a + 0.1 * std::sin(5 * kPi * r);
          break;
        case 5:
          r2 = r - 8 * std::pow(std::sin(kPi * r), 5) / (R / 4);
          break;
        case 6:
          r2 = r - 8 * std::pow(std::sin(kPi * r), 5) / (R / 4),
          a2 = a + 0.1 * std::pow(std::cos(kPi * r / 2), 3);
          break;
        case 7:
          r2 = (0.03 * std::cos(5 * (a - kPi / 2) - 1.2566370614359172) + 0.95) * r, a2 = a + 0.02;
          break;
        case 8:
          r2 = (0.05 * std::cos(kPi * r) + 0.96) * r, a2 = a + 0.04;
          break;
        case 9:
          a2 = std::cos(3 * a);
          break;
        case 10:
          r2 = (1 - 0.03 * std::sin(7 * (a - kPi / 2))) * r, a2 = a + 0.03 * std::cos(12 * r);
          break;
        case 11:
          r2 = (1 - 0.05 * std::sin(12 * (a - kPi / 2))) * r, a2 = a + 0.05 * std::cos(18 * r);
          break;
        case 12: {
          double r1 = (1 - 0.05 * std::sin(12 * (a - kPi / 2))) * r;
          double a1 = a + 0.05 * std::cos(18 * r1);
          r2 = (1 - 0.03 * (r1 - 0.4)) * r1, a2 = 0.13 * (r1 - 0.4) + a1;
          break;
        }
        default:
          break;
      }
      SetSource(i, Nearest(std::cos(a2) * r2 * R) + cx, Nearest(std::sin(a2) * r2 * R) + cy);
    }
  }
}

void TVisulisationDisplacementMap::BuildGridMap(int32_t kind, const std::function<int32_t(int32_t)>& random) {
  int32_t cx = MapWidth >> 1, cy = MapHeight >> 1;
  size_t i = 0;
  for (int32_t y = 0; y < MapHeight; ++y) {
    for (int32_t x = 0; x < MapWidth; ++x, ++i) {
      if (kind == 0) {
        int32_t sx = random(2) == 1 ? x - 1 : x + 1;
        int32_t sy = random(2) == 1 ? y - 1 : y + 1;
        SetSource(i, sx, sy);
      } else if (kind == 1) {
        // A side of one pixel (centre 0) has nothing to ripple along.
        double nx = cx == 0 ? 0.0 : static_cast<double>(x - cx) / cx;
        double ny = cy == 0 ? 0.0 : static_cast<double>(y - cy) / cy;
        SetSource(i, Nearest((nx - 0.04 * std::cos(10 * ny)) * cx) + cx,
                  Nearest((ny - 0.05 * std::sin(20 * nx)) * cy) + cy);
      } else {
        SetSource(i, x, y);
      }
    }
  }
}

}  // namespace ktv
