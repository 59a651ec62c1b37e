#include "vis/visulisation_surface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "vis/vis_math.h"
#include "vis/visulisation_displacement_map.h"

namespace ktv {
namespace {

using tPicture = std::vector<uint32_t>;

void Fill(TVisulisationSurface& s, const std::function<uint32_t(int32_t, int32_t)>& pixel) {
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x) s.ScanLine(y)[x] = pixel(x, y);
}
tPicture Front(const TVisulisationSurface& s) {
  return tPicture(s.FrontBuffer(), s.FrontBuffer() + s.Width() * s.Height());
}
tPicture Back(const TVisulisationSurface& s) {
  return tPicture(s.BackBuffer(), s.BackBuffer() + s.Width() * s.Height());
}
// Pixel value naming its own position, so that a moved pixel shows where it came from.
uint32_t Position(int32_t x, int32_t y) {
  return static_cast<uint32_t>(0x010000 + y * 0x100 + x + 1);
}

TEST(VisMathTest, RoundingHelpers) {
  struct tCase {
    double Value;
    int32_t Want;
    const char* Fault;
  } nearest[] = {
      {2.5, 2, "halves go to even"},
      {3.5, 4, "halves go to even"},
      {-2.5, -2, "negative halves to even"},
      {-2.6, -3, "plain rounding"},
      {NAN, 0, "NaN is never converted"},
      {INFINITY, 0, "infinity is never converted"},
      {1e20, INT32_MAX, "clamped, not undefined"},
      {-1e20, INT32_MIN, "clamped, not undefined"},
  };
  for (const tCase& c : nearest) EXPECT_EQ(Nearest(c.Value), c.Want) << c.Fault;
  EXPECT_EQ(MulDiv(1, 1, 2), 1) << "halves away from zero";
  EXPECT_EQ(MulDiv(-1, 1, 2), -1) << "halves away from zero, negative";
  EXPECT_EQ(MulDiv(5, 65536, 3), 109227) << "64-bit intermediate, rounded";
  EXPECT_EQ(MulDiv(7, 3, 0), -1) << "division by zero answers -1";
  EXPECT_EQ(MulDiv(INT32_MAX, 4, 1), -1) << "overflow answers -1";
}

TEST(VisulisationSurfaceTest, FeedbackOperationsOnSmallPictures) {
  // Each row: an 8 x 3 picture of position-coded pixels, one operation, the expected picture (or a rule for
  // it).
  struct tCase {
    const char* Fault;
    std::function<void(TVisulisationSurface&)> Run;
    std::function<uint32_t(int32_t, int32_t)> Want;
  } cases[] = {
      {"wave +3: three black columns on the left, the copy stops one short of the right edge",
       [](TVisulisationSurface& s) { s.HorizontalWave(3, 0, true, std::numbers::pi / 2); },
       [](int32_t x, int32_t y) { return (y < 2 && x >= 3 && x <= 6) ? Position(x - 3, y) : 0u; }},
      {"wave -3: the first three source columns drop out, the row is filled up to column W - 4",
       [](TVisulisationSurface& s) { s.HorizontalWave(3, 0, true, -std::numbers::pi / 2); },
       [](int32_t x, int32_t y) { return (y < 2 && x <= 4) ? Position(x + 3, y) : 0u; }},
      {"vertical wave +1 shifts columns down; the last column and the first row stay black",
       [](TVisulisationSurface& s) { s.VerticalWave(1, 0, true, std::numbers::pi / 2); },
       [](int32_t x, int32_t y) { return (x < 7 && y == 1) ? Position(x, 0) : 0u; }},
      {"rotating by a multiple of 360 tenths does nothing",
       [](TVisulisationSurface& s) { s.Rotate(360, true); }, Position},
      {"mirror right to left: the left half is the right half reversed",
       [](TVisulisationSurface& s) { s.MirrorRightToLeft(); },
       [](int32_t x, int32_t y) { return x <= 3 ? Position(7 - x, y) : Position(x, y); }},
      {"mirror top to bottom: the bottom row copies the top row",
       [](TVisulisationSurface& s) { s.MirrorTopToBottom(); },
       [](int32_t x, int32_t y) { return Position(x, y == 2 ? 0 : y); }},
      {"pixelate reads the back buffer as it stood at the last copy (here: all black)",
       [](TVisulisationSurface& s) { s.Pixelate(2); }, [](int32_t, int32_t) { return 0u; }},
      {"pixelate of block 1 does nothing", [](TVisulisationSurface& s) { s.Pixelate(1); }, Position},
      {"pixelate after a refresh repeats the top-left pixel of each block",
       [](TVisulisationSurface& s) {
         s.Rotate(5, false);  // refreshes the back buffer (the rotated front is overwritten below)
         s.Pixelate(2);
       },
       [](int32_t x, int32_t y) { return Position(x / 2 * 2, y / 2 * 2); }},
  };
  for (const tCase& c : cases) {
    TVisulisationSurface s(8, 3);
    Fill(s, Position);
    c.Run(s);
    TVisulisationSurface want(8, 3);
    Fill(want, c.Want);
    EXPECT_EQ(Front(s), Front(want)) << c.Fault;
  }
}

TEST(VisulisationSurfaceTest, RotateByWholeTurnsLeavesBothBuffersUntouched) {
  for (int32_t angle : {0, 360, -720}) {
    TVisulisationSurface s(6, 5);
    Fill(s, Position);
    s.Blur3x3();  // leaves a known back buffer
    tPicture front = Front(s), back = Back(s);
    s.Rotate(angle, true);
    EXPECT_EQ(Front(s), front) << angle;
    EXPECT_EQ(Back(s), back) << angle << ": not even the copy happens";
  }
}

TEST(VisulisationSurfaceTest, RotateByAQuarterTurnMapsPixelsExactly) {
  // 900 tenths = 90 degrees: with the centre between pixels a square maps exactly onto itself.
  TVisulisationSurface s(4, 4);
  Fill(s, Position);
  s.Rotate(900, true);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(s.ScanLine(y)[x], Position(y, 3 - x)) << x << "," << y;
}

TEST(VisulisationSurfaceTest, ZoomToTheSameSizeKeepsFullChannelsFull) {
  TVisulisationSurface s(9, 7);
  Fill(s, [](int32_t, int32_t) { return 0x00FFFFFFu; });
  s.Zoom(9, 7, true);
  for (uint32_t p : Front(s)) ASSERT_EQ(p, 0x00FFFFFFu) << "weights summing to 65537/65536 keep 255";
  // Zooming in by 2 pixels on a uniform picture keeps it uniform everywhere.
  s.Zoom(11, 9, true);
  for (uint32_t p : Front(s)) ASSERT_EQ(p, 0x00FFFFFFu);
  // Zooming out leaves a black border around a smaller copy.
  s.Zoom(5, 3, true);
  EXPECT_EQ(s.ScanLine(0)[0], 0u);
  EXPECT_EQ(s.ScanLine(3)[4], 0x00FFFFFFu);
  EXPECT_EQ(s.ScanLine(3)[1], 0u);
}

TEST(VisulisationSurfaceTest, ApplyMapOfAnotherSizeDoesNothing) {
  TVisulisationSurface s(8, 6);
  Fill(s, Position);
  TVisulisationDisplacementMap map(8, 5);
  map.BuildPolarMap(0);
  s.ApplyMap(map);
  TVisulisationSurface want(8, 6);
  Fill(want, Position);
  EXPECT_EQ(Front(s), Front(want));
  // The same map at the surface's size moves pixels.
  map.SetSize(8, 6);
  map.BuildPolarMap(9);
  s.ApplyMap(map);
  EXPECT_NE(Front(s), Front(want));
}

TEST(VisulisationSurfaceTest, BlursWeighTheirNeighbours) {
  // A single blue pixel of 255 at (2, 2) on a 5 x 5 picture.
  TVisulisationSurface s(5, 5);
  s.ScanLine(2)[2] = 255;
  s.Blur3x3();
  EXPECT_EQ(s.ScanLine(2)[2], 63u) << "centre / 4";
  EXPECT_EQ(s.ScanLine(1)[2], 31u) << "side / 8";
  EXPECT_EQ(s.ScanLine(1)[1], 15u) << "diagonal / 16";
  TVisulisationSurface cross(5, 5);
  cross.ScanLine(2)[2] = 0x00FF80FF;
  cross.BlurCross();
  EXPECT_EQ(cross.ScanLine(2)[2], 0x007F407Fu) << "centre / 2, each channel on its own";
  EXPECT_EQ(cross.ScanLine(2)[3], 0x001F101Fu) << "side / 8";
  EXPECT_EQ(cross.ScanLine(1)[1], 0u) << "no diagonals";
  // Rows are one run: the pixel at the right edge takes its right neighbour from the next row's left edge.
  TVisulisationSurface wrap(5, 5);
  wrap.ScanLine(2)[0] = 0x00FF0000;
  wrap.BlurCross();
  EXPECT_EQ(wrap.ScanLine(1)[4], 0x001F0000u);
  // The run ends at (1, H - 1): the rest of the last row and the first row stay as they were.
  TVisulisationSurface edges(5, 5);
  Fill(edges, [](int32_t, int32_t) { return 0x00808080u; });
  edges.Blur3x3();
  EXPECT_EQ(edges.ScanLine(4)[3], 0x00808080u);
  EXPECT_EQ(edges.ScanLine(4)[1], 0x00606060u) << "below it only the spare zero pixels";
}

TEST(VisulisationSurfaceTest, FadeAndBlendModes) {
  TVisulisationSurface s(2, 1);
  s.ScanLine(0)[0] = 0xAAFF6401;  // spare byte AA, red 255, green 100, blue 1
  s.Fade(220);
  EXPECT_EQ(s.ScanLine(0)[0], 0xAADB5500u) << "each channel * 220 >> 8; the spare byte stays";

  struct tCase {
    uint8_t Mode;
    uint32_t Dest, Colour, Want;
    const char* Fault;
  } cases[] = {
      {TVisulisationSurface::kBlendCopy, 0x11223344, 0x0000FF, 0x00FF0000,
       "copy: colour value BBGGRR to RRGGBB"},
      {TVisulisationSurface::kBlendAverage, 0x77102030, 0x0000FF, 0x77871018,
       "average per channel, spare kept"},
      {TVisulisationSurface::kBlendAdd, 0x00F01080, 0x00A0A0, 0x00FFB080, "saturating add per channel"},
  };
  for (const tCase& c : cases) {
    TVisulisationSurface p(1, 1);
    p.ScanLine(0)[0] = c.Dest;
    p.BlendMode = c.Mode;
    p.Line(0, 0, 0, 0, c.Colour);
    EXPECT_EQ(p.ScanLine(0)[0], c.Want) << c.Fault;
  }
}

std::string Plot(const TVisulisationSurface& s) {
  std::string out;
  for (int32_t y = 0; y < s.Height(); ++y) {
    for (int32_t x = 0; x < s.Width(); ++x) out += s.FrontBuffer()[y * s.Width() + x] ? '#' : '.';
    out += '\n';
  }
  return out;
}

TEST(VisulisationSurfaceTest, DrawingPrimitives) {
  struct tCase {
    const char* Fault;
    std::function<void(TVisulisationSurface&)> Draw;
    const char* Want;
  } cases[] = {
      {"a line from a point to itself plots one pixel",
       [](TVisulisationSurface& s) { s.Line(2, 1, 2, 1, 0xFFFFFF); }, "......\n..#...\n......\n......\n"},
      {"shallow line: straight steps along x, diagonal when the error wraps",
       [](TVisulisationSurface& s) { s.Line(0, 0, 4, 2, 0xFFFFFF); }, "#.....\n.##...\n...##.\n......\n"},
      {"a line running off the surface is clipped, not wrapped",
       [](TVisulisationSurface& s) { s.Line(-2, 3, 8, 3, 0xFFFFFF); }, "......\n......\n......\n######\n"},
      {"a reversed rectangle is drawn as if given in order",
       [](TVisulisationSurface& s) {
         s.FillRect({3, 2, 1, 0}, 0xFFFFFF);
       },
       ".##...\n.##...\n......\n......\n"},
      {"a rectangle reaching the edges stops at W - 2 and H - 2",
       [](TVisulisationSurface& s) {
         s.FillRect({-5, -5, 60, 60}, 0xFFFFFF);
       },
       "#####.\n#####.\n#####.\n......\n"},
      {"circle outline of radius 1: the four side neighbours (the midpoint step ends there)",
       [](TVisulisationSurface& s) { s.Circle(2, 2, false, 0xFFFFFF, 1); },
       "......\n..#...\n.#.#..\n..#...\n"},
      {"circle outline of radius 2: twelve points, none at the centre",
       [](TVisulisationSurface& s) { s.Circle(2, 2, false, 0xFFFFFF, 2); },
       ".###..\n#...#.\n#...#.\n#...#.\n"},
      {"filled circle clipped at the surface's edge",
       [](TVisulisationSurface& s) { s.Circle(0, 0, true, 0xFFFFFF, 2); },
       "###...\n###...\n##....\n......\n"},
  };
  for (const tCase& c : cases) {
    TVisulisationSurface s(6, 4);
    c.Draw(s);
    EXPECT_EQ(Plot(s), c.Want) << c.Fault;
  }
}

TEST(VisulisationDisplacementMapTest, EveryKindStaysInsideTheSurface) {
  int32_t sizes[][2] = {{1, 1}, {2, 3}, {32, 24}, {33, 17}, {5, 80}};
  uint32_t seed = 1;
  auto random = [&](int32_t n) { return static_cast<int32_t>((seed = seed * 1103515245 + 12345) >> 16) % n; };
  for (auto& size : sizes) {
    TVisulisationDisplacementMap map(size[0], size[1]);
    uint32_t limit = static_cast<uint32_t>(size[0] * size[1] * 4);
    for (int32_t kind = 0;
         kind < TVisulisationDisplacementMap::kPolarKinds + TVisulisationDisplacementMap::kGridKinds;
         ++kind) {
      if (kind < TVisulisationDisplacementMap::kPolarKinds) {
        map.BuildPolarMap(kind);
      } else {
        map.BuildGridMap(kind - TVisulisationDisplacementMap::kPolarKinds, random);
      }
      for (int32_t i = 0; i < size[0] * size[1]; ++i) {
        uint32_t offset = map.Offsets()[i];
        ASSERT_LT(offset, limit) << "kind " << kind << " size " << size[0] << "x" << size[1];
        ASSERT_EQ(offset % 4, 0u);
      }
    }
  }
}

TEST(VisulisationDisplacementMapTest, KindsMoveAsDescribed) {
  TVisulisationDisplacementMap map(40, 30);
  auto source = [&](int32_t x, int32_t y) {
    uint32_t o = map.Offsets()[y * 40 + x] / 4;
    return std::pair<int32_t, int32_t>(static_cast<int32_t>(o % 40), static_cast<int32_t>(o / 40));
  };
  map.BuildPolarMap(0);
  EXPECT_EQ(source(20, 15), std::make_pair(20, 15)) << "the centre stays";
  auto [sx, sy] = source(39, 15);
  EXPECT_LT(sx, 39) << "kind 0 pulls from nearer the centre (the picture flows outward)";
  EXPECT_NE(sy, 15) << "and turns it";
  map.BuildPolarMap(4);
  EXPECT_EQ(source(0, 15), std::make_pair(0, 15)) << "kind 4 at r = 1 turns by 0.1 sin(5 pi) = 0";
  int32_t calls = 0;
  map.BuildGridMap(0, [&](int32_t n) {
    EXPECT_EQ(n, 2);
    return ++calls % 2;  // alternately 1 (minus) and 0 (plus)
  });
  EXPECT_EQ(calls, 40 * 30 * 2) << "two fresh choices per pixel";
  EXPECT_EQ(source(5, 5), std::make_pair(4, 6));
  EXPECT_EQ(source(0, 0), std::make_pair(0, 1)) << "clamped at the edge";
  // Same size: nothing is rebuilt, the last map stays.
  map.SetSize(40, 30);
  EXPECT_EQ(source(5, 5), std::make_pair(4, 6));
}

}  // namespace
}  // namespace ktv
