// The compatible back-end: the picture is converted on the CPU into a QImage, film grain is blended into it,
// and each present composes picture and television frame in a panel-sized back buffer that the paint copies
// to the screen. The sound goes to the block queue (tWaveOutAudioOutput).
//
// Threads: main thread only (see tPlayerBaseClass).
#pragma once

#include <QImage>
#include <QRect>
#include <array>

#include "platform/sound_device.h"
#include "playback/qt/player_base_class.h"

namespace ktv {

class tGDIWavePlayback : public tPlayerBaseClass {
  Q_OBJECT

 public:
  static constexpr int kGrainPictures = 4;
  static constexpr int kInnerPatchWidth = 30, kInnerPatchHeight = 28;

  // device: makes the sound device (empty = SDL).
  tGDIWavePlayback(QWidget* owner, tOggThreadManager* thread, tSoundDeviceFactory device = {});
  ~tGDIWavePlayback() override;

  void PresentFrame() override;
  void ShowVideoFrame(const yuv_buffer* frame, const bool* keyframe) override;
  void ShowVisualFrame(const uint32_t* pixels, int32_t width, int32_t height) override;
  void ResizeOutput(int32_t width, int32_t height) override;
  void SetFilmGrain(bool on) override;
  void SetFilmGrainLevel(uint8_t level) override;
  void Shutdown() override;

  // The picture format for a screen depth: 16-bit 5-6-5 below 17 bits, 32-bit otherwise (a 24-bit screen
  // also gets 32-bit pictures: the converters have no 24-bit mode).
  static QImage::Format ScreenFormat(int depth);
  // The conversion mode that fills a picture of this format: 15-bit → 2, 16-bit → 3, anything else → 4.
  static int32_t ModeForBitmap(const QImage& bitmap);

  // For tests and diagnostics.
  const QImage& Picture() const { return PictureBitmap; }
  const QRect& GetSourceRect() const { return SourceRect; }
  // A grain picture: one noise quarter, tiled over the picture.
  const QImage& Grain(int index) const { return GrainBitmap[index]; }
  const QImage& GetInnerPatch() const { return InnerPatch; }
  const QImage& GetBackBuffer() const { return BackBuffer; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The frame's pieces, cut once: the corners and the eight edge strips, opaque and with premultiplied alpha;
  // the edges also stretched to the panel's size (made again when the size or HighQuality changes).
  struct tFramePieces {
    std::array<QImage, 4> Corner;       // in the order of tCorner
    std::array<QImage, 8> Edge;         // in the order of the edge table
    std::array<QImage, 8> Stretched;    // the edges at their place's size, less their clear part
    std::array<QPoint, 8> StretchedAt;  // where each goes
    QSize StretchedFor;
    bool StretchedSmooth = false;
  };
  void MakeCornerBitmaps();
  void MakeInnerPatch();
  void BuildGrain();
  // The next grain picture over PictureBitmap.
  void DrawGrain();
  // The frame into PictureBitmap, with the next grain picture over it when `grain`.
  void ConvertPicture(const yuv_buffer& frame, bool grain);
  void ComposeBackBuffer();
  void DrawFrame(class QPainter& painter, tFramePieces& pieces);
  void EmptyPicture();

  QImage::Format PictureFormat;  // of the screen, for video pictures
  QImage PictureBitmap;
  QRect SourceRect;
  int32_t GrainIndex = 0;
  tFramePieces Opaque, Alpha;
  QImage InnerPatch;
  QImage BackBuffer;
  bool Composed = false;  // BackBuffer holds the current picture
  std::array<QImage, kGrainPictures> GrainBitmap;
};

}  // namespace ktv
