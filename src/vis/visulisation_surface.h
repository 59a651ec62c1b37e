// A small software frame buffer with the feedback effects and drawing primitives the visualisation composes
// every frame. Pixels are 32-bit values 0x00RRGGBB (bytes blue, green, red, spare), rows top first.
//
// Thread contract: none inside; the visualisation thread owns it and the frame consumer reads FrontBuffer
// only while holding the visualisation's frame lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace ktv {

class TVisulisationDisplacementMap;

// Colour value 0x00BBGGRR to a pixel 0x00RRGGBB.
inline uint32_t ColorToPixel(uint32_t colour) {
  return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

struct tVisRect {
  int32_t Left, Top, Right, Bottom;
};

class TVisulisationSurface {
 public:
  enum : uint8_t { kBlendCopy = 0, kBlendAverage = 1, kBlendAdd = 2 };

  // Sizes below 1 count as 1.
  TVisulisationSurface(int32_t width, int32_t height);

  int32_t Width() const { return SurfaceWidth; }
  int32_t Height() const { return SurfaceHeight; }
  int32_t ByteSize() const { return SurfaceWidth * SurfaceHeight * 4; }
  uint32_t* FrontBuffer() { return Front.get(); }
  const uint32_t* FrontBuffer() const { return Front.get(); }
  const uint32_t* BackBuffer() const { return Back.get(); }
  uint32_t* ScanLine(int32_t y) { return Front.get() + static_cast<ptrdiff_t>(y) * SurfaceWidth; }

  uint8_t BlendMode = kBlendCopy;
  void BlendPixel(uint32_t& dest, uint32_t source) const;

  // Drawing: through BlendPixel into FrontBuffer, clipped to the surface. Colours are 0x00BBGGRR.
  void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour);
  void Circle(int32_t cx, int32_t cy, bool filled, uint32_t colour, int32_t radius);
  void FillRect(tVisRect rect, uint32_t colour);

  // Feedback: move the previous picture.
  void HorizontalWave(int32_t amplitude, int32_t frequency, bool clear, double phase);
  void VerticalWave(int32_t amplitude, int32_t frequency, bool clear, double phase);
  void ApplyMap(const TVisulisationDisplacementMap& map);  // a map of another size is ignored
  void Rotate(int32_t angle, bool clear);                  // tenths of a degree
  void Zoom(int32_t newWidth, int32_t newHeight, bool clear);
  void Fade(int32_t factor);         // channel * factor / 256
  void Pixelate(int32_t blockSize);  // from BackBuffer as it stood at the last copy
  void Blur3x3();
  void BlurCross();
  void MirrorTopToBottom();
  void MirrorRightToLeft();

 private:
  // What the operation needs of FrontBuffer once BackBuffer holds the picture: the picture still there, a
  // cleared front, or nothing (it writes every pixel itself; the buffers are then simply swapped).
  enum class tFront { Kept, Cleared, Overwritten };
  void CopyFrontToBack(tFront front);
  void KeepOutsideRun(ptrdiff_t first, ptrdiff_t last);
  void CopyRect(int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY, int32_t w, int32_t h);

  int32_t SurfaceWidth;
  int32_t SurfaceHeight;
  // Both buffers have spare zero pixels past the picture: the zoom reads one pixel past the last one and the
  // blurs' run (from (1, 1), rows taken as one run) reads up to two pixels past the last row.
  std::unique_ptr<uint32_t[]> Back;
  std::unique_ptr<uint32_t[]> Front;
  // Per-column tables (source column, fraction, offsets) the zoom, the vertical wave and the pixelation fill
  // once per call instead of once per pixel.
  std::unique_ptr<int32_t[]> ColumnA;
  std::unique_ptr<int32_t[]> ColumnB;
  std::unique_ptr<int32_t[]> ColumnC;
};

}  // namespace ktv
