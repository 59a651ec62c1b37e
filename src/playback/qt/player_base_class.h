// The player panel: the widget in the main window's client area that shows the picture. The decoding thread
// hands it frames and sound through five events; the visualisation it owns hands it pictures for streams
// without video. Two back-ends derive from it: tDirectXOggPlayer9 (OpenGL picture, sound ring) and
// tGDIWavePlayback (QPainter picture, block queue).
//
// The panel owns what both back-ends share: the television-frame artwork and the window shape cut from it,
// the film-grain noise, the picture settings, the visualisation and its 20 ms frame timer, the binding to the
// decoding thread, the resize zones of the borderless main window, and the back-end's sound half (every sound
// operation is the sound half's; see playback/audio_output.h).
//
// Embedding: make the back-end with the main window as owner; AlignToClient() keeps it filling the owner,
// and with the border on it shapes the owner with setMask. Mouse presses and moves pass on to the owner;
// a double click runs OnDblClick.
//
// Threads: main thread only. The decoding thread reaches the panel through its events, which it runs by
// synchronised calls; the visualisation thread's played-frames question arrives the same way.
#pragma once

#include <QImage>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "ogg/codec_libraries.h"
#include "playback/audio_output.h"
#include "vis/visulisation_system.h"

namespace ktv {

class tOggThreadManager;

// The television frame's top-left corner: pure blue outside the frame, and a mask whose red channel is the
// frame's opacity.
struct tFrameArtwork {
  QImage Frame;
  QImage Mask;
  // "TV_FRAME" and "TV_MASK" from the program's resources (null images when missing).
  static tFrameArtwork FromResources();
};

// Tests draw their own artwork: while set, players made afterwards use it instead of the resources. Null
// goes back to the resources.
void SetFrameArtworkForTesting(const tFrameArtwork* artwork);

class tPlayerBaseClass : public QWidget {
  Q_OBJECT

 public:
  // Corners of the window shape, in the order of CornerRegion.
  enum tCorner { TopLeft = 0, TopRight = 1, BottomLeft = 2, BottomRight = 3 };

  static constexpr int kFrameWidth = 64, kFrameHeight = 56;  // the corner artwork
  static constexpr int kNoiseSize = 128;                     // the film-grain noise picture
  static constexpr int kFrameTimerMs = 20;                   // visualisation pictures, 50 a second
  // Colour given to the blue outside of the frame before its mask goes into the alpha bytes, so that
  // filtering at the frame's edge never pulls in blue.
  static constexpr QRgb kFringeColour = 0xFF6C6D48;  // red 108, green 109, blue 72

  ~tPlayerBaseClass() override;
  tPlayerBaseClass(const tPlayerBaseClass&) = delete;
  tPlayerBaseClass& operator=(const tPlayerBaseClass&) = delete;

  // Binds the thread's five events to this player (after unbinding those of a thread attached before); null
  // detaches and stops the sound.
  void Attach(tOggThreadManager* thread);
  tOggThreadManager* AttachedThread() const { return Thread; }

  // --- The player interface ---------------------------------------------------------------------------
  // Brings the current picture to the screen.
  virtual void PresentFrame() = 0;
  // 0..65535; kept for outputs opened later.
  virtual void SetVolume(uint16_t volume);
  // A decoded frame in any drawn chroma layout (null: no picture); the keyframe flag is not used.
  virtual void ShowVideoFrame(const yuv_buffer* frame, const bool* keyframe) = 0;
  // A visualisation picture: 32-bit B, G, R, X pixels, top row first, no row padding; (null, 0, 0) blanks it.
  virtual void ShowVisualFrame(const uint32_t* pixels, int32_t width, int32_t height) = 0;
  // The sound half's; see tAudioOutput for the special values of WriteAudio.
  virtual bool WriteAudio(const int16_t* samples, int32_t count);
  virtual double GetAudioTime();
  virtual void ResizeOutput(int32_t width, int32_t height) = 0;
  virtual void SetFilmGrain(bool on) = 0;
  virtual void SetFilmGrainLevel(uint8_t level) = 0;
  virtual void SetBufferState(bool buffering, uint8_t level);
  virtual bool IsPlaybackDone();
  virtual int64_t GetPlayedFrames();
  virtual void SetShowTVBorder(bool show);
  // Ends sound and picture for good, just before the back-end is freed.
  virtual void Shutdown();

  // The video picture is drawn inset by these on each side.
  int32_t BorderInsetX() const { return ShowTVBorder ? 6 : 0; }
  int32_t BorderInsetY() const { return ShowTVBorder ? 5 : 0; }
  // Zone 0..8 of a panel point (row x 3 + column; the 32 x 28 corners belong to the corner zones), and the
  // cursor the main window shows over it.
  int GetResizeZone(int x, int y) const;
  static Qt::CursorShape ResizeZoneCursor(int zone);

  // The shape of the owner window at this client size with the border on: the two straight rectangles and the
  // four artwork corners.
  QRegion WindowShape(int width, int height) const;
  // Keeps the panel filling its owner's client area.
  void AlignToClient();

  // Smooth scaling; the main window writes it from the setting HighQualityVideo.
  bool HighQuality = true;
  // Runs on a double click in the panel (the main window toggles full screen).
  std::function<void()> OnDblClick;
  // Made in the constructor, freed in the destructor.
  std::unique_ptr<TVisulisationSystem> Visualisation;

  uint16_t GetVolume() const { return Volume; }
  bool GetFilmGrain() const { return FilmGrain; }
  uint8_t GetFilmGrainLevel() const { return FilmGrainLevel; }
  bool GetShowTVBorder() const { return ShowTVBorder; }
  bool GetVisualShown() const { return VisualShown; }
  const QRegion& GetCornerRegion(tCorner corner) const { return CornerRegion[corner]; }
  const QImage& GetNoiseBitmap() const { return NoiseBitmap; }
  tAudioOutput* SoundOutput() const { return Sound.get(); }

  // Where the picture region of shown frames comes from when no thread is attached (pictures fed by hand:
  // tests, tools). Without either, a frame is shown whole.
  void SetVideoInfoSource(std::function<bool(theora_info&)> source) { VideoInfoSource = std::move(source); }

 protected:
  using tSoundOutputMaker = std::function<std::unique_ptr<tAudioOutput>(tAudioOutputLinks)>;

  // owner: the main window (may be null: the panel is then a window of its own). The thread is remembered
  // here; each back-end attaches it at the end of its own constructor, once it can answer the events.
  tPlayerBaseClass(QWidget* owner, tOggThreadManager* thread, const tSoundOutputMaker& makeSound);

  // First step of every back-end's destructor: the decoding thread and the frame timer never reach a
  // half-destroyed player.
  void StopEvents();
  // Where the picture lies in a decoded frame (the Theora picture region, from the attached thread's header
  // or the video-info source; the whole frame without either), and whether the frame is in a layout the
  // converters draw (4:2:0, 4:2:2, 4:4:4): a frame of the reserved format is not converted, and the previous
  // picture stays.
  bool FramePicture(const yuv_buffer& frame, QRect& source);

  void resizeEvent(QResizeEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  // The frame's corner with the mask in its alpha bytes (fringe recoloured); null when "TV_FRAME" is missing.
  QImage FrameBitmap;
  QImage NoiseBitmap;  // 128 x 128 grey noise, the film grain's source
  uint16_t Volume = 65535;
  bool VisualShown = false;
  bool FilmGrain = true;
  uint8_t FilmGrainLevel = 128;
  bool ShowTVBorder = false;

 private:
  void LoadFrameArtwork();
  void MakeNoise();
  // The size handling: shape the owner, then ResizeOutput and Visualisation.SetSize.
  void HandleSize(int width, int height);
  void FrameTimerTick();
  void BindEvents(tOggThreadManager& thread);
  void UnbindEvents();
  int64_t PlayedFramesForVisualisation();

  std::array<QRegion, 4> CornerRegion;
  tOggThreadManager* Thread = nullptr;
  std::unique_ptr<tAudioOutput> Sound;
  QTimer FrameTimer;
  std::function<bool(theora_info&)> VideoInfoSource;
  bool Aligned = false;
};

}  // namespace ktv
