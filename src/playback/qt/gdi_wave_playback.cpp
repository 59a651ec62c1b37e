#include "playback/qt/gdi_wave_playback.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cstring>
#include <utility>

#include "playback/qt/bitmap_routines.h"
#include "playback/wave_out_audio_output.h"

namespace ktv {

namespace {

constexpr int kFrameW = tPlayerBaseClass::kFrameWidth, kFrameH = tPlayerBaseClass::kFrameHeight;
constexpr int kGrainTile = tPlayerBaseClass::kNoiseSize / 2;  // each grain picture tiles one noise quarter
// Visualisation pictures beyond this many pixels are refused (the system's surfaces are far smaller).
constexpr int64_t kMaxVisualPixels = 4096LL * 4096;
// The picture is converted and grained this many rows at a time (even, for the 4:2:0 chroma rows): a band
// of a large picture still sits in the cache when the grain goes over it, which saves a trip to memory.
constexpr int kBandRows = 16;

// The edge strips: where each is cut from (a corner and a rectangle of it) ...
const std::array<std::pair<tPlayerBaseClass::tCorner, QRect>, 8> kEdgeSources = {{
    {tPlayerBaseClass::TopRight, {0, 0, 15, 56}},     // top, left half
    {tPlayerBaseClass::TopLeft, {49, 0, 15, 56}},     // top, right half
    {tPlayerBaseClass::BottomRight, {0, 0, 15, 56}},  // bottom, left half
    {tPlayerBaseClass::BottomLeft, {49, 0, 15, 56}},  // bottom, right half
    {tPlayerBaseClass::BottomLeft, {0, 0, 64, 14}},   // left, upper half
    {tPlayerBaseClass::TopLeft, {0, 42, 64, 14}},     // left, lower half
    {tPlayerBaseClass::BottomRight, {0, 0, 64, 14}},  // right, upper half
    {tPlayerBaseClass::TopRight, {0, 42, 64, 14}},    // right, lower half
}};

// ... and where it goes in a w x h panel, stretched. The second halves end where the corners begin: one
// pixel more (on an even size) would blend the frame's half-transparent edge twice, a dark tick at each
// corner.
std::array<QRect, 8> EdgeTargets(int w, int h) {
  const int hw = w / 2, hh = h / 2;
  return {{{64, 0, hw - 64, 56},
           {hw, 0, w - 64 - hw, 56},
           {64, h - 56, hw - 64, 56},
           {hw, h - 56, w - 64 - hw, 56},
           {0, 56, 64, hh - 56},
           {0, hh, 64, h - 56 - hh},
           {w - 64, 56, 64, hh - 56},
           {w - 64, hh, 64, h - 56 - hh}}};
}

QPoint CornerPosition(tPlayerBaseClass::tCorner corner, QSize piece, int w, int h) {
  const bool right = corner == tPlayerBaseClass::TopRight || corner == tPlayerBaseClass::BottomRight;
  const bool bottom = corner == tPlayerBaseClass::BottomLeft || corner == tPlayerBaseClass::BottomRight;
  return {right ? w - piece.width() : 0, bottom ? h - piece.height() : 0};
}

// Every pixel keeps its alpha A and each colour byte becomes value x A >> 8.
QImage Premultiplied(const QImage& frame) {
  QImage out(frame.size(), QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < frame.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < frame.width(); ++x) {
      const uint32_t a = qAlpha(in[x]);
      row[x] =
          a << 24 | (qRed(in[x]) * a >> 8) << 16 | (qGreen(in[x]) * a >> 8) << 8 | (qBlue(in[x]) * a >> 8);
    }
  }
  return out;
}

// Eight pixels at a time, as bytes and as 16-bit lanes (the compiler maps these onto the vector unit it has).
using tBytes32 = uint8_t __attribute__((vector_size(32)));
using tWords32 = uint16_t __attribute__((vector_size(64)));

// Blends a premultiplied tile of constant alpha over a 32-bit picture, repeated from the top left, in place:
// each byte becomes grain + byte x (255 - alpha) / 255 with the painter's own rounding, so the grain looks
// as it did when the painter drew it. One pass on this thread: the painter would hand a picture this size
// to its thread pool, and waking that for every frame costs more than the blend.
// Rows `top` to `bottom` (exclusive) only.
void BlendTiled(QImage& picture, const QImage& tile, uint32_t alpha, int top, int bottom) {
  const uint16_t keep = static_cast<uint16_t>(255 - std::min<uint32_t>(alpha, 255));
  const int w = picture.width(), tw = tile.width(), th = tile.height();
  for (int y = std::max(top, 0); y < std::min(bottom, picture.height()); ++y) {
    const uint8_t* grain = tile.constScanLine(y % th);
    uint8_t* row = picture.scanLine(y);
    for (int x0 = 0; x0 < w; x0 += tw) {
      uint8_t* out = row + static_cast<ptrdiff_t>(x0) * 4;
      const int bytes = std::min(tw, w - x0) * 4;
      int i = 0;
      for (; i + 32 <= bytes; i += 32) {
        tBytes32 d, g;
        std::memcpy(&d, out + i, 32);
        std::memcpy(&g, grain + i, 32);
        tWords32 t = __builtin_convertvector(d, tWords32) * keep;
        t = (t + (t >> 8) + 0x80) >> 8;
        d = __builtin_convertvector(t, tBytes32) + g;
        std::memcpy(out + i, &d, 32);
      }
      for (; i < bytes; ++i) {
        const uint32_t t = out[i] * uint32_t{keep};
        out[i] = static_cast<uint8_t>(((t + (t >> 8) + 0x80) >> 8) + grain[i]);
      }
    }
  }
}

// The painter's premultiplied "x times a over 255" on the four bytes of a pixel at once.
inline uint32_t ByteMul(uint32_t x, uint32_t a) {
  uint32_t t = (x & 0xFF00FF) * a;
  t = ((t + ((t >> 8) & 0xFF00FF) + 0x800080) >> 8) & 0xFF00FF;
  x = ((x >> 8) & 0xFF00FF) * a;
  x = (x + ((x >> 8) & 0xFF00FF) + 0x800080) & 0xFF00FF00;
  return x | t;
}

// A premultiplied piece over a 32-bit picture at `at` (clipped to it), with the painter's arithmetic. On
// this thread, for the same reason as BlendTiled: the frame's long edges would wake the painter's thread
// pool for every frame.
void BlendOver(QImage& target, QPoint at, const QImage& piece) {
  const QRect area = QRect(at, piece.size()).intersected(target.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const auto* in =
        reinterpret_cast<const uint32_t*>(piece.constScanLine(y - at.y())) + (area.left() - at.x());
    auto* out = reinterpret_cast<uint32_t*>(target.scanLine(y)) + area.left();
    for (int x = 0; x < area.width(); ++x) {
      const uint32_t a = in[x] >> 24;
      if (a == 255)
        out[x] = in[x];
      else if (a != 0)
        out[x] = in[x] + ByteMul(out[x], 255 - a);
    }
  }
}

// The smallest rectangle outside which a premultiplied picture is fully transparent (empty: all of it is).
QRect CoveredPart(const QImage& picture) {
  int left = picture.width(), right = -1, top = picture.height(), bottom = -1;
  for (int y = 0; y < picture.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    for (int x = 0; x < picture.width(); ++x) {
      if (qAlpha(row[x]) == 0) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// Copies `from` of one picture to `to` of another of the same format, unscaled, row by row.
void CopyPixels(const QImage& source, const QRect& from, QImage& target, QPoint to) {
  const int bytes = source.depth() / 8;
  for (int y = 0; y < from.height(); ++y)
    std::memcpy(target.scanLine(to.y() + y) + static_cast<ptrdiff_t>(to.x()) * bytes,
                source.constScanLine(from.y() + y) + static_cast<ptrdiff_t>(from.x()) * bytes,
                static_cast<size_t>(from.width()) * bytes);
}

// A picture of the screen's format, black and opaque (the fourth byte of 32-bit pixels stays 0xFF: the
// converters never write it).
QImage BlackPicture(int w, int h, QImage::Format format) {
  QImage picture(w, h, format);
  picture.fill(Qt::black);
  return picture;
}

}  // namespace

QImage::Format tGDIWavePlayback::ScreenFormat(int depth) {
  return depth < 17 ? QImage::Format_RGB16 : QImage::Format_RGB32;
}

int32_t tGDIWavePlayback::ModeForBitmap(const QImage& bitmap) {
  switch (bitmap.format()) {
    case QImage::Format_RGB555:
      return RGB555;
    case QImage::Format_RGB16:
      return RGB565;
    default:
      return RGB32;
  }
}

tGDIWavePlayback::tGDIWavePlayback(QWidget* owner, tOggThreadManager* thread, tSoundDeviceFactory device)
    : tPlayerBaseClass(owner, thread, [&device](tAudioOutputLinks links) -> std::unique_ptr<tAudioOutput> {
        links.CreateDevice = std::move(device);
        return std::make_unique<tWaveOutAudioOutput>(std::move(links));
      }) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  PictureFormat = ScreenFormat(screen ? screen->depth() : 32);
  MakeCornerBitmaps();
  MakeInnerPatch();
  FrameBitmap = QImage();  // the pieces hold all of it now
  Attach(AttachedThread());
}

tGDIWavePlayback::~tGDIWavePlayback() {
  StopEvents();
}

// ---------------------------------------------------------------------------------------------------------------
// The frame

void tGDIWavePlayback::MakeCornerBitmaps() {
  if (FrameBitmap.isNull()) return;
  // Each corner is the frame mirrored; the four flips in a row bring the frame back as it was loaded.
  QImage frame = FrameBitmap;
  const std::pair<tCorner, void (*)(QImage&)> steps[] = {{TopLeft, nullptr},
                                                         {BottomLeft, FlipVertical},
                                                         {BottomRight, FlipHorizontal},
                                                         {TopRight, FlipVertical}};
  for (const auto& [corner, flip] : steps) {
    if (flip) flip(frame);
    Opaque.Corner[corner] = frame.convertToFormat(PictureFormat);
    Alpha.Corner[corner] = Premultiplied(frame);
  }
  for (size_t i = 0; i < kEdgeSources.size(); ++i) {
    const auto& [corner, from] = kEdgeSources[i];
    Opaque.Edge[i] = Opaque.Corner[corner].copy(from);
    Alpha.Edge[i] = Alpha.Corner[corner].copy(from);
  }
}

void tGDIWavePlayback::MakeInnerPatch() {
  // The inner corners of the frame, 15 x 14 of each, make the empty screen.
  InnerPatch = BlackPicture(kInnerPatchWidth, kInnerPatchHeight, PictureFormat);
  if (Opaque.Corner[TopLeft].isNull()) return;
  QPainter painter(&InnerPatch);
  painter.drawImage(QPoint(0, 0), Opaque.Corner[BottomRight], QRect(0, 0, 15, 14));
  painter.drawImage(QPoint(15, 14), Opaque.Corner[TopLeft], QRect(49, 42, 15, 14));
  painter.drawImage(QPoint(15, 0), Opaque.Corner[BottomLeft], QRect(49, 0, 15, 14));
  painter.drawImage(QPoint(0, 14), Opaque.Corner[TopRight], QRect(0, 42, 15, 14));
}

void tGDIWavePlayback::DrawFrame(QPainter& painter, tFramePieces& pieces) {
  const int w = BackBuffer.width(), h = BackBuffer.height();
  auto place = [&](QPoint at, const QImage& piece) {
    if (BackBuffer.format() == QImage::Format_RGB32 && piece.format() == QImage::Format_ARGB32_Premultiplied)
      BlendOver(BackBuffer, at, piece);
    else
      painter.drawImage(at, piece);
  };
  for (int corner = TopLeft; corner <= BottomRight; ++corner) {
    const QImage& piece = pieces.Corner[corner];
    if (!piece.isNull()) place(CornerPosition(static_cast<tCorner>(corner), piece.size(), w, h), piece);
  }
  // The edges are stretched once for the panel's size (and filter), not for each frame.
  const std::array<QRect, 8> targets = EdgeTargets(w, h);
  if (pieces.StretchedFor != BackBuffer.size() || pieces.StretchedSmooth != HighQuality) {
    for (size_t i = 0; i < targets.size(); ++i) {
      QImage& stretched = pieces.Stretched[i];
      stretched = QImage();
      if (pieces.Edge[i].isNull() || targets[i].width() <= 0 || targets[i].height() <= 0) continue;
      stretched = QImage(targets[i].size(), pieces.Edge[i].format());
      stretched.fill(Qt::transparent);
      QPainter stretch(&stretched);
      stretch.setRenderHint(QPainter::SmoothPixmapTransform, HighQuality);
      stretch.setCompositionMode(QPainter::CompositionMode_Source);
      stretch.drawImage(stretched.rect(), pieces.Edge[i]);
      stretch.end();
      // Most of an edge is the clear inside of the frame: only the part that covers anything is blended.
      pieces.StretchedAt[i] = targets[i].topLeft();
      if (stretched.hasAlphaChannel()) {
        const QRect covered = CoveredPart(stretched);
        stretched = covered.isEmpty() ? QImage() : stretched.copy(covered);
        pieces.StretchedAt[i] += covered.topLeft();
      }
    }
    pieces.StretchedFor = BackBuffer.size();
    pieces.StretchedSmooth = HighQuality;
  }
  for (size_t i = 0; i < targets.size(); ++i)
    if (!pieces.Stretched[i].isNull()) place(pieces.StretchedAt[i], pieces.Stretched[i]);
}

// ---------------------------------------------------------------------------------------------------------------
// Pictures

void tGDIWavePlayback::BuildGrain() {
  // Each grain picture is one noise quarter, premultiplied once; it is tiled over the picture as it is drawn,
  // so a picture of a new size needs nothing built.
  const uint32_t strength = FilmGrainLevel * 20u / 255u;
  for (int i = 0; i < kGrainPictures; ++i) {
    QImage& grain = GrainBitmap[i];
    if (NoiseBitmap.isNull()) {
      grain = QImage();
      continue;
    }
    grain = QImage(kGrainTile, kGrainTile, QImage::Format_ARGB32_Premultiplied);
    const int tileX = (i % 2) * kGrainTile, tileY = (i / 2) * kGrainTile;
    for (int y = 0; y < kGrainTile; ++y) {
      const auto* noise = reinterpret_cast<const QRgb*>(NoiseBitmap.constScanLine(tileY + y));
      auto* row = reinterpret_cast<QRgb*>(grain.scanLine(y));
      for (int x = 0; x < kGrainTile; ++x) {
        const uint32_t v = qBlue(noise[tileX + x]) * strength >> 8;  // grey: R = G = B
        row[x] = strength << 24 | v << 16 | v << 8 | v;
      }
    }
  }
}

void tGDIWavePlayback::ConvertPicture(const yuv_buffer& frame, bool grain) {
  const int32_t pitch = static_cast<int32_t>(PictureBitmap.bytesPerLine());
  if (!grain || PictureBitmap.format() != QImage::Format_RGB32) {
    ConvertFrame(frame, ModeForBitmap(PictureBitmap), PictureBitmap.bits(), pitch);
    if (grain) DrawGrain();
    return;
  }
  GrainIndex = (GrainIndex + 1) % kGrainPictures;
  const QImage& tile = GrainBitmap[GrainIndex];
  const uint32_t alpha = FilmGrainLevel * 20u / 255u;
  // The rows the converter fills: whole chroma rows within the picture.
  const int rows = 2 * std::max(0, std::min(frame.uv_height, frame.y_height / 2));
  for (int top = 0; top < rows; top += kBandRows) {
    const int n = std::min(kBandRows, rows - top);
    yuv_buffer band = frame;
    band.y_height = n;
    band.uv_height = n / 2;
    band.y += static_cast<ptrdiff_t>(top) * frame.y_stride;
    band.u += static_cast<ptrdiff_t>(top / 2) * frame.uv_stride;
    band.v += static_cast<ptrdiff_t>(top / 2) * frame.uv_stride;
    ConvertFrame(band, RGB32, PictureBitmap.scanLine(top), pitch);
    BlendTiled(PictureBitmap, tile, alpha, top, top + n);
  }
  BlendTiled(PictureBitmap, tile, alpha, rows, PictureBitmap.height());
}

void tGDIWavePlayback::DrawGrain() {
  GrainIndex = (GrainIndex + 1) % kGrainPictures;
  const QImage& tile = GrainBitmap[GrainIndex];
  if (PictureBitmap.format() == QImage::Format_RGB32) {
    BlendTiled(PictureBitmap, tile, FilmGrainLevel * 20u / 255u, 0, PictureBitmap.height());
  } else {
    QPainter painter(&PictureBitmap);
    painter.fillRect(PictureBitmap.rect(), QBrush(tile));
  }
}

void tGDIWavePlayback::EmptyPicture() {
  PictureBitmap = QImage();
  SourceRect = QRect();
}

void tGDIWavePlayback::ShowVideoFrame(const yuv_buffer* frame, const bool* /*keyframe*/) {
  Visualisation->SetSuppressed(true);
  if (!frame || frame->y_width <= 0 || frame->y_height <= 0) {
    EmptyPicture();
    PresentFrame();
    return;
  }
  if (PictureBitmap.size() != QSize(frame->y_width, frame->y_height) ||
      PictureBitmap.format() != PictureFormat)
    PictureBitmap = BlackPicture(frame->y_width, frame->y_height, PictureFormat);
  if (GrainBitmap[0].isNull()) BuildGrain();
  const bool grain = FilmGrainLevel >= 2 && FilmGrain && !GrainBitmap[0].isNull();
  if (FramePicture(*frame, SourceRect))
    ConvertPicture(*frame, grain);
  else if (grain)
    DrawGrain();
  PresentFrame();
}

void tGDIWavePlayback::ShowVisualFrame(const uint32_t* pixels, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || int64_t{width} * height > kMaxVisualPixels) {
    EmptyPicture();
  } else {
    if (PictureBitmap.size() != QSize(width, height) || PictureBitmap.format() != QImage::Format_RGB32)
      PictureBitmap = BlackPicture(width, height, QImage::Format_RGB32);
    SourceRect = PictureBitmap.rect();
    for (int32_t y = 0; pixels && y < height; ++y) {
      const uint32_t* in = pixels + static_cast<intptr_t>(y) * width;
      auto* row = reinterpret_cast<QRgb*>(PictureBitmap.scanLine(y));
      for (int32_t x = 0; x < width; ++x) row[x] = in[x] | 0xFF000000u;  // RGB32 wants its fourth byte 0xFF
    }
  }
  PresentFrame();
}

// ---------------------------------------------------------------------------------------------------------------
// Presenting

void tGDIWavePlayback::ComposeBackBuffer() {
  Composed = true;
  if (BackBuffer.isNull()) return;
  const int w = BackBuffer.width(), h = BackBuffer.height();
  QPainter painter(&BackBuffer);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, HighQuality);
  if (!PictureBitmap.isNull() && !SourceRect.isEmpty()) {
    const int ix = BorderInsetX(), iy = BorderInsetY();
    const QRect picture(ix, iy, w - 2 * ix, h - 2 * iy);
    // The inset bands round the picture (under the frame's outer edge).
    for (const QRect& band : QRegion(BackBuffer.rect()).subtracted(picture))
      painter.fillRect(band, Qt::black);
    if (picture.size() == SourceRect.size() && PictureBitmap.format() == BackBuffer.format()) {
      // The picture at its own size (the usual case: the window fits itself to the video).
      CopyPixels(PictureBitmap, SourceRect, BackBuffer, picture.topLeft());
    } else {
      painter.setCompositionMode(QPainter::CompositionMode_Source);
      painter.drawImage(picture, PictureBitmap, SourceRect);
      painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    if (ShowTVBorder) DrawFrame(painter, Alpha);
  } else if (ShowTVBorder) {
    painter.fillRect(BackBuffer.rect(), Qt::black);
    DrawFrame(painter, Opaque);
    painter.drawImage(QRect(kFrameW, kFrameH, w - 2 * kFrameW, h - 2 * kFrameH), InnerPatch);
  } else {
    painter.fillRect(BackBuffer.rect(), Qt::black);
  }
}

void tGDIWavePlayback::PresentFrame() {
  ComposeBackBuffer();
  update();
}

void tGDIWavePlayback::paintEvent(QPaintEvent* event) {
  if (BackBuffer.size() != size()) ResizeOutput(width(), height());
  if (!Composed) ComposeBackBuffer();
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  for (const QRect& r : event->region()) painter.drawImage(r.topLeft(), BackBuffer, r);
}

void tGDIWavePlayback::ResizeOutput(int32_t width, int32_t height) {
  if (width < 1 || height < 1) {
    BackBuffer = QImage();
  } else if (BackBuffer.size() != QSize(width, height)) {
    BackBuffer = QImage(width, height, PictureFormat);
  }
  Composed = false;
  update();
}

void tGDIWavePlayback::SetFilmGrain(bool on) {
  FilmGrain = on;
  // Settings are applied together (HighQuality is written directly): the next paint composes afresh.
  Composed = false;
  update();
}

void tGDIWavePlayback::SetFilmGrainLevel(uint8_t level) {
  FilmGrainLevel = level;
  BuildGrain();
}

void tGDIWavePlayback::Shutdown() {
  tPlayerBaseClass::Shutdown();
  EmptyPicture();
  Composed = false;
  update();
}

}  // namespace ktv
