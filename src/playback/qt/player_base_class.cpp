#include "playback/qt/player_base_class.h"

#include <QEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <algorithm>
#include <exception>
#include <optional>
#include <random>

#include "artwork/artwork.h"
#include "ogg/theora_codec.h"
#include "playback/qt/bitmap_routines.h"
#include "stream/ogg_thread_manager.h"

namespace ktv {

namespace {

constexpr QRgb kFrameKey = 0xFF0000FF;  // pure blue: outside the frame
// Resize zones: the corner zones reach this far into the panel.
constexpr int kZoneWidth = 32, kZoneHeight = 28;
// The straight parts of the window shape start this far from the window's edges.
constexpr int kShapeInsetX = 63, kShapeInsetY = 55;

std::optional<tFrameArtwork>& TestArtwork() {
  static std::optional<tFrameArtwork> artwork;
  return artwork;
}

}  // namespace

tFrameArtwork tFrameArtwork::FromResources() {
  return {LoadArtwork(QStringLiteral("TV_FRAME")), LoadArtwork(QStringLiteral("TV_MASK"))};
}

void SetFrameArtworkForTesting(const tFrameArtwork* artwork) {
  if (artwork)
    TestArtwork() = *artwork;
  else
    TestArtwork().reset();
}

tPlayerBaseClass::tPlayerBaseClass(QWidget* owner, tOggThreadManager* thread,
                                   const tSoundOutputMaker& makeSound)
    : QWidget(owner), Thread(thread) {
  FrameTimer.setInterval(kFrameTimerMs);
  Visualisation = std::make_unique<TVisulisationSystem>([this] { return PlayedFramesForVisualisation(); });

  // Every paint covers the whole panel: nothing is erased first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);

  LoadFrameArtwork();
  MakeNoise();

  tAudioOutputLinks links;
  links.GetFormat = [this] {
    tAudioFormat format;
    if (Thread) Thread->GetAudioFormat(format.SampleRate, format.Channels);
    return format;
  };
  links.Visualisation = Visualisation.get();
  // Without a sound device the thread stops offering sound and times pictures by the wall clock.
  links.OnNoSoundOutput = [this] {
    if (!Thread) return;
    Thread->OnAudioData = nullptr;
    Thread->OnGetAudioTime = nullptr;
  };
  Sound = makeSound(std::move(links));

  connect(&FrameTimer, &QTimer::timeout, this, &tPlayerBaseClass::FrameTimerTick);
  FrameTimer.start();
}

tPlayerBaseClass::~tPlayerBaseClass() {
  StopEvents();
  // The sound goes before the visualisation it feeds; a played-frames question still waiting for the main
  // thread then finds no sound.
  tPlayerBaseClass::Shutdown();
  Sound.reset();
  Visualisation.reset();
  if (Aligned && parentWidget()) parentWidget()->removeEventFilter(this);
}

void tPlayerBaseClass::StopEvents() {
  FrameTimer.stop();
  UnbindEvents();
}

// ---------------------------------------------------------------------------------------------------------------
// Artwork and noise

void tPlayerBaseClass::LoadFrameArtwork() {
  const tFrameArtwork artwork = TestArtwork() ? *TestArtwork() : tFrameArtwork::FromResources();
  if (artwork.Frame.isNull()) return;  // no frame: square corners, nothing drawn
  FrameBitmap = artwork.Frame.convertToFormat(QImage::Format_ARGB32);

  QImage scratch = FrameBitmap;
  CornerRegion[TopLeft] = RegionFromBitmap(scratch, scratch.rect(), kFrameKey);
  FlipVertical(scratch);
  CornerRegion[BottomLeft] = RegionFromBitmap(scratch, scratch.rect(), kFrameKey);
  scratch = FrameBitmap;
  FlipHorizontal(scratch);
  CornerRegion[TopRight] = RegionFromBitmap(scratch, scratch.rect(), kFrameKey);
  scratch = FrameBitmap;
  FlipVertical(scratch);
  FlipHorizontal(scratch);
  CornerRegion[BottomRight] = RegionFromBitmap(scratch, scratch.rect(), kFrameKey);

  ReplaceColour(FrameBitmap, kFrameKey, kFringeColour);
  // The mask becomes the alpha only when both pictures have the designed size; otherwise the frame is used
  // with the alpha it came with.
  const QImage mask = artwork.Mask.convertToFormat(QImage::Format_RGB32);
  if (mask.size() != FrameBitmap.size() || FrameBitmap.size() != QSize(kFrameWidth, kFrameHeight)) return;
  for (int y = 0; y < kFrameHeight; ++y) {
    auto* frame = reinterpret_cast<QRgb*>(FrameBitmap.scanLine(y));
    const auto* opacity = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
    for (int x = 0; x < kFrameWidth; ++x) frame[x] = (frame[x] & RGB_MASK) | (qRed(opacity[x]) << 24);
  }
}

void tPlayerBaseClass::MakeNoise() {
  NoiseBitmap = QImage(kNoiseSize, kNoiseSize, QImage::Format_RGB32);
  std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<int> level(0, 254);
  for (int y = 0; y < kNoiseSize; ++y) {
    auto* row = reinterpret_cast<QRgb*>(NoiseBitmap.scanLine(y));
    for (int x = 0; x < kNoiseSize; ++x) {
      const int g = level(generator);
      row[x] = qRgb(g, g, g);
    }
  }
}

// ---------------------------------------------------------------------------------------------------------------
// The decoding thread

void tPlayerBaseClass::Attach(tOggThreadManager* thread) {
  // A thread left bound to this player would call it after it is freed.
  if (Thread && Thread != thread) UnbindEvents();
  Thread = thread;
  if (thread)
    BindEvents(*thread);
  else
    WriteAudio(nullptr, -1);
}

void tPlayerBaseClass::BindEvents(tOggThreadManager& thread) {
  // The calls go through the virtual operations, so each back-end answers with its own.
  thread.OnVideoFrame = [this](const yuv_buffer* frame, const bool* keyframe) {
    ShowVideoFrame(frame, keyframe);
  };
  thread.OnAudioData = [this](const int16_t* samples, int32_t count) { return WriteAudio(samples, count); };
  thread.OnGetAudioTime = [this] { return GetAudioTime(); };
  thread.OnBufferState = [this](bool buffering, int32_t level) {
    SetBufferState(buffering, static_cast<uint8_t>(std::clamp(level, 0, 255)));
  };
  thread.OnPlaybackDone = [this] { return IsPlaybackDone(); };
}

void tPlayerBaseClass::UnbindEvents() {
  if (!Thread) return;
  Thread->ClearEvents();
  Thread->OnPlaybackDone = nullptr;
}

bool tPlayerBaseClass::FramePicture(const yuv_buffer& frame, QRect& source) {
  theora_info info{};
  double frameRate = 0, aspect = 0;
  const bool known =
      Thread ? Thread->GetVideoInfo(info, frameRate, aspect) : VideoInfoSource && VideoInfoSource(info);
  const tPictureRegion region =
      known ? PictureRegion(info) : tPictureRegion{0, 0, frame.y_width, frame.y_height};
  // Held inside the frame, whatever the header says.
  source = QRect(region.X, region.Y, region.Width, region.Height)
               .intersected({0, 0, frame.y_width, frame.y_height});
  return !known || DrawnPixelFormat(info.pixelformat);
}

int64_t tPlayerBaseClass::PlayedFramesForVisualisation() {
  return Sound ? Sound->GetPlayedFrames() : 0;
}

// ---------------------------------------------------------------------------------------------------------------
// Sound: the back-end's sound half answers (also a question that arrives while it is closing a device).
// Without one (after the destructor's first steps) a block counts as taken and playback as done.

bool tPlayerBaseClass::WriteAudio(const int16_t* samples, int32_t count) {
  return !Sound || Sound->WriteAudio(samples, count);
}

double tPlayerBaseClass::GetAudioTime() {
  return Sound ? Sound->GetAudioTime() : 0.0;
}

int64_t tPlayerBaseClass::GetPlayedFrames() {
  return PlayedFramesForVisualisation();
}

bool tPlayerBaseClass::IsPlaybackDone() {
  return !Sound || Sound->IsPlaybackDone();
}

void tPlayerBaseClass::SetBufferState(bool buffering, uint8_t level) {
  if (Sound) Sound->SetBufferState(buffering, level);
}

void tPlayerBaseClass::SetVolume(uint16_t volume) {
  Volume = volume;
  if (Sound) Sound->SetVolume(volume);
}

void tPlayerBaseClass::Shutdown() {
  if (Sound) Sound->Shutdown();
}

// ---------------------------------------------------------------------------------------------------------------
// Size, shape and border

QRegion tPlayerBaseClass::WindowShape(int width, int height) const {
  QRegion shape(kShapeInsetX, 0, width - 2 * kShapeInsetX, height);
  shape += QRect(0, kShapeInsetY, width, height - 2 * kShapeInsetY);
  shape += CornerRegion[TopLeft];
  shape += CornerRegion[TopRight].translated(width - kFrameWidth, 0);
  shape += CornerRegion[BottomLeft].translated(0, height - kFrameHeight);
  shape += CornerRegion[BottomRight].translated(width - kFrameWidth, height - kFrameHeight);
  return shape;
}

void tPlayerBaseClass::HandleSize(int width, int height) {
  QWidget* owner = parentWidget();
  QWidget* shaped = owner ? owner : this;
  // A panel shapes its owner only once it covers the owner's client area: before that it has a widget's
  // first size, and a visible window cut to it would flash.
  if (owner && !Aligned) {
  } else if (ShowTVBorder) {
    shaped->setMask(owner ? WindowShape(width, height).translated(pos()) : WindowShape(width, height));
  } else {
    shaped->clearMask();
  }
  try {
    ResizeOutput(width, height);
    Visualisation->SetSize(width, height);
  } catch (const std::exception&) {
    // A picture that cannot be resized now keeps its old size; the next resize tries again.
  }
}

void tPlayerBaseClass::resizeEvent(QResizeEvent* event) {
  HandleSize(event->size().width(), event->size().height());
}

void tPlayerBaseClass::SetShowTVBorder(bool show) {
  ShowTVBorder = show;
  HandleSize(width(), height());
  PresentFrame();
}

void tPlayerBaseClass::AlignToClient() {
  QWidget* owner = parentWidget();
  if (!owner) return;
  if (!Aligned) owner->installEventFilter(this);
  Aligned = true;
  setGeometry(owner->rect());
}

bool tPlayerBaseClass::eventFilter(QObject* watched, QEvent* event) {
  if (Aligned && watched == parentWidget() && event->type() == QEvent::Resize)
    setGeometry(parentWidget()->rect());
  return QWidget::eventFilter(watched, event);
}

int tPlayerBaseClass::GetResizeZone(int x, int y) const {
  const int column = x <= kZoneWidth ? 0 : (x < width() - kZoneWidth ? 1 : 2);
  const int row = y <= kZoneHeight ? 0 : (y < height() - kZoneHeight ? 1 : 2);
  return row * 3 + column;
}

Qt::CursorShape tPlayerBaseClass::ResizeZoneCursor(int zone) {
  switch (zone) {
    case 0:
    case 8:
      return Qt::SizeFDiagCursor;  // north-west to south-east
    case 1:
    case 7:
      return Qt::SizeVerCursor;
    case 2:
    case 6:
      return Qt::SizeBDiagCursor;  // north-east to south-west
    case 3:
    case 5:
      return Qt::SizeHorCursor;
    default:
      return Qt::SizeAllCursor;
  }
}

void tPlayerBaseClass::mouseDoubleClickEvent(QMouseEvent* event) {
  if (OnDblClick) {
    OnDblClick();
    event->accept();
  } else {
    QWidget::mouseDoubleClickEvent(event);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Visualisation pictures

void tPlayerBaseClass::FrameTimerTick() {
  FrameTimer.stop();
  try {
    if (Visualisation->IsEnabled() && !Visualisation->IsSuppressed()) {
      struct tUnlock {
        TVisulisationSystem& System;
        ~tUnlock() { System.UnlockFrame(); }
      } unlock{*Visualisation};
      int32_t width = 0, height = 0;
      if (const uint32_t* pixels = Visualisation->LockFrame(width, height)) {
        ShowVisualFrame(pixels, width, height);
        VisualShown = true;
      }
    } else if (VisualShown) {
      ShowVisualFrame(nullptr, 0, 0);
      VisualShown = false;  // handed once: the video shows again
    }
  } catch (const std::exception&) {
    // A picture that could not be shown is skipped; the next tick brings a new one.
  }
  FrameTimer.start();
}

}  // namespace ktv
