#include "ogg/yuv_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
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

}  // namespace
}  // namespace ktv
