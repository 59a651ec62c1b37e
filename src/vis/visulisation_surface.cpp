#include "vis/visulisation_surface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "vis/vis_math.h"
#include "vis/visulisation_displacement_map.h"

namespace ktv {

namespace {

// Enough spare pixels for the furthest read past the picture (the blurs' below-right neighbour, two past).
constexpr int32_t kSparePixels = 4;
// A line longer than this cannot be meant for any surface; it is not drawn rather than walked point by point.
constexpr int32_t kMaxLineLength = 1 << 16;

constexpr uint32_t kRedBlue = 0x00FF00FF;
constexpr uint32_t kGreen = 0x0000FF00;
constexpr uint32_t kSpare = 0xFF000000;

inline int32_t Sign(int32_t v) {
  return (v > 0) - (v < 0);
}

// Blue to bits 0..7 and red to bits 32..39 of a 64-bit value.
inline uint64_t Spread(uint32_t pixel) {
  return (pixel & 0xFF) | (uint64_t{pixel & 0xFF0000} << 16);
}

}  // namespace

TVisulisationSurface::TVisulisationSurface(int32_t width, int32_t height)
    : SurfaceWidth(std::max(width, 1)), SurfaceHeight(std::max(height, 1)) {
  size_t count = static_cast<size_t>(SurfaceWidth) * static_cast<size_t>(SurfaceHeight) + kSparePixels;
  Back = std::make_unique<uint32_t[]>(count);  // value-initialised: zero
  Front = std::make_unique<uint32_t[]>(count);
  ColumnA = std::make_unique<int32_t[]>(static_cast<size_t>(SurfaceWidth));
  ColumnB = std::make_unique<int32_t[]>(static_cast<size_t>(SurfaceWidth));
  ColumnC = std::make_unique<int32_t[]>(static_cast<size_t>(SurfaceWidth));
}

void TVisulisationSurface::BlendPixel(uint32_t& dest, uint32_t source) const {
  switch (BlendMode) {
    case kBlendAverage: {
      // Per channel (d + s) >> 1 on the packed lanes; the spare byte stays.
      uint32_t rb = (((dest & kRedBlue) + (source & kRedBlue)) >> 1) & kRedBlue;
      uint32_t g = (((dest & kGreen) + (source & kGreen)) >> 1) & kGreen;
      dest = (dest & kSpare) | rb | g;
      break;
    }
    case kBlendAdd: {
      uint32_t out = dest & kSpare;
      for (int shift = 0; shift < 24; shift += 8) {
        uint32_t sum = ((dest >> shift) & 0xFF) + ((source >> shift) & 0xFF);
        out |= std::min<uint32_t>(sum, 255) << shift;
      }
      dest = out;
      break;
    }
    default:
      dest = source;
      break;
  }
}

void TVisulisationSurface::CopyFrontToBack(tFront front) {
  size_t bytes = static_cast<size_t>(SurfaceWidth) * static_cast<size_t>(SurfaceHeight) * 4;
  if (front == tFront::Kept) {
    std::memcpy(Back.get(), Front.get(), bytes);
    return;
  }
  // Swapping gives BackBuffer the same picture as a copy would, without moving it.
  std::swap(Back, Front);
  if (front == tFront::Cleared) std::memset(Front.get(), 0, bytes);
}

// --- Drawing -----------------------------------------------------------------------------------------------

void TVisulisationSurface::Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour) {
  int64_t dx64 = static_cast<int64_t>(x1) - x0, dy64 = static_cast<int64_t>(y1) - y0;
  int64_t longest = std::max(std::llabs(dx64), std::llabs(dy64));
  if (longest > kMaxLineLength) return;
  int32_t dx = static_cast<int32_t>(dx64), dy = static_cast<int32_t>(dy64);
  uint32_t pixel = ColorToPixel(colour);
  int32_t diagX = Sign(dx), diagY = Sign(dy);
  int32_t straightX, straightY, longLen, shortLen;
  if (std::abs(dx) > std::abs(dy)) {
    straightX = diagX, straightY = 0, longLen = std::abs(dx), shortLen = std::abs(dy);
  } else {
    straightX = 0, straightY = diagY, longLen = std::abs(dy), shortLen = std::abs(dx);
  }
  int32_t err = longLen >> 1;
  int32_t x = x0, y = y0;
  for (int32_t i = 0; i <= longLen; ++i) {
    if (x >= 0 && x < SurfaceWidth && y >= 0 && y < SurfaceHeight) BlendPixel(ScanLine(y)[x], pixel);
    err += shortLen;
    if (err >= longLen) {
      err -= longLen;
      x += diagX, y += diagY;
    } else {
      x += straightX, y += straightY;
    }
  }
}

void TVisulisationSurface::Circle(int32_t cx, int32_t cy, bool filled, uint32_t colour, int32_t radius) {
  uint32_t pixel = ColorToPixel(colour);
  auto plot = [&](int32_t px, int32_t py) {
    if (px >= 0 && px < SurfaceWidth && py >= 0 && py < SurfaceHeight) BlendPixel(ScanLine(py)[px], pixel);
  };
  int32_t x = 0, y = radius, d = 1 - radius;
  while (x <= y) {
    if (filled) {
      Line(cx - x, cy + y, cx + x, cy + y, colour);
      Line(cx - x, cy - y, cx + x, cy - y, colour);
      Line(cx - y, cy + x, cx + y, cy + x, colour);
      Line(cx - y, cy - x, cx + y, cy - x, colour);
    } else {
      plot(cx + x, cy + y), plot(cx - x, cy + y), plot(cx + x, cy - y), plot(cx - x, cy - y);
      plot(cx + y, cy + x), plot(cx - y, cy + x), plot(cx + y, cy - x), plot(cx - y, cy - x);
    }
    if (d >= 0) {
      d += 2 * (x - y) + 5;
      --y;
    } else {
      d += 2 * x + 3;
    }
    ++x;
  }
}

void TVisulisationSurface::FillRect(tVisRect rect, uint32_t colour) {
  int32_t left = std::clamp(rect.Left, 0, SurfaceWidth - 1),
          right = std::clamp(rect.Right, 0, SurfaceWidth - 1);
  int32_t top = std::clamp(rect.Top, 0, SurfaceHeight - 1),
          bottom = std::clamp(rect.Bottom, 0, SurfaceHeight - 1);
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  uint32_t pixel = ColorToPixel(colour);
  for (int32_t y = top; y < bottom; ++y) {
    uint32_t* row = ScanLine(y);
    for (int32_t x = left; x < right; ++x) BlendPixel(row[x], pixel);
  }
}

// --- Feedback ----------------------------------------------------------------------------------------------

void TVisulisationSurface::CopyRect(int32_t srcX, int32_t srcY, int32_t dstX, int32_t dstY, int32_t w,
                                    int32_t h) {
  if (dstX < 0) srcX -= dstX, w += dstX, dstX = 0;
  if (dstY < 0) srcY -= dstY, h += dstY, dstY = 0;
  // A copy that reaches the right or bottom edge stops one pixel short of it (the waves' look depends on it).
  if (dstX + w >= SurfaceWidth) w = SurfaceWidth - dstX - 1;
  if (dstY + h >= SurfaceHeight) h = SurfaceHeight - dstY - 1;
  if (w < 1 || h < 1) return;
  for (int32_t row = 0; row < h; ++row) {
    const uint32_t* from = Back.get() + static_cast<ptrdiff_t>(srcY + row) * SurfaceWidth + srcX;
    uint32_t* to = Front.get() + static_cast<ptrdiff_t>(dstY + row) * SurfaceWidth + dstX;
    if (w == 1) {
      *to = *from;
    } else {
      std::memcpy(to, from, static_cast<size_t>(w) * 4);
    }
  }
}

void TVisulisationSurface::HorizontalWave(int32_t amplitude, int32_t frequency, bool clear, double phase) {
  CopyFrontToBack(clear ? tFront::Cleared : tFront::Kept);
  for (int32_t y = 0; y < SurfaceHeight; ++y) {
    int32_t d = Nearest(std::sin(y * frequency / 100.0 + phase) * amplitude);
    CopyRect(0, y, d, y, SurfaceWidth, 1);
  }
}

void TVisulisationSurface::VerticalWave(int32_t amplitude, int32_t frequency, bool clear, double phase) {
  CopyFrontToBack(clear ? tFront::Cleared : tFront::Kept);
  // Each column is a CopyRect of one column shifted down by d; worked out per column, then copied row by row
  // (column by column would walk the whole picture against the cache).
  int32_t* firstRow = ColumnA.get();
  int32_t* rowCount = ColumnB.get();
  int32_t* shift = ColumnC.get();
  for (int32_t x = 0; x < SurfaceWidth; ++x) {
    int32_t d = Nearest(std::sin(x * frequency / 100.0 + phase) * amplitude);
    int32_t srcY = 0, dstY = d, h = SurfaceHeight;
    if (dstY < 0) srcY -= dstY, h += dstY, dstY = 0;
    if (dstY + h >= SurfaceHeight) h = SurfaceHeight - dstY - 1;
    // The same clip as CopyRect: a column that reaches the right edge is not copied at all.
    if (x + 1 >= SurfaceWidth || h < 1) h = 0;
    firstRow[x] = dstY, rowCount[x] = h, shift[x] = dstY - srcY;
  }
  for (int32_t y = 0; y < SurfaceHeight; ++y) {
    uint32_t* out = ScanLine(y);
    for (int32_t x = 0; x < SurfaceWidth; ++x) {
      if (y >= firstRow[x] && y < firstRow[x] + rowCount[x])
        out[x] = Back[static_cast<size_t>(y - shift[x]) * static_cast<size_t>(SurfaceWidth) +
                      static_cast<size_t>(x)];
    }
  }
}

void TVisulisationSurface::ApplyMap(const TVisulisationDisplacementMap& map) {
  if (map.Width() != SurfaceWidth || map.Height() != SurfaceHeight) return;
  CopyFrontToBack(tFront::Overwritten);  // every pixel is taken from the map
  const uint32_t* offsets = map.Offsets();
  size_t count = static_cast<size_t>(SurfaceWidth) * static_cast<size_t>(SurfaceHeight);
  const uint32_t* back = Back.get();
  uint32_t* front = Front.get();
  for (size_t i = 0; i < count; ++i) front[i] = back[offsets[i] >> 2];
}

void TVisulisationSurface::Rotate(int32_t angle, bool clear) {
  if (angle % 360 == 0) return;
  CopyFrontToBack(clear ? tFront::Cleared : tFront::Kept);
  double theta = -(angle / 10.0) * std::numbers::pi / 180.0;
  double c = std::cos(theta), s = std::sin(theta);
  int32_t cx = SurfaceWidth >> 1, cy = SurfaceHeight >> 1;
  int32_t* sourceX = ColumnA.get();
  int32_t* sourceY = ColumnB.get();
  // Coordinates are bounded by the surface size, far inside the range where this rounding is exact.
  constexpr double kRoundingMagic = 6755399441055744.0;
  for (int32_t y = 0; y < SurfaceHeight; ++y) {
    double Y = 2.0 * (y - cy) + 1;
    double rowX = -Y * s, rowY = Y * c;
    // First the source of every pixel of the row (plain arithmetic the compiler vectorises), then the copy.
    // Doubled coordinates put the centre between pixels; the division truncates toward zero.
    for (int32_t x = 0; x < SurfaceWidth; ++x) {
      double X = 2.0 * (x - cx) + 1;
      int32_t nx = static_cast<int32_t>((X * c + rowX + kRoundingMagic) - kRoundingMagic);
      int32_t ny = static_cast<int32_t>((X * s + rowY + kRoundingMagic) - kRoundingMagic);
      sourceX[x] = (nx - 1) / 2 + cx;
      sourceY[x] = (ny - 1) / 2 + cy;
    }
    uint32_t* out = ScanLine(y);
    const uint32_t* back = Back.get();
    for (int32_t x = 0; x < SurfaceWidth; ++x) {
      uint32_t sx = static_cast<uint32_t>(sourceX[x]), sy = static_cast<uint32_t>(sourceY[x]);
      if (sx < static_cast<uint32_t>(SurfaceWidth) && sy < static_cast<uint32_t>(SurfaceHeight))
        out[x] = back[static_cast<size_t>(sy) * static_cast<size_t>(SurfaceWidth) + sx];
    }
  }
}

void TVisulisationSurface::Zoom(int32_t newWidth, int32_t newHeight, bool clear) {
  int32_t srcSpanX, dstSpanX, srcSpanY, dstSpanY;
  if (newWidth > SurfaceWidth) {
    srcSpanX = 2 * SurfaceWidth - newWidth, dstSpanX = SurfaceWidth;
  } else {
    srcSpanX = SurfaceWidth, dstSpanX = newWidth;
  }
  if (newHeight > SurfaceHeight) {
    srcSpanY = 2 * SurfaceHeight - newHeight, dstSpanY = SurfaceHeight;
  } else {
    srcSpanY = SurfaceHeight, dstSpanY = newHeight;
  }
  srcSpanX = std::max(srcSpanX, 1), srcSpanY = std::max(srcSpanY, 1);
  bool coversAll = dstSpanX == SurfaceWidth && dstSpanY == SurfaceHeight;
  CopyFrontToBack(!clear ? tFront::Kept : (coversAll ? tFront::Overwritten : tFront::Cleared));
  if (dstSpanX < 1 || dstSpanY < 1) return;  // shrunk to nothing: only the cleared picture remains
  int32_t stepX = MulDiv(srcSpanX, 65536, dstSpanX), stepY = MulDiv(srcSpanY, 65536, dstSpanY);
  int32_t firstRow = (SurfaceHeight - dstSpanY) >> 1, firstColumn = (SurfaceWidth - dstSpanX) >> 1;
  int32_t startX = (SurfaceWidth - srcSpanX) << 15;
  int32_t sy = (SurfaceHeight - srcSpanY) << 15;
  const uint32_t* back = Back.get();
  // The source column and its fraction are the same on every row.
  int32_t* sourceColumn = ColumnA.get();
  int32_t* fraction = ColumnB.get();
  for (int32_t col = 0, sx = startX; col < dstSpanX; ++col, sx += stepX) {
    sourceColumn[col] = std::clamp(sx >> 16, 0, SurfaceWidth - 1);
    fraction[col] = sx & 65535;
  }
  for (int32_t row = 0; row < dstSpanY; ++row, sy += stepY) {
    int32_t row0 = std::clamp(sy >> 16, 0, SurfaceHeight - 1);
    int32_t row1 = row0 == SurfaceHeight - 1 ? row0 : row0 + 1;
    uint32_t fy = static_cast<uint32_t>(sy) & 65535;
    uint32_t fyInverse = 65536 - fy, fyNext = fy + 1;
    const uint32_t* line0 = back + static_cast<ptrdiff_t>(row0) * SurfaceWidth;
    const uint32_t* line1 = back + static_cast<ptrdiff_t>(row1) * SurfaceWidth;
    uint32_t* out = ScanLine(firstRow + row) + firstColumn;
    for (int32_t col = 0; col < dstSpanX; ++col) {
      // Reads one pixel right of ix, which on the last column is the next row's first (or a spare) pixel.
      int32_t ix = sourceColumn[col];
      uint32_t fx = static_cast<uint32_t>(fraction[col]);
      // MulDiv(a, b, 65536) of non-negative values; the products stay below 2^32. The weights sum to 65537
      // (fy + 1 below), so full channels stay full after the shift and no channel can exceed 255.
      uint32_t w01 = (fx * fyInverse + 32768) >> 16;
      uint32_t w00 = fyInverse - w01;
      uint32_t w11 = (fx * fyNext + 32768) >> 16;
      uint32_t w10 = fyNext - w11;
      uint32_t p00 = line0[ix], p01 = line0[ix + 1], p10 = line1[ix], p11 = line1[ix + 1];
      // Red and blue in two 32-bit lanes of one 64-bit product (each lane stays below 2^25), green alone.
      uint64_t rb = Spread(p00) * w00 + Spread(p01) * w01 + Spread(p10) * w10 + Spread(p11) * w11;
      uint32_t g = (((p00 >> 8) & 0xFF) * w00 + ((p01 >> 8) & 0xFF) * w01 + ((p10 >> 8) & 0xFF) * w10 +
                    ((p11 >> 8) & 0xFF) * w11) >>
                   16;
      uint32_t b = static_cast<uint32_t>(rb & 0xFFFFFFFF) >> 16;
      uint32_t r = static_cast<uint32_t>(rb >> 48);
      out[col] = (r << 16) | (g << 8) | b;
    }
  }
}

void TVisulisationSurface::Fade(int32_t factor) {
  uint32_t f = static_cast<uint32_t>(std::clamp(factor, 0, 256));
  size_t count = static_cast<size_t>(SurfaceWidth) * static_cast<size_t>(SurfaceHeight);
  uint32_t* front = Front.get();
  for (size_t i = 0; i < count; ++i) {
    uint32_t p = front[i];
    front[i] = (p & kSpare) | ((((p & kRedBlue) * f) >> 8) & kRedBlue) | ((((p & kGreen) * f) >> 8) & kGreen);
  }
}

void TVisulisationSurface::Pixelate(int32_t blockSize) {
  if (blockSize < 2) return;
  int32_t* sourceColumn = ColumnA.get();
  for (int32_t x = 0; x < SurfaceWidth; ++x) sourceColumn[x] = blockSize * (x / blockSize);
  for (int32_t y = 0; y < SurfaceHeight; ++y) {
    const uint32_t* from = Back.get() + static_cast<ptrdiff_t>(blockSize * (y / blockSize)) * SurfaceWidth;
    uint32_t* out = ScanLine(y);
    for (int32_t x = 0; x < SurfaceWidth; ++x) out[x] = from[sourceColumn[x]];
  }
}

// The pixels a blur does not touch keep the picture (the buffers were swapped, not copied).
void TVisulisationSurface::KeepOutsideRun(ptrdiff_t first, ptrdiff_t last) {
  ptrdiff_t count = static_cast<ptrdiff_t>(SurfaceWidth) * SurfaceHeight;
  std::memcpy(Front.get(), Back.get(), static_cast<size_t>(first) * 4);
  std::memcpy(Front.get() + last + 1, Back.get() + last + 1, static_cast<size_t>(count - last - 1) * 4);
}

// Both blurs take the pixels from (1, 1) on as one run over the rows (edge pixels mix with the opposite
// edge); the channels are summed in 16-bit lanes (red and blue together, green alone), which cannot overflow.
void TVisulisationSurface::Blur3x3() {
  if (SurfaceWidth < 3 || SurfaceHeight < 3) return;
  const ptrdiff_t w = SurfaceWidth;
  ptrdiff_t first = w + 1, last = first + w * (SurfaceHeight - 2);
  CopyFrontToBack(tFront::Overwritten);
  KeepOutsideRun(first, last);
  const uint32_t* back = Back.get();
  uint32_t* front = Front.get();
  for (ptrdiff_t i = first; i <= last; ++i) {
    uint32_t d1 = back[i - w - 1], d2 = back[i - w + 1], d3 = back[i + w - 1], d4 = back[i + w + 1];
    uint32_t s1 = back[i - w], s2 = back[i - 1], s3 = back[i + 1], s4 = back[i + w], c = back[i];
    uint32_t rbD = (d1 & kRedBlue) + (d2 & kRedBlue) + (d3 & kRedBlue) + (d4 & kRedBlue);
    uint32_t gD = (d1 & kGreen) + (d2 & kGreen) + (d3 & kGreen) + (d4 & kGreen);
    uint32_t rbS = (s1 & kRedBlue) + (s2 & kRedBlue) + (s3 & kRedBlue) + (s4 & kRedBlue);
    uint32_t gS = (s1 & kGreen) + (s2 & kGreen) + (s3 & kGreen) + (s4 & kGreen);
    uint32_t rb = ((rbD >> 4) & kRedBlue) + ((rbS >> 3) & kRedBlue) + (((c & kRedBlue) >> 2) & kRedBlue);
    uint32_t g = ((gD >> 4) & kGreen) + ((gS >> 3) & kGreen) + (((c & kGreen) >> 2) & kGreen);
    front[i] = (c & kSpare) | rb | g;
  }
}

void TVisulisationSurface::BlurCross() {
  if (SurfaceWidth < 3 || SurfaceHeight < 3) return;
  const ptrdiff_t w = SurfaceWidth;
  ptrdiff_t first = w + 1, last = first + w * (SurfaceHeight - 2);
  CopyFrontToBack(tFront::Overwritten);
  KeepOutsideRun(first, last);
  const uint32_t* back = Back.get();
  uint32_t* front = Front.get();
  for (ptrdiff_t i = first; i <= last; ++i) {
    uint32_t s1 = back[i - w], s2 = back[i - 1], s3 = back[i + 1], s4 = back[i + w], c = back[i];
    uint32_t rbS = (s1 & kRedBlue) + (s2 & kRedBlue) + (s3 & kRedBlue) + (s4 & kRedBlue);
    uint32_t gS = (s1 & kGreen) + (s2 & kGreen) + (s3 & kGreen) + (s4 & kGreen);
    uint32_t rb = ((rbS >> 3) & kRedBlue) + (((c & kRedBlue) >> 1) & kRedBlue);
    uint32_t g = ((gS >> 3) & kGreen) + (((c & kGreen) >> 1) & kGreen);
    front[i] = (c & kSpare) | rb | g;
  }
}

void TVisulisationSurface::MirrorTopToBottom() {
  for (int32_t i = 0; i <= SurfaceHeight >> 1; ++i) {
    int32_t to = SurfaceHeight - 1 - i;
    if (to != i) std::memcpy(ScanLine(to), ScanLine(i), static_cast<size_t>(SurfaceWidth) * 4);
  }
}

void TVisulisationSurface::MirrorRightToLeft() {
  for (int32_t y = 0; y < SurfaceHeight; ++y) {
    uint32_t* row = ScanLine(y);
    for (int32_t i = 0; i <= SurfaceWidth >> 1; ++i) row[i] = row[SurfaceWidth - 1 - i];
  }
}

}  // namespace ktv
