#include "vis/png_writer.h"

#include <gtest/gtest.h>

#include <vector>

#include "png_reader.h"

namespace ktv {
namespace {

using test::DecodePng;
using test::tDecoded;

TEST(PngWriterTest, RoundTripsThePixels) {
  // 3 x 2 with distinct channels; the spare byte is not written.
  std::vector<uint32_t> pixels = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xAA123456, 0x00000000, 0x00FFFFFF};
  tDecoded d = DecodePng(EncodePng(pixels.data(), 3, 2));
  ASSERT_TRUE(d.Ok);
  EXPECT_EQ(d.Width, 3u);
  EXPECT_EQ(d.Height, 2u);
  pixels[3] = 0x00123456;
  EXPECT_EQ(d.Pixels, pixels);
  EXPECT_TRUE(EncodePng(pixels.data(), 0, 2).empty());
  EXPECT_TRUE(EncodePng(nullptr, 3, 2).empty());
  EXPECT_FALSE(WritePng("/nonexistent-folder/x.png", pixels.data(), 3, 2));
}

}  // namespace
}  // namespace ktv
