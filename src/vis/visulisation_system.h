// The visualisation thread: takes the sound the back-end plays, runs it through a beat detector in step with
// what is being heard, and paints a picture that moves with the music for streams without video.
//
// Thread contract:
// - Every outside call (SetAudioFormat, AddAudio, ResetPosition, SetSize, Configure, SetSuppressed,
//   LockFrame, UnlockFrame) comes from the main thread. The played-frames callback is always run on the main
//   thread too (through the main-thread call queue), so it may read the back-end's state.
// - The thread builds frames holding FrameMutex; LockFrame/UnlockFrame hand the finished picture to the
//   consumer under the same lock. Every wait on it is bounded to 20 ms.
// - The detector and the sample queue are fed under FeedLock, held only for the few blocks being analysed.
// - Flags and counters shared by both threads are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/audio_visualiser.h"
#include "platform/byte_queue.h"
#include "platform/thread.h"
#include "platform/timed_mutex.h"
#include "vis/beat_detector.h"
#include "vis/visulisation_renderer.h"

namespace ktv {

class TVisulisationSystem : public tThread, public tAudioVisualiser {
 public:
  // Frames of sound the output has played since the last ResetPosition, as a 64-bit count.
  using tPlayedFramesCallback = std::function<int64_t()>;

  struct tOptions {
    // False: no thread; the owner drives FeedPlayedAudio and BuildFrame itself (command-line program, tests).
    bool StartThread = true;
    // Seed of the effect choice (a seed always picks the same sequence of effects); 0 seeds from the clock.
    uint64_t Seed = 0;
  };

  static constexpr int32_t kStartWidth = 32, kStartHeight = 24;  // the size while disabled, and of "no frame"
  static constexpr uint32_t kFrameWait = 20;                     // ms, every wait on FrameMutex
  static constexpr int32_t kChunkBytes = 1536;  // audio is analysed in chunks of this many bytes

  // Starts the thread at once (unless the options say otherwise). The callback may be empty: the sound is
  // then analysed as it is decoded.
  explicit TVisulisationSystem(tPlayedFramesCallback onGetPlayedFrames);
  TVisulisationSystem(tPlayedFramesCallback onGetPlayedFrames, tOptions options);
  ~TVisulisationSystem() override;

  // tAudioVisualiser
  void SetAudioFormat(int32_t sampleRate, int32_t channels, int32_t queueSeconds) override;
  void AddAudio(const int16_t* samples, int32_t frameCount) override;
  void ResetPosition() override;

  // The size for the next surface, at most MaxWidth x MaxHeight; the thread rebuilds the surface at its next
  // frame.
  void SetSize(int32_t width, int32_t height);
  // The settings MaxRenderW, MaxRenderH, LowPriority and VisEnabled.
  void Configure(int32_t maxWidth, int32_t maxHeight, bool lowPriority, bool enabled);
  // The main window suppresses the visualisation while no stream plays or the stream has video.
  void SetSuppressed(bool suppressed) { Suppressed = suppressed; }
  bool IsSuppressed() const { return Suppressed; }
  bool IsEnabled() const { return Enabled; }

  // Hands out the finished picture (0x00RRGGBB pixels, rows top first) or null with 32 x 24 when there is
  // none. Unless it returns null because the lock could not be had within 20 ms, the lock stays held until
  // UnlockFrame, which the caller must then call after copying the pixels.
  const uint32_t* LockFrame(int32_t& width, int32_t& height);
  void UnlockFrame();
  bool IsLocked() const { return Locked; }

  // One pass of the thread's work, for an owner that drives the system without its thread.
  // Feeds queued audio up to the played position (asks the callback on the main thread).
  void FeedPlayedAudio();
  // Builds one frame at this time; false when the frame lock could not be had or nothing was built.
  bool BuildFrame(uint32_t now);
  // Starts the effect timing afresh at this time (an owner with a clock of its own calls it before
  // BuildFrame).
  void RestartClock(uint32_t now);

  int32_t GetFrameCount() const { return FrameCount; }
  int64_t GetFedFrames() const { return FedFrames; }
  bool GetBeatFlag() const { return BeatFlag; }
  double GetLevel() const { return Level; }
  const tBeatDetector& GetDetector() const { return Detector; }
  // Visualisation thread, or the owner driving it: the effect state (read it only while holding the frame).
  const TVisulisationRenderer& GetRenderer() const { return Renderer; }

 protected:
  void Execute() override;

 private:
  void FeedDetector(const int16_t* samples, int32_t frameCount);  // holds FeedLock

  // Guarded by FeedLock: the detector is never freed while the thread runs, only started afresh.
  std::mutex FeedLock;
  tBeatDetector Detector;
  std::unique_ptr<tByteQueue> SampleQueue;
  int32_t Channels = 1;
  int32_t SampleRate = 8000;

  // Guarded by FrameMutex (the renderer belongs to the thread that builds frames).
  tTimedMutex FrameMutex;
  TVisulisationRenderer Renderer;
  tVisRandom Generator;

  tPlayedFramesCallback OnGetPlayedFrames;  // set once at construction

  // Shared between the main thread and the visualisation thread.
  std::atomic<bool> BeatFlag{false};  // a beat since the last frame
  std::atomic<double> Level{0};       // peak of the last feeding, 0..1
  std::atomic<bool> Locked{false};
  std::atomic<bool> Enabled{true};
  std::atomic<bool> Suppressed{true};
  std::atomic<int32_t> MaxWidth{320}, MaxHeight{240};
  std::atomic<int32_t> Width{kStartWidth}, Height{kStartHeight};
  std::atomic<int32_t> SurfaceWidth{0}, SurfaceHeight{0};  // of the built surface, 0 before the first
  std::atomic<bool> RecreatePending{true};
  std::atomic<int32_t> Priority{0};  // wanted thread priority, applied by the thread
  std::atomic<int32_t> FrameCount{0};
  std::atomic<int64_t> FedFrames{0};
  std::atomic<int64_t> PlayedFrames{0};
};

}  // namespace ktv
