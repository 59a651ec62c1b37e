#include "ogg/yuv_convert.h"

#include <atomic>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "ogg/yuv_convert_kernels.h"

namespace ktv {

namespace {

uint8_t ClampTable[2049];  // index i + 1024 holds i limited to 0..255
int32_t CrToR[256], CbToG[256], CrToG[256], CbToB[256], YScale[256];

// -1 until the first conversion (or SetYUVPath) settles it; then a tYUVPath.
std::atomic<int32_t> ChosenPath{-1};

// Round to nearest, halves to even, as the rest of the program rounds.
int32_t RoundEven(double v) {
  std::fesetround(FE_TONEAREST);
  return static_cast<int32_t>(static_cast<int16_t>(std::nearbyint(v)));
}

inline uint8_t Clamp(int32_t i) {
  return ClampTable[i + 1024];
}

struct tRGB {
  uint8_t B, G, R;
};

inline tRGB Pixel(int32_t luma, int32_t blue, int32_t green, int32_t red) {
  return {Clamp(luma + blue), Clamp(luma - green), Clamp(luma + red)};
}

// The chroma terms of one sample: added to the luma term for blue and red, subtracted for green.
struct tTerms {
  int32_t Blue, Green, Red;
};

inline tTerms Terms(uint8_t u, uint8_t v) {
  return {CbToB[u], CbToG[u] + CrToG[v], CrToR[v]};
}

inline tRGB Pixel(uint8_t y, tTerms c) {
  return Pixel(YScale[y], c.Blue, c.Green, c.Red);
}

// The kernels of the current path for a layout (not Other); null for the tables alone.
const yuv::tFormatKernels* CurrentKernels(tChromaLayout layout) {
  const yuv::tKernels* kernels = yuv::KernelsFor(CurrentYUVPath());
  return kernels ? &kernels->Layout[static_cast<int>(layout)] : nullptr;
}

// 4:2:0: walks the picture in 2 x 2 blocks and hands each pixel to `store` with its byte address; a vector
// kernel, when there is one, does the front of each row pair first. The destination moves on by 2 * pitch -
// bytesPerPixel * |y_width| beyond what a chroma row wrote, so that with y_width = 2 * uv_width every output
// row starts one pitch below the previous one.
template <int BytesPerPixel, class tStore>
void ConvertBlocks(uint8_t* dest, int32_t pitch, const yuv_buffer& yuv, yuv::tRowKernel kernel,
                   tStore store) {
  const int uvWidth = yuv.uv_width, uvHeight = yuv.uv_height;
  const intptr_t rowStep = 2 * static_cast<intptr_t>(pitch) - BytesPerPixel * std::abs(yuv.y_width);
  uint8_t* row = dest;
  for (int j = 0; j < uvHeight; ++j) {
    const uint8_t* y0 = yuv.y + static_cast<intptr_t>(2 * j) * yuv.y_stride;
    const uint8_t* y1 = y0 + yuv.y_stride;
    const uint8_t* u = yuv.u + static_cast<intptr_t>(j) * yuv.uv_stride;
    const uint8_t* v = yuv.v + static_cast<intptr_t>(j) * yuv.uv_stride;
    uint8_t* out0 = row;
    uint8_t* out1 = row + pitch;
    int i = 0;
    if (kernel && uvWidth > 0) {
      i = kernel({y0, y1, u, v, out0, out1}, uvWidth);
      out0 += 2 * BytesPerPixel * static_cast<intptr_t>(i);
      out1 += 2 * BytesPerPixel * static_cast<intptr_t>(i);
    }
    for (; i < uvWidth; ++i) {
      const tTerms c = Terms(u[i], v[i]);
      store(out0, Pixel(y0[2 * i], c));
      store(out0 + BytesPerPixel, Pixel(y0[2 * i + 1], c));
      store(out1, Pixel(y1[2 * i], c));
      store(out1 + BytesPerPixel, Pixel(y1[2 * i + 1], c));
      out0 += 2 * BytesPerPixel;
      out1 += 2 * BytesPerPixel;
    }
    row = out0 + rowStep;
  }
}

// 4:2:2 and 4:4:4: one luma row per chroma row, each output row one pitch below the previous one.
template <int BytesPerPixel, bool FullWidth, class tStore>
void ConvertLines(uint8_t* dest, int32_t pitch, const yuv_buffer& yuv, yuv::tRowKernel kernel, tStore store) {
  const int uvWidth = yuv.uv_width;
  const int pairs = FullWidth ? uvWidth / 2 : uvWidth;
  for (int j = 0; j < yuv.uv_height; ++j) {
    const uint8_t* y = yuv.y + static_cast<intptr_t>(j) * yuv.y_stride;
    const uint8_t* u = yuv.u + static_cast<intptr_t>(j) * yuv.uv_stride;
    const uint8_t* v = yuv.v + static_cast<intptr_t>(j) * yuv.uv_stride;
    uint8_t* out = dest + static_cast<intptr_t>(j) * pitch;
    const int done = kernel && pairs > 0 ? kernel({y, nullptr, u, v, out, nullptr}, pairs) : 0;
    if constexpr (FullWidth) {
      for (int i = 2 * done; i < uvWidth; ++i) store(out + BytesPerPixel * i, Pixel(y[i], Terms(u[i], v[i])));
    } else {
      for (int i = done; i < uvWidth; ++i) {
        const tTerms c = Terms(u[i], v[i]);
        store(out + 2 * BytesPerPixel * i, Pixel(y[2 * i], c));
        store(out + 2 * BytesPerPixel * i + BytesPerPixel, Pixel(y[2 * i + 1], c));
      }
    }
  }
}

template <int BytesPerPixel, class tStore>
void Convert(uint8_t* dest, int32_t pitch, const yuv_buffer& yuv, tChromaLayout layout,
             yuv::tRowKernel yuv::tFormatKernels::*format, tStore store) {
  const yuv::tFormatKernels* kernels = layout == tChromaLayout::Other ? nullptr : CurrentKernels(layout);
  const yuv::tRowKernel kernel = kernels ? kernels->*format : nullptr;
  switch (layout) {
    case tChromaLayout::YUV420:
      return ConvertBlocks<BytesPerPixel>(dest, pitch, yuv, kernel, store);
    case tChromaLayout::YUV422:
      return ConvertLines<BytesPerPixel, false>(dest, pitch, yuv, kernel, store);
    case tChromaLayout::YUV444:
      return ConvertLines<BytesPerPixel, true>(dest, pitch, yuv, kernel, store);
    case tChromaLayout::Other:
      return;
  }
}

}  // namespace

void BuildYUVTables() {
  for (int i = -1024; i <= 1024; ++i)
    ClampTable[i + 1024] = static_cast<uint8_t>(i < 0 ? 0 : (i > 255 ? 255 : i));
  for (int c = 0; c < 256; ++c) {
    CrToR[c] = RoundEven((c - 128) * 1.402);
    CbToG[c] = RoundEven((c - 128) * 0.34414);
    CrToG[c] = RoundEven((c - 128) * 0.71414);
    CbToB[c] = RoundEven((c - 128) * 1.772);
    // 1.067, not the 1.164 of a full studio-range expansion.
    YScale[c] = Clamp(RoundEven((c - 16) * 1.067));
  }
}

tChromaLayout ChromaLayoutOf(const yuv_buffer& yuv) {
  const bool fullWidth = yuv.uv_width >= std::abs(yuv.y_width), fullHeight = yuv.uv_height >= yuv.y_height;
  if (!fullWidth) return fullHeight ? tChromaLayout::YUV422 : tChromaLayout::YUV420;
  return fullHeight ? tChromaLayout::YUV444 : tChromaLayout::Other;
}

int32_t ChromaColumns(tChromaLayout layout) {
  return layout == tChromaLayout::YUV444 ? 1 : (layout == tChromaLayout::Other ? 0 : 2);
}

int32_t ChromaRows(tChromaLayout layout) {
  return layout == tChromaLayout::YUV420 ? 2 : (layout == tChromaLayout::Other ? 0 : 1);
}

void YUVToRGB32(uint8_t* dest, int32_t pitch, const yuv_buffer& yuv) {
  Convert<4>(dest, pitch, yuv, ChromaLayoutOf(yuv), &yuv::tFormatKernels::RGB32, [](uint8_t* at, tRGB p) {
    at[0] = p.B;
    at[1] = p.G;
    at[2] = p.R;
  });
}

void YUVToRGB16(uint8_t* dest, int32_t pitch, const yuv_buffer& yuv, bool is565) {
  const tChromaLayout layout = ChromaLayoutOf(yuv);
  if (is565) {
    Convert<2>(dest, pitch, yuv, layout, &yuv::tFormatKernels::RGB565, [](uint8_t* at, tRGB p) {
      auto word = static_cast<uint16_t>(((p.R >> 3) << 11) | ((p.G >> 2) << 5) | (p.B >> 3));
      std::memcpy(at, &word, 2);
    });
  } else {
    Convert<2>(dest, pitch, yuv, layout, &yuv::tFormatKernels::RGB555, [](uint8_t* at, tRGB p) {
      auto word = static_cast<uint16_t>(((p.R >> 3) << 10) | ((p.G >> 3) << 5) | (p.B >> 3));
      std::memcpy(at, &word, 2);
    });
  }
}

void YUVToPacked(uint8_t* dest, int32_t pitch, const yuv_buffer& yuv, bool uyvy) {
  const tChromaLayout layout = ChromaLayoutOf(yuv);
  if (layout == tChromaLayout::Other) return;
  const yuv::tFormatKernels* kernels = CurrentKernels(layout);
  const yuv::tRowKernel kernel = kernels ? (uyvy ? kernels->UYVY : kernels->YUY2) : nullptr;
  // Byte positions of Y0, U, Y1, V within a pixel pair.
  const int y0 = uyvy ? 1 : 0, u = uyvy ? 0 : 1, y1 = uyvy ? 3 : 2, v = uyvy ? 2 : 3;
  const int rows = ChromaRows(layout), chromaStep = 3 - ChromaColumns(layout);  // chroma samples per pair
  const int pairs = yuv.uv_width / chromaStep;
  for (int j = 0; j < yuv.uv_height; ++j) {
    const uint8_t* luma0 = yuv.y + static_cast<intptr_t>(rows * j) * yuv.y_stride;
    const uint8_t* luma1 = rows == 2 ? luma0 + yuv.y_stride : nullptr;
    const uint8_t* cb = yuv.u + static_cast<intptr_t>(j) * yuv.uv_stride;
    const uint8_t* cr = yuv.v + static_cast<intptr_t>(j) * yuv.uv_stride;
    uint8_t* out0 = dest + static_cast<intptr_t>(rows * j) * pitch;
    uint8_t* out1 = rows == 2 ? out0 + pitch : nullptr;
    const int done = kernel && pairs > 0 ? kernel({luma0, luma1, cb, cr, out0, out1}, pairs) : 0;
    for (int i = done; i < pairs; ++i) {
      const int c = chromaStep * i;
      uint8_t* at = out0 + 4 * static_cast<intptr_t>(i);
      at[y0] = luma0[2 * i], at[u] = cb[c], at[y1] = luma0[2 * i + 1], at[v] = cr[c];
      if (rows == 2) {
        at = out1 + 4 * static_cast<intptr_t>(i);
        at[y0] = luma1[2 * i], at[u] = cb[c], at[y1] = luma1[2 * i + 1], at[v] = cr[c];
      }
    }
  }
}

const char* YUVPathName(tYUVPath path) {
  switch (path) {
    case tYUVPath::Plain:
      return "plain";
    case tYUVPath::SSE2:
      return "sse2";
    case tYUVPath::AVX2:
      return "avx2";
  }
  return "unknown";
}

bool YUVPathSupported(tYUVPath path) {
  return yuv::PathSupported(path);
}

tYUVPath CurrentYUVPath() {
  int32_t chosen = ChosenPath.load(std::memory_order_relaxed);
  if (chosen < 0) {
    tYUVPath fastest = tYUVPath::Plain;
    for (tYUVPath path : kYUVPaths)
      if (YUVPathSupported(path)) fastest = path;
    // Another thread may have chosen meanwhile (a test's SetYUVPath); its choice stands.
    chosen = static_cast<int32_t>(fastest);
    int32_t expected = -1;
    if (!ChosenPath.compare_exchange_strong(expected, chosen, std::memory_order_relaxed)) chosen = expected;
  }
  return static_cast<tYUVPath>(chosen);
}

bool SetYUVPath(tYUVPath path) {
  if (!YUVPathSupported(path)) return false;
  ChosenPath.store(static_cast<int32_t>(path), std::memory_order_relaxed);
  return true;
}

}  // namespace ktv
