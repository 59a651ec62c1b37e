// The accelerated back-end: the picture through OpenGL, the sound through the two-second ring
// (tRingAudioOutput).
//
// The panel owns a child QOpenGLWidget (the view) that covers it and lets the mouse through to it; the panel
// stays one QWidget, so the raster back-end needs no OpenGL at all. A frame's Y, U and V planes go to the
// card as the decoder left them, at once (the decoder reuses its memory after the call), and the card
// converts colour into the picture; no CPU pass touches the frame. Only where the context cannot take planes
// (or has none yet) is a frame converted by ConvertFrame into a surface, as visualisation pictures always
// are. The view's paint uploads a surface, stretches the picture into the video rectangle and draws the grain
// and frame grids (tGLScene).
//
// Context loss: a lost context drops frames until a new one can be made; the view is then made afresh (a new
// context, new textures and buffers) and the next frame shows. Mesa never loses a context, so tests mark it
// lost themselves.
//
// Threads: main thread only (see tPlayerBaseClass).
#pragma once

#include <QRect>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "platform/sound_device.h"
#include "playback/qt/bitmap_routines.h"
#include "playback/qt/gl_scene.h"
#include "playback/qt/player_base_class.h"

class QOpenGLWidget;

namespace ktv {

class tGLVideoView;

class tDirectXOggPlayer9 : public tPlayerBaseClass {
  Q_OBJECT

 public:
  // A surface format and the conversion mode that fills it. Video tries them all in this order (the planes
  // first); visualisation pictures only the RGB ones, the last five.
  struct tSurfaceFormat {
    const char* Name;
    int32_t Mode;
  };
  static const std::array<tSurfaceFormat, 6> kSurfaceFormats;
  static constexpr size_t kFirstVisualFormat = 1;

  // device: makes the sound device (empty = SDL).
  tDirectXOggPlayer9(QWidget* owner, tOggThreadManager* thread, tSoundDeviceFactory device = {});
  ~tDirectXOggPlayer9() override;

  void PresentFrame() override;
  void ShowVideoFrame(const yuv_buffer* frame, const bool* keyframe) override;
  void ShowVisualFrame(const uint32_t* pixels, int32_t width, int32_t height) override;
  void ResizeOutput(int32_t width, int32_t height) override;
  void SetFilmGrain(bool on) override;
  void SetFilmGrainLevel(uint8_t level) override;
  void Shutdown() override;

  // The panel's picture as the view draws it now.
  QImage GrabFramebuffer();
  QOpenGLWidget* View() const;

  // For tests and diagnostics.
  const QRect& GetVideoRect() const { return VideoRect; }
  const QRect& GetSourceRect() const { return SourceRect; }
  int32_t GetSurfaceMode() const { return SurfaceMode; }
  bool GetVisualMode() const { return VisualMode; }
  int32_t GetGrainPhase() const { return GrainPhase; }
  const tGridVertices& Vertices() const { return GridVertices; }
  int ScenesMade() const { return SceneCount; }
  int64_t FramesDropped() const { return DroppedFrames; }
  // Video frames the CPU converted (none while the planes go to the card).
  int64_t FramesConvertedByCpu() const { return CpuConversions; }
  bool HasFrameTexture() const;
  // The view's scene (for tests: its plane format).
  tGLScene* Scene() const;
  // Test hooks. Only the modes in the set (PlanarYUV included) are taken for surfaces (empty: every mode).
  void SetAcceptedModesForTesting(std::set<int32_t> modes) { AcceptedModes = std::move(modes); }
  // The context counts as lost: frames are dropped. Once AllowContextRemake is called, the next frame makes
  // a new one.
  void SimulateContextLoss() { LossMarked = true; }
  void AllowContextRemake() { RemakeAllowed = true; }

 private:
  friend class tGLVideoView;
  enum class tContextState { Ready, Lost, Remakeable };

  tContextState TestContext();
  // False (and the frame dropped) unless the context can draw; a context that can be made again is, soon.
  bool ContextUsable();
  void RemakeView();
  // Uploads and converts the frame's planes in the view's context: 1 shown, 0 not tried (not accepted, no
  // context yet), -1 failed (counted; refused after repeated failures).
  int ShowPlanes(const yuv_buffer& frame);
  // A CPU surface of the first accepted format from `first` on; false when none is.
  bool MakeSurface(int width, int height, size_t first);
  void ReleaseSurface();
  bool Accepts(int32_t mode) const;
  void BuildVertices();
  // The view's side: a new context's scene, and each paint.
  void SceneMade(tGLScene& scene);
  void DrawScene(tGLScene& scene, qreal devicePixelRatio);

  tGLVideoView* ViewWidget = nullptr;  // child of the panel; made afresh after a context loss
  // The surface: the converted picture as the CPU wrote it, uploaded by the next paint.
  std::vector<uint8_t> Surface;
  int SurfaceWidth = 0, SurfaceHeight = 0, SurfacePitch = 0;
  int32_t SurfaceMode = -1;
  bool SurfaceDirty = false;
  bool VerticesDirty = true;
  QRect SourceRect;
  QRect VideoRect;
  int32_t GrainPhase = 0;
  bool VisualMode = false;  // the surface holds a visualisation picture: no grain then
  tGridVertices GridVertices{};
  std::set<int32_t> AcceptedModes;
  std::set<int32_t> RefusedModes;         // modes the context could not draw
  std::map<int32_t, int> UploadFailures;  // failed uploads in a row, by mode
  bool LossMarked = false, RemakeAllowed = false, RemakePosted = false;
  int SceneCount = 0;
  int64_t DroppedFrames = 0;
  int64_t CpuConversions = 0;
};

}  // namespace ktv
