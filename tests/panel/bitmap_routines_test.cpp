#include "playback/qt/bitmap_routines.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "ogg/yuv_convert.h"

namespace ktv {
namespace {

// A 4:2:0 frame over planes the test fills.
struct tPlanes {
  std::vector<uint8_t> Y, U, V;
  yuv_buffer Buffer{};
  tPlanes(int width, int height, int chromaHeight) {
    Y.assign(static_cast<size_t>(width) * height, 0);
    U.assign(static_cast<size_t>(width / 2) * chromaHeight, 0);
    V.assign(U.size(), 0);
    for (size_t i = 0; i < Y.size(); ++i) Y[i] = static_cast<uint8_t>(16 + 7 * i);
    for (size_t i = 0; i < U.size(); ++i)
      U[i] = static_cast<uint8_t>(90 + 11 * i), V[i] = static_cast<uint8_t>(170 - 5 * i);
    Buffer = {width, height, width, width / 2, chromaHeight, width / 2, Y.data(), U.data(), V.data()};
  }
};

TEST(ConvertFrame, PackedModesPairTwoLumaSamplesWithTheirChroma) {
  tPlanes frame(2, 2, 1);
  frame.Y = {10, 20, 30, 40};
  frame.U = {100};
  frame.V = {200};
  struct {
    int32_t Mode;
    std::array<uint8_t, 8> Expected;  // two rows of one pixel pair
  } rows[] = {
      {UYVY, {100, 10, 200, 20, 100, 30, 200, 40}},
      {YUY2, {10, 100, 20, 200, 30, 100, 40, 200}},
  };
  for (const auto& row : rows) {
    std::array<uint8_t, 8> out{};
    ConvertFrame(frame.Buffer, row.Mode, out.data(), 4);
    EXPECT_EQ(out, row.Expected) << "mode " << row.Mode;
  }
}

TEST(ConvertFrame, NegativePitchWritesABottomUpPicture) {
  tPlanes frame(4, 4, 2);
  for (int32_t mode : {UYVY, RGB32}) {
    const int pitch = 4 * (mode == RGB32 ? 4 : 2);
    std::vector<uint8_t> topDown(static_cast<size_t>(pitch) * 4), bottomUp(topDown.size());
    ConvertFrame(frame.Buffer, mode, topDown.data(), pitch);
    // The address of the top row is the last row of the memory.
    ConvertFrame(frame.Buffer, mode, bottomUp.data() + 3 * pitch, -pitch);
    for (int row = 0; row < 4; ++row)
      EXPECT_EQ(0, std::memcmp(topDown.data() + row * pitch, bottomUp.data() + (3 - row) * pitch, pitch))
          << "mode " << mode << ", row " << row;
  }
}

TEST(ConvertFrame, WritesNoMoreRowsThanTheLumaPlaneHas) {
  // A frame whose chroma has as many rows as its luma (4:2:2 shaped) must not write 2 x uv_height rows.
  tPlanes frame(4, 4, 4);
  for (int32_t mode : {YUY2, RGB565, RGB32}) {
    const int pitch = 4 * (mode == RGB32 ? 4 : 2);
    std::vector<uint8_t> out(static_cast<size_t>(pitch) * 8, 0xCD);
    ConvertFrame(frame.Buffer, mode, out.data(), pitch);
    for (size_t i = static_cast<size_t>(pitch) * 4; i < out.size(); ++i)
      ASSERT_EQ(out[i], 0xCD) << "mode " << mode << " wrote beyond the picture at byte " << i;
  }
}

// Damaged or odd buffers of every layout: the picture written never leaves y_width x y_height, and covers
// what the chroma planes reach.
TEST(ConvertFrame, EveryLayoutStaysInsideItsLumaSize) {
  struct {
    int YWidth, YHeight, UVWidth, UVHeight;
    int Columns, Rows;  // expected written area
    int PackedColumns;  // of the packed modes, which write whole pixel pairs
    const char* Fault;
  } rows[] = {
      {8, 4, 4, 4, 8, 4, 8, "4:2:2 fills the picture"},
      {8, 4, 8, 4, 8, 4, 8, "4:4:4 fills the picture"},
      {7, 3, 7, 3, 7, 3, 6, "4:4:4 of odd sizes: a packed pair needs two pixels"},
      {7, 3, 3, 3, 6, 3, 6, "4:2:2 of an odd width: the last column has no chroma"},
      {8, 4, 12, 6, 8, 4, 8, "4:4:4 with chroma larger than luma is cut to the luma"},
      {8, 4, 4, 9, 8, 4, 8, "4:2:2 with chroma rows beyond the luma"},
  };
  for (const auto& r : rows) {
    const int stride = 16;
    std::vector<uint8_t> Y(16 * 16, 100), U(16 * 16, 120), V(16 * 16, 140);
    const yuv_buffer frame{r.YWidth, r.YHeight, stride,   r.UVWidth, r.UVHeight,
                           stride,   Y.data(),  U.data(), V.data()};
    for (int32_t mode : {YUY2, RGB565, RGB32}) {
      const int bytes = BytesPerPixel(mode), pitch = 16 * bytes;
      std::vector<uint8_t> out(static_cast<size_t>(pitch) * 16, 0xCD);
      ConvertFrame(frame, mode, out.data(), pitch);
      int wrongOutside = 0, untouchedInside = 0;
      for (int row = 0; row < 16; ++row)
        for (int col = 0; col < 16; ++col) {
          const bool inside = row < r.Rows && col < (mode == YUY2 ? r.PackedColumns : r.Columns);
          const uint8_t* px = &out[static_cast<size_t>(row * pitch + col * bytes)];
          const bool touched = px[0] != 0xCD || px[1] != 0xCD;
          wrongOutside += !inside && touched;
          untouchedInside += inside && !touched;
        }
      EXPECT_EQ(wrongOutside, 0) << r.Fault << ", mode " << mode;
      EXPECT_EQ(untouchedInside, 0) << r.Fault << ", mode " << mode;
    }
  }
}

TEST(PixelConverters, UnknownModesLeaveTheDestinationUntouched) {
  tPlanes frame(4, 4, 2);
  const std::vector<uint8_t> pixels(4 * 4 * 4, 0x5A);
  for (int32_t mode : {5, 6, 100, -1}) {
    std::vector<uint8_t> out(64, 0xEE);
    ConvertFrame(frame.Buffer, mode, out.data(), 16);
    EXPECT_EQ(out, std::vector<uint8_t>(64, 0xEE)) << "ConvertFrame, mode " << mode;
    PackPixels16(pixels.data(), 16, 4, 16, out.data(), mode, 4);
    EXPECT_EQ(out, std::vector<uint8_t>(64, 0xEE)) << "PackPixels16, mode " << mode;
  }
  std::vector<uint8_t> out(64, 0xEE);
  PackPixels16(pixels.data(), 16, 4, 16, out.data(), YUY2, 4);
  EXPECT_EQ(out, std::vector<uint8_t>(64, 0xEE)) << "the packed YUV modes are not pixel packings";
}

TEST(PackPixels16, PacksRedGreenBlueIntoWords) {
  // Two rows of one pixel R 255, G 128, B 8 (bytes B, G, R, X); the destination rows are 4 bytes apart.
  const std::array<uint8_t, 8> source = {8, 128, 255, 0, 8, 128, 255, 0};
  struct {
    int32_t Mode;
    uint16_t Expected;
  } rows[] = {{RGB565, 0xFC01}, {RGB555, 0x7E01}};
  for (const auto& row : rows) {
    std::array<uint8_t, 8> out;
    out.fill(0x77);
    PackPixels16(source.data(), 4, 1, 4, out.data(), row.Mode, 2);
    for (int r = 0; r < 2; ++r) {
      uint16_t word;
      std::memcpy(&word, out.data() + 4 * r, 2);
      EXPECT_EQ(word, row.Expected) << "mode " << row.Mode << ", row " << r;
      EXPECT_EQ(out[4 * r + 2], 0x77) << "beyond the row's pixels";
    }
  }
  std::array<uint8_t, 16> copied{};
  PackPixels16(source.data(), 4, 1, 8, copied.data(), RGB32, 2);
  EXPECT_EQ(0, std::memcmp(copied.data(), source.data(), 4));
  EXPECT_EQ(0, std::memcmp(copied.data() + 8, source.data() + 4, 4))
      << "rows advance by the destination pitch";
}

TEST(BitmapRoutines, RegionFromBitmapTakesRunsOfNonKeyPixels) {
  // . = key (blue), # = anything else.
  const char* rows[] = {"..##.", "#####", "...#."};
  QImage bitmap(5, 3, QImage::Format_RGB32);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) bitmap.setPixel(x, y, rows[y][x] == '.' ? qRgb(0, 0, 255) : qRgb(0, 0, 254));
  const QRgb key = qRgb(0, 0, 255);

  const QRegion whole = RegionFromBitmap(bitmap, bitmap.rect(), key);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(whole.contains(QPoint(x, y)), rows[y][x] == '#') << x << "," << y;

  // A part of the bitmap, in its own coordinates; a rectangle reaching beyond the bitmap is clipped.
  const QRegion part = RegionFromBitmap(bitmap, QRect(2, 1, 10, 10), key);
  EXPECT_EQ(part, QRegion(0, 0, 3, 1) + QRegion(1, 1, 1, 1));
  EXPECT_TRUE(RegionFromBitmap(bitmap, QRect(10, 10, 4, 4), key).isEmpty());
  // The alpha byte does not count: a half-transparent blue is still the key.
  bitmap = bitmap.convertToFormat(QImage::Format_ARGB32);
  bitmap.setPixel(0, 0, qRgba(0, 0, 255, 10));
  EXPECT_FALSE(RegionFromBitmap(bitmap, bitmap.rect(), key).contains(QPoint(0, 0)));
}

TEST(BitmapRoutines, ReplaceColourKeepsAlphaAndOtherColours) {
  QImage bitmap(3, 1, QImage::Format_ARGB32);
  bitmap.setPixel(0, 0, qRgba(0, 0, 255, 30));
  bitmap.setPixel(1, 0, qRgba(0, 1, 255, 255));
  bitmap.setPixel(2, 0, qRgba(0, 0, 255, 255));
  ReplaceColour(bitmap, qRgb(0, 0, 255), qRgb(108, 109, 72));
  EXPECT_EQ(bitmap.pixel(0, 0), qRgba(108, 109, 72, 30));
  EXPECT_EQ(bitmap.pixel(1, 0), qRgba(0, 1, 255, 255));
  EXPECT_EQ(bitmap.pixel(2, 0), qRgba(108, 109, 72, 255));

  QImage small(2, 1, QImage::Format_RGB16);
  small.fill(QColor(0, 0, 255));
  ReplaceColour(small, qRgb(0, 0, 255), qRgb(8, 8, 8));
  EXPECT_EQ(small.depth(), 32) << "the bitmap is made 32-bit";
  EXPECT_EQ(small.pixel(1, 0) & RGB_MASK, qRgb(8, 8, 8) & RGB_MASK);
}

}  // namespace
}  // namespace ktv
