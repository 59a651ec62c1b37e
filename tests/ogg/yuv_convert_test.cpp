#include "ogg/yuv_convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace ktv {
namespace {

class YUVConvert : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { BuildYUVTables(); }
};

// A picture with its own planes, strides wider than the picture; each chroma sample covers `columns` x
// `rows` luma samples.
struct tPlanes {
  tPlanes(int width, int height, unsigned seed, int columns = 2, int rows = 2)
      : Columns(columns), Rows(rows) {
    std::mt19937 rng(seed);
    yuv.y_width = width;
    yuv.y_height = height;
    yuv.y_stride = width + 13;
    yuv.uv_width = width / columns;
    yuv.uv_height = height / rows;
    yuv.uv_stride = width / columns + 7;
    Y.resize(static_cast<size_t>(yuv.y_stride * height));
    U.resize(static_cast<size_t>(yuv.uv_stride * yuv.uv_height));
    V.resize(U.size());
    for (auto* p : {&Y, &U, &V})
      for (auto& b : *p) b = static_cast<unsigned char>(rng());
    yuv.y = Y.data();
    yuv.u = U.data();
    yuv.v = V.data();
  }
  std::vector<unsigned char> Y, U, V;
  yuv_buffer yuv{};
  int Columns, Rows;
};

TEST_F(YUVConvert, KnownColours) {
  struct {
    uint8_t Y, U, V;
    uint8_t R, G, B;
    const char* Fault;
  } rows[] = {
      {16, 128, 128, 0, 0, 0, "studio black is black"},
      {235, 128, 128, 234, 234, 234, "studio white: the luma factor is 1.067, not 1.164"},
      {255, 128, 128, 255, 255, 255, "above white clamps to 255"},
      {0, 128, 128, 0, 0, 0, "below black clamps to 0"},
      {81, 90, 240, 226, 2, 2, "red"},
      {145, 54, 34, 6, 230, 7, "green"},
      {16, 0, 0, 0, 135, 0, "negative chroma terms clamp at 0 and lift green"},
      {255, 255, 255, 255, 120, 255, "positive chroma terms clamp at 255"},
  };
  for (const auto& row : rows) {
    tPlanes p(2, 2, 1);
    std::fill(p.Y.begin(), p.Y.end(), row.Y);
    std::fill(p.U.begin(), p.U.end(), row.U);
    std::fill(p.V.begin(), p.V.end(), row.V);
    uint8_t out[16];
    YUVToRGB32(out, 8, p.yuv);
    EXPECT_EQ(out[12], row.B) << row.Fault;
    EXPECT_EQ(out[13], row.G) << row.Fault;
    EXPECT_EQ(out[14], row.R) << row.Fault;
  }
}

int RoundEven(double v) {
  return static_cast<int>(std::nearbyint(v));
}
int Clamp255(int v) {
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// The conversion written out per pixel with floating point, independent of the tables and the block walk.
void ReferencePixel(const tPlanes& p, int row, int col, int& r, int& g, int& b) {
  int y = p.Y[static_cast<size_t>(row * p.yuv.y_stride + col)];
  int u = p.U[static_cast<size_t>(row / p.Rows * p.yuv.uv_stride + col / p.Columns)];
  int v = p.V[static_cast<size_t>(row / p.Rows * p.yuv.uv_stride + col / p.Columns)];
  int luma = Clamp255(RoundEven((y - 16) * 1.067));
  b = Clamp255(luma + RoundEven((u - 128) * 1.772));
  g = Clamp255(luma - RoundEven((u - 128) * 0.34414) - RoundEven((v - 128) * 0.71414));
  r = Clamp255(luma + RoundEven((v - 128) * 1.402));
}

TEST_F(YUVConvert, RGB32MatchesThePerPixelFormulaAndLeavesTheFourthByte) {
  for (auto [w, h] : {std::pair{64, 48}, {2, 2}, {176, 144}}) {
    tPlanes p(w, h, static_cast<unsigned>(w * h));
    const int pitch = w * 4 + 24;
    std::vector<uint8_t> dest(static_cast<size_t>(pitch * h), 0xAB);
    YUVToRGB32(dest.data(), pitch, p.yuv);
    int wrong = 0;
    for (int row = 0; row < h; ++row) {
      for (int col = 0; col < w; ++col) {
        int r, g, b;
        ReferencePixel(p, row, col, r, g, b);
        const uint8_t* px = &dest[static_cast<size_t>(row * pitch + col * 4)];
        wrong += px[0] != b || px[1] != g || px[2] != r || px[3] != 0xAB;
      }
      for (int pad = w * 4; pad < pitch; ++pad) wrong += dest[static_cast<size_t>(row * pitch + pad)] != 0xAB;
    }
    EXPECT_EQ(wrong, 0) << w << "x" << h;
  }
}

TEST_F(YUVConvert, RGB16PacksBothFormsAtTheirPitch) {
  tPlanes p(32, 16, 99);
  const int pitch = 32 * 2 + 10;
  for (bool is565 : {true, false}) {
    std::vector<uint8_t> dest(static_cast<size_t>(pitch * 16), 0xCD);
    YUVToRGB16(dest.data(), pitch, p.yuv, is565);
    int wrong = 0;
    for (int row = 0; row < 16; ++row) {
      for (int col = 0; col < 32; ++col) {
        int r, g, b;
        ReferencePixel(p, row, col, r, g, b);
        uint16_t expect = is565 ? static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
                                : static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
        uint16_t got;
        std::memcpy(&got, &dest[static_cast<size_t>(row * pitch + col * 2)], 2);
        wrong += got != expect;
      }
      for (int pad = 64; pad < pitch; ++pad) wrong += dest[static_cast<size_t>(row * pitch + pad)] != 0xCD;
    }
    EXPECT_EQ(wrong, 0) << (is565 ? "565" : "555");
  }
}

TEST_F(YUVConvert, WhitePacksToAllOnes) {
  tPlanes p(2, 2, 1);
  std::fill(p.Y.begin(), p.Y.end(), 255);
  std::fill(p.U.begin(), p.U.end(), 128);
  std::fill(p.V.begin(), p.V.end(), 128);
  uint16_t out[4];
  YUVToRGB16(reinterpret_cast<uint8_t*>(out), 4, p.yuv, true);
  EXPECT_EQ(out[0], 0xFFFF);
  YUVToRGB16(reinterpret_cast<uint8_t*>(out), 4, p.yuv, false);
  EXPECT_EQ(out[3], 0x7FFF) << "555 leaves the top bit 0";
}

TEST_F(YUVConvert, PackedKeepsTheSamplesInBothByteOrders) {
  tPlanes p(4, 2, 5);
  p.Y[0] = 10, p.Y[1] = 11, p.Y[2] = 12, p.Y[3] = 13;
  const size_t row1 = static_cast<size_t>(p.yuv.y_stride);
  p.Y[row1] = 20, p.Y[row1 + 1] = 21, p.Y[row1 + 2] = 22, p.Y[row1 + 3] = 23;
  p.U[0] = 100, p.U[1] = 101, p.V[0] = 200, p.V[1] = 201;
  uint8_t out[2][12];
  std::memset(out, 0xEE, sizeof out);
  YUVToPacked(&out[0][0], 12, p.yuv, false);
  EXPECT_EQ(std::vector<uint8_t>(out[0], out[0] + 12),
            (std::vector<uint8_t>{10, 100, 11, 200, 12, 101, 13, 201, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(std::vector<uint8_t>(out[1], out[1] + 8),
            (std::vector<uint8_t>{20, 100, 21, 200, 22, 101, 23, 201}))
      << "the second row shares the chroma row";
  YUVToPacked(&out[0][0], 12, p.yuv, true);
  EXPECT_EQ(std::vector<uint8_t>(out[1], out[1] + 8),
            (std::vector<uint8_t>{100, 20, 200, 21, 101, 22, 201, 23}));
}

TEST_F(YUVConvert, LayoutIsReadFromThePlaneSizes) {
  struct {
    int YWidth, YHeight, UVWidth, UVHeight;
    tChromaLayout Layout;
    const char* Fault;
  } rows[] = {
      {64, 48, 32, 24, tChromaLayout::YUV420, "half both ways"},
      {64, 48, 32, 48, tChromaLayout::YUV422, "half across, full down"},
      {64, 48, 64, 48, tChromaLayout::YUV444, "full both ways"},
      {7, 5, 7, 5, tChromaLayout::YUV444, "odd sizes, full"},
      {67, 48, 33, 24, tChromaLayout::YUV420, "odd luma width over half chroma"},
      {74, 6, 40, 3, tChromaLayout::YUV420, "chroma wider than half the luma is still subsampled"},
      {64, 48, 64, 24, tChromaLayout::Other, "full across, half down is no Theora layout"},
  };
  for (const auto& r : rows) {
    yuv_buffer yuv{};
    yuv.y_width = r.YWidth, yuv.y_height = r.YHeight, yuv.uv_width = r.UVWidth, yuv.uv_height = r.UVHeight;
    EXPECT_EQ(ChromaLayoutOf(yuv), r.Layout) << r.Fault;
  }
}

// 4:2:2 and 4:4:4 against the per-pixel formula: each pixel meets its own chroma sample, rows are one pitch
// apart, and nothing beyond the picture (row padding, the row under it) is written.
TEST_F(YUVConvert, SubsampledLayoutsMatchThePerPixelFormula) {
  struct {
    const char* Name;
    int Columns, Width, Height;
  } rows[] = {
      {"4:2:2", 2, 64, 48}, {"4:2:2", 2, 2, 1}, {"4:2:2", 2, 34, 5}, {"4:4:4", 1, 64, 48},
      {"4:4:4", 1, 7, 3},   {"4:4:4", 1, 1, 1}, {"4:4:4", 1, 65, 4},
  };
  for (const auto& r : rows) {
    tPlanes p(r.Width, r.Height, static_cast<unsigned>(r.Width * 7 + r.Height), r.Columns, 1);
    for (int bytes : {4, 2, -2}) {  // RGB32, RGB565, RGB555
      const int pitch = r.Width * std::abs(bytes) + 12;
      std::vector<uint8_t> dest(static_cast<size_t>(pitch * (r.Height + 1)), 0xAB);
      if (bytes == 4)
        YUVToRGB32(dest.data(), pitch, p.yuv);
      else
        YUVToRGB16(dest.data(), pitch, p.yuv, bytes == 2);
      int wrong = 0;
      for (int row = 0; row < r.Height; ++row) {
        for (int col = 0; col < r.Width; ++col) {
          int red, green, blue;
          ReferencePixel(p, row, col, red, green, blue);
          const uint8_t* px = &dest[static_cast<size_t>(row * pitch + col * std::abs(bytes))];
          if (bytes == 4) {
            wrong += px[0] != blue || px[1] != green || px[2] != red || px[3] != 0xAB;
          } else {
            uint16_t got;
            std::memcpy(&got, px, 2);
            wrong +=
                got != (bytes == 2 ? static_cast<uint16_t>((red >> 3) << 11 | (green >> 2) << 5 | blue >> 3)
                                   : static_cast<uint16_t>((red >> 3) << 10 | (green >> 3) << 5 | blue >> 3));
          }
        }
        for (int pad = r.Width * std::abs(bytes); pad < pitch; ++pad)
          wrong += dest[static_cast<size_t>(row * pitch + pad)] != 0xAB;
      }
      for (int at = r.Height * pitch; at < (r.Height + 1) * pitch; ++at)
        wrong += dest[static_cast<size_t>(at)] != 0xAB;
      EXPECT_EQ(wrong, 0) << r.Name << " " << r.Width << "x" << r.Height << ", " << bytes << " bytes";
    }
  }
}

TEST_F(YUVConvert, PackedSubsampledLayouts) {
  // 4:2:2: every row has its own chroma row.
  tPlanes p422(4, 2, 5, 2, 1);
  const size_t y1 = static_cast<size_t>(p422.yuv.y_stride), c1 = static_cast<size_t>(p422.yuv.uv_stride);
  for (int i = 0; i < 4; ++i) {
    p422.Y[static_cast<size_t>(i)] = static_cast<uint8_t>(10 + i);
    p422.Y[y1 + static_cast<size_t>(i)] = static_cast<uint8_t>(20 + i);
  }
  p422.U[0] = 100, p422.U[1] = 101, p422.V[0] = 200, p422.V[1] = 201;
  p422.U[c1] = 110, p422.U[c1 + 1] = 111, p422.V[c1] = 210, p422.V[c1 + 1] = 211;
  // 4:4:4 of an odd width: a pair takes its even pixel's chroma; the fifth column is left alone.
  tPlanes p444(5, 1, 6, 1, 1);
  for (int i = 0; i < 5; ++i) {
    p444.Y[static_cast<size_t>(i)] = static_cast<uint8_t>(10 + i);
    p444.U[static_cast<size_t>(i)] = static_cast<uint8_t>(100 + i);
    p444.V[static_cast<size_t>(i)] = static_cast<uint8_t>(200 + i);
  }
  struct {
    const tPlanes& Planes;
    bool Uyvy;
    std::vector<uint8_t> Expected;  // two rows of 12 bytes
    const char* Fault;
  } rows[] = {
      {p422,
       false,
       {10, 100, 11, 200, 12, 101, 13, 201, 0xEE, 0xEE, 0xEE, 0xEE,
        20, 110, 21, 210, 22, 111, 23, 211, 0xEE, 0xEE, 0xEE, 0xEE},
       "4:2:2 YUY2"},
      {p422,
       true,
       {100, 10, 200, 11, 101, 12, 201, 13, 0xEE, 0xEE, 0xEE, 0xEE,
        110, 20, 210, 21, 111, 22, 211, 23, 0xEE, 0xEE, 0xEE, 0xEE},
       "4:2:2 UYVY"},
      {p444,
       false,
       {10,   100,  11,   200,  12,   102,  13,   202,  0xEE, 0xEE, 0xEE, 0xEE,
        0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE},
       "4:4:4 YUY2"},
      {p444,
       true,
       {100,  10,   200,  11,   102,  12,   202,  13,   0xEE, 0xEE, 0xEE, 0xEE,
        0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE},
       "4:4:4 UYVY"},
  };
  for (const auto& r : rows) {
    std::vector<uint8_t> out(24, 0xEE);
    YUVToPacked(out.data(), 12, r.Planes.yuv, r.Uyvy);
    EXPECT_EQ(out, r.Expected) << r.Fault;
  }
}

TEST_F(YUVConvert, OtherLayoutsAreLeftAlone) {
  tPlanes p(8, 4, 3, 1, 2);  // full width, half height
  ASSERT_EQ(ChromaLayoutOf(p.yuv), tChromaLayout::Other);
  std::vector<uint8_t> out(8 * 4 * 4, 0x77);
  YUVToRGB32(out.data(), 32, p.yuv);
  YUVToRGB16(out.data(), 32, p.yuv, true);
  YUVToPacked(out.data(), 32, p.yuv, false);
  EXPECT_EQ(out, std::vector<uint8_t>(8 * 4 * 4, 0x77));
}

// The vector paths against the tables: each supported path must give the bytes the plain path gives, for
// every format, in every byte of the destination (including the fourth byte of RGB32 pixels and whatever the
// conversion must not touch).
struct tFormat {
  const char* Name;
  int BytesPerPixel;
  std::function<void(uint8_t*, int32_t, const yuv_buffer&)> Convert;
};

const tFormat kFormats[] = {
    {"RGB32", 4, [](uint8_t* d, int32_t pitch, const yuv_buffer& yuv) { YUVToRGB32(d, pitch, yuv); }},
    {"RGB565", 2, [](uint8_t* d, int32_t pitch, const yuv_buffer& yuv) { YUVToRGB16(d, pitch, yuv, true); }},
    {"RGB555", 2, [](uint8_t* d, int32_t pitch, const yuv_buffer& yuv) { YUVToRGB16(d, pitch, yuv, false); }},
    {"YUY2", 2, [](uint8_t* d, int32_t pitch, const yuv_buffer& yuv) { YUVToPacked(d, pitch, yuv, false); }},
    {"UYVY", 2, [](uint8_t* d, int32_t pitch, const yuv_buffer& yuv) { YUVToPacked(d, pitch, yuv, true); }},
};

class YUVVectorPath : public ::testing::TestWithParam<tYUVPath> {
 protected:
  static void SetUpTestSuite() { BuildYUVTables(); }
  void SetUp() override {
    Restore = CurrentYUVPath();
    if (!YUVPathSupported(GetParam())) GTEST_SKIP() << YUVPathName(GetParam()) << " is not available here";
  }
  void TearDown() override { SetYUVPath(Restore); }

  // Converts with the plain path and with the path under test into copies of `initial`; the number of bytes
  // that differ.
  static size_t Differences(const tFormat& format, const std::vector<uint8_t>& initial, size_t offset,
                            int32_t pitch, const yuv_buffer& yuv) {
    std::vector<uint8_t> expected = initial, got = initial;
    EXPECT_TRUE(SetYUVPath(tYUVPath::Plain));
    format.Convert(expected.data() + offset, pitch, yuv);
    EXPECT_TRUE(SetYUVPath(GetParam()));
    format.Convert(got.data() + offset, pitch, yuv);
    size_t wrong = 0;
    for (size_t i = 0; i < expected.size(); ++i) wrong += expected[i] != got[i];
    return wrong;
  }

  tYUVPath Restore = tYUVPath::Plain;
};

// Every Y with every (U, V) pair once: a 4096 x 4096 picture whose chroma sample k carries the pair k / 64
// and the lumas 4 (k % 64) .. 4 (k % 64) + 3. Equal output here proves the vector arithmetic equal to every
// table entry, the clamp table included.
TEST_P(YUVVectorPath, EqualsTheTablesForEveryYUVTriple) {
  constexpr int kChromaSide = 2048, kSide = 2 * kChromaSide;
  std::vector<uint8_t> Y(static_cast<size_t>(kSide) * kSide),
      U(static_cast<size_t>(kChromaSide) * kChromaSide), V(U.size());
  for (int j = 0; j < kChromaSide; ++j) {
    for (int i = 0; i < kChromaSide; ++i) {
      const int k = j * kChromaSide + i, pair = k / 64, lumas = 4 * (k % 64);
      U[static_cast<size_t>(k)] = static_cast<uint8_t>(pair & 255);
      V[static_cast<size_t>(k)] = static_cast<uint8_t>(pair >> 8);
      uint8_t* y0 = &Y[static_cast<size_t>(2 * j) * kSide + 2 * static_cast<size_t>(i)];
      y0[0] = static_cast<uint8_t>(lumas), y0[1] = static_cast<uint8_t>(lumas + 1);
      y0[kSide] = static_cast<uint8_t>(lumas + 2), y0[kSide + 1] = static_cast<uint8_t>(lumas + 3);
    }
  }
  const yuv_buffer yuv{kSide,       kSide,    kSide,    kChromaSide, kChromaSide,
                       kChromaSide, Y.data(), U.data(), V.data()};
  for (const tFormat& format : kFormats) {
    if (format.Name == std::string("YUY2") || format.Name == std::string("UYVY")) continue;  // no arithmetic
    const std::vector<uint8_t> initial(static_cast<size_t>(kSide) * kSide * format.BytesPerPixel, 0x5A);
    EXPECT_EQ(Differences(format, initial, 0, kSide * format.BytesPerPixel, yuv), 0u) << format.Name;
  }
}

// Random pictures in awkward layouts: row tails of every length a vector leaves, odd strides, unaligned
// planes and destinations, a luma width the chroma does not cover, and bottom-up pictures.
TEST_P(YUVVectorPath, EqualsTheTablesInEveryLayout) {
  struct tLayout {
    int ChromaWidth, ChromaHeight;
    int LumaWidthExtra;  // y_width = 2 x chroma width + this
    int YStrideExtra, UVStrideExtra, PlaneOffset, DestOffset, PitchExtra;
    bool BottomUp;
    const char* Fault;
  } layouts[] = {
      {640, 4, 0, 0, 0, 0, 0, 0, false, "whole vectors, tight strides"},
      {1, 3, 0, 1, 1, 0, 0, 0, false, "narrower than any vector: the tables alone"},
      {7, 2, 0, 3, 5, 1, 1, 3, false, "one short of an SSE2 step"},
      {9, 2, 0, 0, 0, 0, 0, 0, false, "an SSE2 step and one sample"},
      {15, 3, 0, 7, 3, 3, 2, 1, false, "one short of an AVX2 step"},
      {17, 2, 0, 2, 2, 1, 3, 5, false, "an AVX2 step and one sample"},
      {31, 2, 0, 1, 1, 0, 1, 1, false, "two steps short of one sample"},
      {33, 5, 1, 13, 7, 2, 0, 6, false, "odd luma width: the last column stays unwritten"},
      {40, 3, -6, 0, 0, 0, 0, 2, false, "luma narrower than its chroma: the RGB rows drift as before"},
      {45, 4, 4, 9, 1, 5, 7, 0, false, "luma wider than its chroma"},
      {63, 3, 0, 1, 3, 1, 0, 3, true, "bottom-up picture with an odd tail"},
      {64, 2, 0, 0, 0, 0, 0, 0, true, "bottom-up, whole vectors"},
  };
  std::mt19937 rng(7);
  for (const tLayout& layout : layouts) {
    const int uvWidth = layout.ChromaWidth, uvHeight = layout.ChromaHeight;
    const int yWidth = 2 * uvWidth + layout.LumaWidthExtra, yHeight = 2 * uvHeight;
    const int yStride = std::max(yWidth, 2 * uvWidth) + layout.YStrideExtra,
              uvStride = uvWidth + layout.UVStrideExtra;
    std::vector<uint8_t> Y(static_cast<size_t>(layout.PlaneOffset + yStride * yHeight)),
        U(static_cast<size_t>(layout.PlaneOffset + uvStride * uvHeight)), V(U.size());
    for (auto* plane : {&Y, &U, &V})
      for (auto& b : *plane) b = static_cast<uint8_t>(rng());
    const int off = layout.PlaneOffset;
    const yuv_buffer yuv{yWidth,   yHeight,        yStride,        uvWidth,       uvHeight,
                         uvStride, Y.data() + off, U.data() + off, V.data() + off};
    for (const tFormat& format : kFormats) {
      // Room for the widest row either walk can reach, with guard bytes around the picture.
      const int rowBytes = format.BytesPerPixel * (std::abs(yWidth) + 2 * uvWidth);
      const int pitch = rowBytes + layout.PitchExtra;
      const size_t guard = 64, size = guard * 2 + static_cast<size_t>(pitch) * (yHeight + 1);
      std::vector<uint8_t> initial(size);
      for (auto& b : initial) b = static_cast<uint8_t>(rng());
      const size_t first = layout.BottomUp ? guard + static_cast<size_t>(pitch) * (yHeight - 1) : guard;
      EXPECT_EQ(Differences(format, initial, first + static_cast<size_t>(layout.DestOffset),
                            layout.BottomUp ? -pitch : pitch, yuv),
                0u)
          << format.Name << ", " << uvWidth << " chroma wide: " << layout.Fault;
    }
  }
}

// 4:4:4 loads its chroma like luma, one sample per pixel: every Y with every (U, V) pair once in a
// 4096 x 4096 picture (pixel k carries the pair k / 256 and the luma k % 256).
TEST_P(YUVVectorPath, FullChromaEqualsTheTablesForEveryYUVTriple) {
  constexpr int kSide = 4096;
  std::vector<uint8_t> Y(static_cast<size_t>(kSide) * kSide), U(Y.size()), V(Y.size());
  for (size_t k = 0; k < Y.size(); ++k) {
    Y[k] = static_cast<uint8_t>(k & 255);
    U[k] = static_cast<uint8_t>((k >> 8) & 255);
    V[k] = static_cast<uint8_t>((k >> 16) & 255);
  }
  const yuv_buffer yuv{kSide, kSide, kSide, kSide, kSide, kSide, Y.data(), U.data(), V.data()};
  for (const tFormat& format : kFormats) {
    const std::vector<uint8_t> initial(static_cast<size_t>(kSide) * kSide * format.BytesPerPixel, 0x5A);
    EXPECT_EQ(Differences(format, initial, 0, kSide * format.BytesPerPixel, yuv), 0u) << format.Name;
  }
}

// Random 4:2:2 and 4:4:4 pictures: row tails of every length a vector leaves, odd widths, odd strides,
// unaligned planes and destinations, and bottom-up pictures.
TEST_P(YUVVectorPath, SubsampledLayoutsEqualTheTables) {
  struct tLayout {
    int Columns;  // luma columns per chroma sample: 2 for 4:2:2, 1 for 4:4:4
    int ChromaWidth, Height;
    int YStrideExtra, UVStrideExtra, PlaneOffset, DestOffset, PitchExtra;
    bool BottomUp;
    const char* Fault;
  } layouts[] = {
      {2, 640, 4, 0, 0, 0, 0, 0, false, "4:2:2, whole vectors"},
      {2, 1, 3, 1, 1, 0, 0, 0, false, "4:2:2 narrower than any vector"},
      {2, 7, 2, 3, 5, 1, 1, 3, false, "4:2:2 one short of an SSE2 step"},
      {2, 17, 3, 2, 2, 1, 3, 5, false, "4:2:2 an AVX2 step and one sample"},
      {2, 31, 2, 1, 1, 0, 1, 1, false, "4:2:2 one short of two AVX2 steps"},
      {2, 63, 3, 1, 3, 1, 0, 3, true, "4:2:2 bottom-up with an odd tail"},
      {1, 640, 4, 0, 0, 0, 0, 0, false, "4:4:4, whole vectors"},
      {1, 1, 3, 0, 0, 0, 0, 0, false, "4:4:4, one pixel wide"},
      {1, 15, 2, 3, 5, 1, 1, 3, false, "4:4:4 one short of an SSE2 step"},
      {1, 17, 2, 0, 0, 0, 0, 0, false, "4:4:4 an SSE2 step and one pixel"},
      {1, 31, 3, 7, 3, 3, 2, 1, false, "4:4:4 one short of an AVX2 step"},
      {1, 33, 2, 2, 2, 1, 3, 5, false, "4:4:4 an AVX2 step and one pixel"},
      {1, 66, 5, 13, 7, 2, 0, 6, false, "4:4:4 two AVX2 steps and a pair"},
      {1, 95, 3, 1, 3, 1, 0, 3, true, "4:4:4 bottom-up with an odd tail"},
  };
  std::mt19937 rng(11);
  for (const tLayout& layout : layouts) {
    const int uvWidth = layout.ChromaWidth, height = layout.Height;
    const int yWidth = layout.Columns * uvWidth;
    const int yStride = yWidth + layout.YStrideExtra, uvStride = uvWidth + layout.UVStrideExtra;
    std::vector<uint8_t> Y(static_cast<size_t>(layout.PlaneOffset + yStride * height)),
        U(static_cast<size_t>(layout.PlaneOffset + uvStride * height)), V(U.size());
    for (auto* plane : {&Y, &U, &V})
      for (auto& b : *plane) b = static_cast<uint8_t>(rng());
    const int off = layout.PlaneOffset;
    const yuv_buffer yuv{yWidth,   height,         yStride,        uvWidth,       height,
                         uvStride, Y.data() + off, U.data() + off, V.data() + off};
    for (const tFormat& format : kFormats) {
      const int pitch = format.BytesPerPixel * yWidth + layout.PitchExtra;
      const size_t guard = 64, size = guard * 2 + static_cast<size_t>(pitch) * (height + 1);
      std::vector<uint8_t> initial(size);
      for (auto& b : initial) b = static_cast<uint8_t>(rng());
      const size_t first = layout.BottomUp ? guard + static_cast<size_t>(pitch) * (height - 1) : guard;
      EXPECT_EQ(Differences(format, initial, first + static_cast<size_t>(layout.DestOffset),
                            layout.BottomUp ? -pitch : pitch, yuv),
                0u)
          << format.Name << ", " << uvWidth << " chroma wide: " << layout.Fault;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, YUVVectorPath, ::testing::Values(tYUVPath::SSE2, tYUVPath::AVX2),
                         [](const ::testing::TestParamInfo<tYUVPath>& info) {
                           return std::string(YUVPathName(info.param));
                         });

TEST(YUVPaths, OnlySupportedPathsCanBeChosen) {
  const tYUVPath before = CurrentYUVPath();
  EXPECT_TRUE(YUVPathSupported(tYUVPath::Plain)) << "the tables run everywhere";
  for (tYUVPath path : kYUVPaths) {
    EXPECT_EQ(SetYUVPath(path), YUVPathSupported(path)) << YUVPathName(path);
    if (YUVPathSupported(path)) {
      EXPECT_EQ(CurrentYUVPath(), path);
    }
  }
  EXPECT_FALSE(SetYUVPath(static_cast<tYUVPath>(7))) << "an unknown path is refused";
  SetYUVPath(before);
}

}  // namespace
}  // namespace ktv
