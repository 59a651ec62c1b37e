#include "playback/qt/bitmap_routines.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "ogg/yuv_convert.h"

namespace ktv {

namespace {

// The part of a frame that its chroma layout covers within its own luma size: a damaged buffer never makes
// the converters write beyond y_width x y_height. False for a layout no Theora frame has.
bool BoundedFrame(const yuv_buffer& frame, yuv_buffer& bounded) {
  const tChromaLayout layout = ChromaLayoutOf(frame);
  if (layout == tChromaLayout::Other || !frame.y || !frame.u || !frame.v) return false;
  const int32_t columns = ChromaColumns(layout), rows = ChromaRows(layout);
  bounded = frame;
  bounded.uv_width = std::min(frame.uv_width, frame.y_width / columns);
  bounded.uv_height = std::min(frame.uv_height, frame.y_height / rows);
  bounded.y_width = columns * bounded.uv_width;
  bounded.y_height = rows * bounded.uv_height;
  return bounded.uv_width > 0 && bounded.uv_height > 0;
}

// The converters' tables are built once, on first use.
void EnsureYUVTables() {
  static std::once_flag built;
  std::call_once(built, BuildYUVTables);
}

}  // namespace

int32_t BytesPerPixel(int32_t mode) {
  switch (mode) {
    case YUY2:
    case UYVY:
    case RGB555:
    case RGB565:
      return 2;
    case RGB32:
      return 4;
    default:
      return 0;
  }
}

void ConvertFrame(const yuv_buffer& frame, int32_t mode, uint8_t* destination, int32_t pitch) {
  yuv_buffer bounded;
  if (mode < YUY2 || mode > RGB32 || !destination || !BoundedFrame(frame, bounded)) return;
  switch (mode) {
    case YUY2:
    case UYVY:
      YUVToPacked(destination, pitch, bounded, mode == UYVY);
      break;
    case RGB555:
    case RGB565:
      EnsureYUVTables();
      YUVToRGB16(destination, pitch, bounded, mode == RGB565);
      break;
    default:
      EnsureYUVTables();
      YUVToRGB32(destination, pitch, bounded);
      break;
  }
}

void PackPixels16(const uint8_t* source, int32_t sourcePitch, int32_t width, int32_t destinationPitch,
                  uint8_t* destination, int32_t mode, int32_t height) {
  if (mode < RGB555 || mode > RGB32 || !source || !destination || width <= 0) return;
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* in = source + static_cast<intptr_t>(row) * sourcePitch;
    uint8_t* out = destination + static_cast<intptr_t>(row) * destinationPitch;
    if (mode == RGB32) {
      std::memcpy(out, in, static_cast<size_t>(width) * 4);
      continue;
    }
    for (int32_t x = 0; x < width; ++x, in += 4, out += 2) {
      const uint32_t b = in[0], g = in[1], r = in[2];
      const uint16_t word = mode == RGB565 ? static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3))
                                           : static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
      std::memcpy(out, &word, 2);
    }
  }
}

void ReplaceColour(QImage& bitmap, QRgb from, QRgb to) {
  if (bitmap.isNull()) return;
  if (bitmap.format() != QImage::Format_RGB32 && bitmap.format() != QImage::Format_ARGB32)
    bitmap = bitmap.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = from & RGB_MASK, colour = to & RGB_MASK;
  for (int y = 0; y < bitmap.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(bitmap.scanLine(y));
    for (int x = 0; x < bitmap.width(); ++x)
      if ((row[x] & RGB_MASK) == key) row[x] = (row[x] & ~RGB_MASK) | colour;
  }
}

void FlipVertical(QImage& bitmap) {
  bitmap.mirror(false, true);
}

void FlipHorizontal(QImage& bitmap) {
  bitmap.mirror(true, false);
}

QRegion RegionFromBitmap(const QImage& bitmap, const QRect& rectangle, QRgb key) {
  const QRect area = rectangle.intersected(bitmap.rect());
  if (area.isEmpty()) return {};
  const QImage pixels = bitmap.format() == QImage::Format_RGB32 || bitmap.format() == QImage::Format_ARGB32
                            ? bitmap
                            : bitmap.convertToFormat(QImage::Format_ARGB32);
  const QRgb colour = key & RGB_MASK;
  std::vector<QRect> runs;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
    for (int x = area.left(); x <= area.right();) {
      if ((row[x] & RGB_MASK) == colour) {
        ++x;
        continue;
      }
      const int start = x;
      while (x <= area.right() && (row[x] & RGB_MASK) != colour) ++x;
      runs.emplace_back(start - rectangle.left(), y - rectangle.top(), x - start, 1);
    }
  }
  QRegion region;
  region.setRects(runs.data(), static_cast<int>(runs.size()));
  return region;
}

}  // namespace ktv
