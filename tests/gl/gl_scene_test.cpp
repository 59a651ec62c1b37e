// The part of the OpenGL scene that needs no context: how a frame's chroma lies against its luma.
#include "playback/qt/gl_scene.h"

#include <gtest/gtest.h>

#include <vector>

namespace ktv {
namespace {

TEST(PlaneLayout, ComesFromThePlanesSizes) {
  static uint8_t plane[1];
  struct {
    int YWidth, YHeight, YStride, UVWidth, UVHeight, UVStride;
    bool Planes;
    int FactorX, FactorY;
    QRect Covered;
    const char* Note;
  } rows[] = {
      {640, 480, 640, 320, 240, 320, true, 2, 2, {0, 0, 640, 480}, "4:2:0"},
      {640, 480, 704, 320, 480, 352, true, 2, 1, {0, 0, 640, 480}, "4:2:2, padded rows"},
      {640, 480, 640, 640, 480, 640, true, 1, 1, {0, 0, 640, 480}, "4:4:4"},
      {640, 480, -640, 320, 240, -320, true, 2, 2, {0, 0, 640, 480}, "bottom-up rows"},
      {641, 481, 656, 321, 241, 336, true, 2, 2, {0, 0, 641, 481}, "odd sizes, the last chroma half used"},
      {640, 480, 640, 300, 200, 320, true, 2, 2, {0, 0, 600, 400}, "chroma too small: cropped to it"},
      {640, 480, 640, 700, 500, 704, true, 1, 1, {0, 0, 640, 480}, "chroma larger than luma: 1 to 1"},
      {640, 480, 639, 320, 240, 320, true, 0, 0, {}, "luma stride shorter than a row"},
      {640, 480, 640, 320, 240, -319, true, 0, 0, {}, "chroma stride shorter than a row"},
      {640, 480, 640, 320, 240, 320, false, 0, 0, {}, "a plane missing"},
      {0, 480, 640, 320, 240, 320, true, 0, 0, {}, "no width"},
      {640, 480, 640, 320, 0, 320, true, 0, 0, {}, "no chroma rows"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Note);
    const yuv_buffer frame{row.YWidth,  row.YHeight,  row.YStride,
                           row.UVWidth, row.UVHeight, row.UVStride,
                           plane,       plane,        row.Planes ? plane : nullptr};
    const tPlaneLayout layout = PlaneLayout(frame);
    EXPECT_EQ(layout.Covered, row.Covered);
    if (!row.Covered.isEmpty()) {
      EXPECT_EQ(layout.FactorX, row.FactorX);
      EXPECT_EQ(layout.FactorY, row.FactorY);
    }
  }
}

}  // namespace
}  // namespace ktv
