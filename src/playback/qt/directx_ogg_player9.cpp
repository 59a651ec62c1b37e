#include "playback/qt/directx_ogg_player9.h"

#include <QMetaObject>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <algorithm>
#include <cmath>

#include "playback/qt/bitmap_routines.h"
#include "playback/ring_audio_output.h"

namespace ktv {

namespace {

// Uploads of one format that may fail in a row before the format is given up for this back-end.
constexpr int kMaxUploadFailures = 3;

// The frame grid: the corner cell is 49 x 42 pixels of the 64 x 64 frame texture; the coordinates run back
// to 0 on the right and bottom, so the one corner picture is mirrored into all four corners and the edges
// are stretched from its inner texel row and column.
constexpr float kFrameCellWidth = 49, kFrameCellHeight = 42;
constexpr float kFrameCellU = 49.0f / 64, kFrameCellV = 42.0f / 64;
constexpr float kGrainTexels = tPlayerBaseClass::kNoiseSize;  // the noise is tiled at one texel per pixel
constexpr int kGrainPhases = 16;                              // four steps of a quarter texel each way
constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;
// A pre-transformed vertex: z 0, rhw 1.
tGridVertex Vertex(float x, float y, uint32_t diffuse, float u, float v) {
  return {x, y, 0, 1, diffuse, u, v};
}

// Visualisation pictures beyond this many pixels are refused (the system's surfaces are far smaller).
constexpr int64_t kMaxVisualPixels = 4096LL * 4096;

}  // namespace

// The child widget that draws the panel's picture. It covers the panel and lets mouse events through, so
// the panel (and the main window behind it) sees every press, move and double click.
class tGLVideoView final : public QOpenGLWidget {
 public:
  explicit tGLVideoView(tDirectXOggPlayer9& owner) : QOpenGLWidget(&owner), Owner(owner) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(owner.rect());
  }
  ~tGLVideoView() override {
    QObject::disconnect(ContextGoing);
    ReleaseScene();
  }
  tGLScene Scene;

 protected:
  void initializeGL() override {
    // A context can go while the view stays (moved to another window): its objects go first.
    ContextGoing = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] { ReleaseScene(); });
    Scene.Create(Owner.NoiseBitmap, Owner.FrameBitmap);
    Owner.SceneMade(Scene);
  }
  void paintGL() override { Owner.DrawScene(Scene, devicePixelRatioF()); }

 private:
  void ReleaseScene() {
    if (!context() || !context()->isValid()) return;
    makeCurrent();
    Scene.Release();
    doneCurrent();
  }

  tDirectXOggPlayer9& Owner;
  QMetaObject::Connection ContextGoing;
};

const std::array<tDirectXOggPlayer9::tSurfaceFormat, 6> tDirectXOggPlayer9::kSurfaceFormats = {{
    {"Y, U, V planes", PlanarYUV},
    {"X8R8G8B8", RGB32},
    {"A8R8G8B8", RGB32},
    {"R5G6B5", RGB565},
    {"X1R5G5B5", RGB555},
    {"A1R5G5B5", RGB555},
}};

tDirectXOggPlayer9::tDirectXOggPlayer9(QWidget* owner, tOggThreadManager* thread, tSoundDeviceFactory device)
    : tPlayerBaseClass(owner, thread, [&device](tAudioOutputLinks links) -> std::unique_ptr<tAudioOutput> {
        links.CreateDevice = std::move(device);
        return std::make_unique<tRingAudioOutput>(std::move(links));
      }) {
  ViewWidget = new tGLVideoView(*this);
  ResizeOutput(width(), height());
  Attach(AttachedThread());
}

tDirectXOggPlayer9::~tDirectXOggPlayer9() {
  StopEvents();
  delete ViewWidget;
}

QOpenGLWidget* tDirectXOggPlayer9::View() const {
  return ViewWidget;
}

bool tDirectXOggPlayer9::HasFrameTexture() const {
  return ViewWidget && ViewWidget->Scene.HasFrameTexture();
}

tGLScene* tDirectXOggPlayer9::Scene() const {
  return ViewWidget ? &ViewWidget->Scene : nullptr;
}

QImage tDirectXOggPlayer9::GrabFramebuffer() {
  return ViewWidget ? ViewWidget->grabFramebuffer() : QImage();
}

// ---------------------------------------------------------------------------------------------------------------
// The context

tDirectXOggPlayer9::tContextState tDirectXOggPlayer9::TestContext() {
  if (LossMarked) return RemakeAllowed ? tContextState::Remakeable : tContextState::Lost;
  const QOpenGLContext* context = ViewWidget ? ViewWidget->context() : nullptr;
  // A context that has gone bad is never good again; a new one can be made at once.
  if (context && !context->isValid()) return tContextState::Remakeable;
  return tContextState::Ready;
}

bool tDirectXOggPlayer9::ContextUsable() {
  switch (TestContext()) {
    case tContextState::Ready:
      return true;
    case tContextState::Remakeable:
      // Made from the event loop, as a resize would be: never inside the paint or event call that found it.
      if (!RemakePosted) {
        RemakePosted = true;
        QMetaObject::invokeMethod(
            this, [this] { RemakeView(); }, Qt::QueuedConnection);
      }
      break;
    case tContextState::Lost:
      break;
  }
  ++DroppedFrames;
  return false;
}

void tDirectXOggPlayer9::RemakeView() {
  LossMarked = RemakeAllowed = RemakePosted = false;
  ReleaseSurface();
  delete ViewWidget;
  ViewWidget = new tGLVideoView(*this);
  ViewWidget->show();
  ResizeOutput(width(), height());
}

void tDirectXOggPlayer9::SceneMade(tGLScene& /*scene*/) {
  ++SceneCount;
  VerticesDirty = true;
  SurfaceDirty = true;
}

// ---------------------------------------------------------------------------------------------------------------
// The surface

bool tDirectXOggPlayer9::Accepts(int32_t mode) const {
  return (AcceptedModes.empty() || AcceptedModes.count(mode)) && !RefusedModes.count(mode);
}

bool tDirectXOggPlayer9::MakeSurface(int width, int height, size_t first) {
  for (size_t i = std::max(first, kFirstVisualFormat); i < kSurfaceFormats.size(); ++i) {
    const int32_t mode = kSurfaceFormats[i].Mode;
    if (!Accepts(mode)) continue;
    // Four bytes to a texel: two pixels of the 2-byte modes, one of RGB32.
    SurfacePitch = (width * BytesPerPixel(mode) + 3) / 4 * 4;
    Surface.assign(static_cast<size_t>(SurfacePitch) * height, 0);
    SurfaceWidth = width;
    SurfaceHeight = height;
    SurfaceMode = mode;
    return true;
  }
  return false;
}

void tDirectXOggPlayer9::ReleaseSurface() {
  Surface.clear();
  Surface.shrink_to_fit();
  SurfaceWidth = SurfaceHeight = SurfacePitch = 0;
  SurfaceDirty = true;
}

int tDirectXOggPlayer9::ShowPlanes(const yuv_buffer& frame) {
  tGLScene* scene = ViewWidget ? &ViewWidget->Scene : nullptr;
  // Before the view's first show there is no context yet: that frame takes the CPU's way.
  if (!Accepts(PlanarYUV) || !scene || !ViewWidget->context() || !ViewWidget->context()->isValid()) return 0;
  FramePicture(frame, SourceRect);  // whatever the header says, the planes tell the subsampling
  SourceRect &= PlaneLayout(frame).Covered;
  ViewWidget->makeCurrent();
  const bool ready = scene->IsReady();
  const bool shown = ready && (SourceRect.isEmpty() || scene->UploadPlanes(frame, SourceRect));
  if (ready && SourceRect.isEmpty()) scene->ReleasePicture();  // nothing of this frame to show
  const bool drawable = ready && scene->CanDraw(PlanarYUV);
  ViewWidget->doneCurrent();
  if (!ready) return 0;
  if (shown) {
    UploadFailures.erase(PlanarYUV);
    return 1;
  }
  // As with a surface: a context without the program never draws planes, and one that fails them again and
  // again is taken at its word.
  if (!drawable || ++UploadFailures[PlanarYUV] >= kMaxUploadFailures) RefusedModes.insert(PlanarYUV);
  return -1;
}

void tDirectXOggPlayer9::ShowVideoFrame(const yuv_buffer* frame, const bool* /*keyframe*/) {
  if (!ContextUsable()) return;
  const bool given = frame && frame->y_width > 0 && frame->y_height > 0;
  const bool wasVisual = VisualMode;
  VisualMode = false;
  if (given && ShowPlanes(*frame) > 0) {
    // The picture texture holds the frame now; a CPU surface left from before must not overwrite it.
    ReleaseSurface();
    SurfaceDirty = false;
    SurfaceMode = PlanarYUV;
    BuildVertices();
    PresentFrame();
    return;
  }
  // The CPU's way: the frame converted into a surface that the next paint uploads. A surface made for
  // visualisation pictures is not reused.
  if (!given || wasVisual || SurfaceMode == PlanarYUV || frame->y_width != SurfaceWidth ||
      frame->y_height != SurfaceHeight)
    ReleaseSurface();
  if (given && (SurfaceWidth > 0 || MakeSurface(frame->y_width, frame->y_height, kFirstVisualFormat))) {
    if (FramePicture(*frame, SourceRect)) {
      ConvertFrame(*frame, SurfaceMode, Surface.data(), SurfacePitch);
      ++CpuConversions;
    }
    SurfaceDirty = true;
    BuildVertices();
  }
  PresentFrame();
}

void tDirectXOggPlayer9::ShowVisualFrame(const uint32_t* pixels, int32_t width, int32_t height) {
  if (!ContextUsable()) return;
  const bool given = pixels && width > 0 && height > 0 && int64_t{width} * height <= kMaxVisualPixels;
  // A surface made for video is not reused: a picture of the same size would not be packed into a YUV one.
  if (!given || !VisualMode || width != SurfaceWidth || height != SurfaceHeight) ReleaseSurface();
  VisualMode = true;
  if (given && (SurfaceWidth > 0 || MakeSurface(width, height, kFirstVisualFormat))) {
    SourceRect = QRect(0, 0, width, height);
    PackPixels16(reinterpret_cast<const uint8_t*>(pixels), width * 4, width, SurfacePitch, Surface.data(),
                 SurfaceMode, height);
    SurfaceDirty = true;
    BuildVertices();
  }
  PresentFrame();
}

// ---------------------------------------------------------------------------------------------------------------
// Drawing

void tDirectXOggPlayer9::BuildVertices() {
  const float du = static_cast<float>(GrainPhase % 4) / 4, dv = static_cast<float>(GrainPhase / 4) / 4;
  GrainPhase = (GrainPhase + 1) % kGrainPhases;
  const uint32_t grainAlpha = FilmGrainLevel * 40u / 255u;
  const float w = static_cast<float>(width()), h = static_cast<float>(height());
  const float frameX[4] = {0, kFrameCellWidth, w - kFrameCellWidth, w};
  const float frameU[4] = {0, kFrameCellU, kFrameCellU, 0};
  const float frameY[4] = {0, kFrameCellHeight, h - kFrameCellHeight, h};
  const float frameV[4] = {0, kFrameCellV, kFrameCellV, 0};
  const QRect& r = VideoRect;
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      // Rounded to nearest, halves to even (the default rounding mode).
      const float x = static_cast<float>(r.left()) + std::nearbyint(column / 3.0 * r.width());
      const float y = static_cast<float>(r.top()) + std::nearbyint(row / 3.0 * r.height());
      GridVertices[4 * row + column] =
          Vertex(x, y, grainAlpha << 24 | 0xFFFFFF, (x - r.left()) / kGrainTexels + du,
                 (y - r.top()) / kGrainTexels + dv);
      GridVertices[kGridVertices + 4 * row + column] =
          Vertex(frameX[column], frameY[row], kOpaqueWhite, frameU[column], frameV[row]);
    }
  }
  VerticesDirty = true;
}

void tDirectXOggPlayer9::DrawScene(tGLScene& scene, qreal devicePixelRatio) {
  if (TestContext() != tContextState::Ready) return;  // a lost context draws nothing; the last picture stays
  if (VerticesDirty) {
    scene.UploadVertices(GridVertices);
    VerticesDirty = false;
  }
  if (SurfaceDirty && scene.IsReady()) {
    SurfaceDirty = false;
    if (SurfaceWidth == 0 || SourceRect.isEmpty()) {
      scene.ReleasePicture();  // nothing of this picture to show; the format is not to blame
    } else if (scene.UploadSurface(SurfaceMode, SurfaceWidth, SurfaceHeight, SurfacePitch, Surface.data(),
                                   SourceRect)) {
      UploadFailures.erase(SurfaceMode);
    } else {
      // A context without a program for the mode never draws it, and one that fails it again and again is
      // taken at its word: the next picture takes the next format. A single failure (a framebuffer not yet
      // complete) is tried again with the next picture.
      if (!scene.CanDraw(SurfaceMode) || ++UploadFailures[SurfaceMode] >= kMaxUploadFailures) {
        RefusedModes.insert(SurfaceMode);
        ReleaseSurface();
      }
      scene.ReleasePicture();
    }
  }
  tSceneState state;
  state.Panel = ViewWidget->size();
  state.VideoRect = VideoRect;
  state.HighQuality = HighQuality;
  state.Grain = FilmGrain && FilmGrainLevel > 1 && !VisualMode;
  state.Frame = ShowTVBorder;
  scene.Draw(state, devicePixelRatio);
}

void tDirectXOggPlayer9::PresentFrame() {
  // Drawing happens in the view's paint; Qt composes the result into the window.
  if (ViewWidget) ViewWidget->update();
}

void tDirectXOggPlayer9::ResizeOutput(int32_t width, int32_t height) {
  // No surface is released here: a GL texture, unlike a device surface, survives a resize.
  if (ViewWidget && width >= 1 && height >= 1) ViewWidget->setGeometry(0, 0, width, height);
  VideoRect = QRect(BorderInsetX(), BorderInsetY(), width - 2 * BorderInsetX(), height - 2 * BorderInsetY());
  BuildVertices();
  PresentFrame();
}

void tDirectXOggPlayer9::SetFilmGrain(bool on) {
  FilmGrain = on;
  BuildVertices();
  PresentFrame();
}

void tDirectXOggPlayer9::SetFilmGrainLevel(uint8_t level) {
  FilmGrainLevel = level;
  BuildVertices();
  PresentFrame();
}

void tDirectXOggPlayer9::Shutdown() {
  tPlayerBaseClass::Shutdown();
  ReleaseSurface();
  PresentFrame();
}

}  // namespace ktv
