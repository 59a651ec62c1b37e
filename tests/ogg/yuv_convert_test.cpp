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

// A picture with its own planes, strides wider than the picture.
struct tPlanes {
  tPlanes(int width, int height, unsigned seed) {
    std::mt19937 rng(seed);
    yuv.y_width = width;
    yuv.y_height = height;
    yuv.y_stride = width + 13;
    yuv.uv_width = width / 2;
    yuv.uv_height = height / 2;
    yuv.uv_stride = width / 2 + 7;
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
  int u = p.U[static_cast<size_t>(row / 2 * p.yuv.uv_stride + col / 2)];
  int v = p.V[static_cast<size_t>(row / 2 * p.yuv.uv_stride + col / 2)];
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
