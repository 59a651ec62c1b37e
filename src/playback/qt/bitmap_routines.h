// Pixel routines shared by the two picture back-ends and the console: the frame converters into the five
// conversion modes, and the small bitmap helpers the window shapes are cut with.
//
// Pictures are 32-bit pixels stored B, G, R and a fourth byte, rows top first (QImage's RGB32/ARGB32 on a
// little-endian machine). Colours are compared by red, green and blue only.
#pragma once

#include <QImage>
#include <QRegion>
#include <cstdint>

#include "ogg/codec_libraries.h"

namespace ktv {

// What a converted picture's pixels look like; the number is what the back-ends store.
enum tConversionMode : int32_t {
  YUY2 = 0,    // packed 4:2:2, bytes Y0 U Y1 V per pixel pair
  UYVY = 1,    // packed 4:2:2, bytes U Y0 V Y1 per pixel pair
  RGB555 = 2,  // 16-bit, red in bits 10..14, green 5..9, blue 0..4
  RGB565 = 3,  // 16-bit, red in bits 11..15, green 5..10, blue 0..4
  RGB32 = 4,   // 32-bit, bytes B, G, R, X (the fourth byte is never written)
};

// Bytes one pixel takes in a mode (2 for the packed and 16-bit modes, 4 for RGB32); 0 for an unknown mode.
int32_t BytesPerPixel(int32_t mode);

// Converts a 4:2:0, 4:2:2 or 4:4:4 frame (the layout read from its plane sizes) into `destination`, whose
// rows are `pitch` bytes apart (negative for a bottom-up picture: `destination` is then the address of the
// top row). The destination holds y_width x y_height pixels of the mode. A mode above 4, or a frame of no
// Theora layout, leaves it untouched.
void ConvertFrame(const yuv_buffer& frame, int32_t mode, uint8_t* destination, int32_t pitch);

// Copies `height` rows of `width` 32-bit B, G, R, X pixels into 16-bit (modes 2 and 3) or 32-bit (mode 4)
// pixels; other modes leave the destination untouched.
void PackPixels16(const uint8_t* source, int32_t sourcePitch, int32_t width, int32_t destinationPitch,
                  uint8_t* destination, int32_t mode, int32_t height);

// Makes the bitmap 32-bit (ARGB32 unless it already is RGB32 or ARGB32) and gives every pixel of the colour
// `from` the red, green and blue of `to`; alpha bytes are kept.
void ReplaceColour(QImage& bitmap, QRgb from, QRgb to);
// Mirror the bitmap in place, top to bottom / left to right.
void FlipVertical(QImage& bitmap);
void FlipHorizontal(QImage& bitmap);
// The pixels of `rectangle` (clipped to the bitmap) whose colour is not `key`, as a region in the
// rectangle's coordinates: one one-row rectangle per run of such pixels.
QRegion RegionFromBitmap(const QImage& bitmap, const QRect& rectangle, QRgb key);

}  // namespace ktv
