#include "vis/visulisation_system.h"

#include <algorithm>
#include <array>

#include "platform/clock.h"
#include "platform/main_thread.h"

namespace ktv {

namespace {
constexpr uint32_t kDisabledSleep = 100;  // ms between checks while switched off or suppressed
constexpr uint32_t kFrameSleep = 15;      // ms after every frame, so the thread never spins
// Bounds on values that come from settings or stream headers.
constexpr int32_t kMaxRenderSide = 4096;
constexpr int32_t kMaxRate = 768000;
constexpr int32_t kMaxChannels = 255;
constexpr int32_t kMaxQueueSeconds = 30;
constexpr int64_t kMaxQueueBytes = 64 << 20;
}  // namespace

TVisulisationSystem::TVisulisationSystem(tPlayedFramesCallback onGetPlayedFrames)
    : TVisulisationSystem(std::move(onGetPlayedFrames), tOptions{}) {}

TVisulisationSystem::TVisulisationSystem(tPlayedFramesCallback onGetPlayedFrames, tOptions options)
    : Renderer(Detector, [this](int32_t n) { return Generator(n); }),
      Generator(options.Seed != 0 ? options.Seed
                                  : (static_cast<uint64_t>(timeGetTime()) << 20) ^ 0x5DEECE66Dull),
      OnGetPlayedFrames(std::move(onGetPlayedFrames)) {
  SetAudioFormat(8000, 1, 1);
  Renderer.Surface = std::make_unique<TVisulisationSurface>(kStartWidth, kStartHeight);
  Renderer.Map = std::make_unique<TVisulisationDisplacementMap>(kStartWidth, kStartHeight);
  SurfaceWidth = kStartWidth, SurfaceHeight = kStartHeight;
  Renderer.Start(timeGetTime());
  if (options.StartThread) Start();
}

TVisulisationSystem::~TVisulisationSystem() {
  Terminate();
  WaitFor();
  if (Locked) UnlockFrame();
}

void TVisulisationSystem::SetAudioFormat(int32_t sampleRate, int32_t channels, int32_t queueSeconds) {
  sampleRate = std::clamp(sampleRate, 1, kMaxRate);
  channels = std::clamp(channels, 1, kMaxChannels);
  queueSeconds = std::clamp(queueSeconds, 1, kMaxQueueSeconds);
  int64_t bytes = std::min<int64_t>(int64_t{sampleRate} * channels * 2 * queueSeconds, kMaxQueueBytes);
  auto queue = std::make_unique<tByteQueue>(static_cast<int32_t>(bytes));
  std::lock_guard<std::mutex> guard(FeedLock);
  Detector.Create(sampleRate, channels);
  SampleQueue = std::move(queue);
  SampleRate = sampleRate;
  Channels = channels;
  FedFrames = 0;
}

void TVisulisationSystem::AddAudio(const int16_t* samples, int32_t frameCount) {
  if (!Enabled || Suppressed || samples == nullptr || frameCount < 1) return;
  std::lock_guard<std::mutex> guard(FeedLock);
  if (!OnGetPlayedFrames) {
    FeedDetector(samples, frameCount);
    return;
  }
  int64_t bytes = int64_t{frameCount} * Channels * 2;
  // A block that does not fit is dropped: the output is further ahead than the queue was sized for.
  if (bytes <= SampleQueue->GetCapacity()) SampleQueue->Write(samples, static_cast<int32_t>(bytes));
}

void TVisulisationSystem::FeedDetector(const int16_t* samples, int32_t frameCount) {
  uint32_t beatsBefore = Detector.BeatCount();
  Detector.AddSamples(samples, frameCount);
  if (Detector.BeatCount() != beatsBefore) BeatFlag = true;
  Level = Detector.Peak() / 32768.0;
}

void TVisulisationSystem::ResetPosition() {
  FedFrames = 0;
}

void TVisulisationSystem::FeedPlayedAudio() {
  if (!OnGetPlayedFrames) return;
  PlayedFrames = 0;
  int64_t played = 0;
  ktv::Synchronize([&] { played = OnGetPlayedFrames(); });
  PlayedFrames = played;
  std::lock_guard<std::mutex> guard(FeedLock);
  // Whole frames only: 1536 bytes are not a whole number of frames for 3, 5 or 7 channels.
  int32_t frameBytes = Channels * 2;
  int32_t chunk = std::max(kChunkBytes / frameBytes, 1) * frameBytes;
  std::array<int16_t, kChunkBytes / 2> buffer{};
  static_assert(kMaxChannels * 2 <= kChunkBytes, "a chunk holds at least one frame");
  while (FedFrames < played && SampleQueue->GetCount() >= chunk && Enabled && !Suppressed) {
    int32_t got = SampleQueue->Read(buffer.data(), chunk, frameBytes);
    if (got <= 0) break;  // the queue's lock was not had: try again next pass
    int32_t frames = got / frameBytes;
    FeedDetector(buffer.data(), frames);
    FedFrames += frames;
  }
}

void TVisulisationSystem::SetSize(int32_t width, int32_t height) {
  // The consumer (this same main thread) may hold the frame between LockFrame and UnlockFrame; a second wait
  // would be on a lock it already owns.
  bool locked = !Locked && FrameMutex.TryLockFor(kFrameWait);
  Width = std::clamp(width, 1, MaxWidth.load());
  Height = std::clamp(height, 1, MaxHeight.load());
  RecreatePending = true;
  if (locked) FrameMutex.Unlock();
}

void TVisulisationSystem::Configure(int32_t maxWidth, int32_t maxHeight, bool lowPriority, bool enabled) {
  MaxWidth = std::clamp(maxWidth, 1, kMaxRenderSide);
  MaxHeight = std::clamp(maxHeight, 1, kMaxRenderSide);
  Enabled = enabled;
  Priority = lowPriority ? -1 : 0;
  if (!enabled) SetSize(kStartWidth, kStartHeight);
  // Only when switched on: a switched-off system keeps its 32 x 24 even if the old surface was too big.
  int32_t w = SurfaceWidth, h = SurfaceHeight;
  if (enabled && w > 0 && (w > MaxWidth || h > MaxHeight)) SetSize(MaxWidth, MaxHeight);
}

const uint32_t* TVisulisationSystem::LockFrame(int32_t& width, int32_t& height) {
  width = kStartWidth, height = kStartHeight;
  if (Locked || !FrameMutex.TryLockFor(kFrameWait)) return nullptr;
  Locked = true;
  if (!Renderer.Surface || RecreatePending) return nullptr;
  width = Renderer.Surface->Width(), height = Renderer.Surface->Height();
  return Renderer.Surface->FrontBuffer();
}

void TVisulisationSystem::UnlockFrame() {
  if (!Locked) return;
  Locked = false;
  FrameMutex.Unlock();
}

bool TVisulisationSystem::BuildFrame(uint32_t now) {
  if (!FrameMutex.TryLockFor(kFrameWait)) return false;
  bool built = false;
  try {
    Renderer.Level = Level;  // particles chosen with new effects size their orbits by it
    if (RecreatePending.exchange(false)) {
      try {
        SurfaceWidth = SurfaceHeight = 0;
        Renderer.Recreate(Width, Height, now);
        SurfaceWidth = Renderer.Surface->Width(), SurfaceHeight = Renderer.Surface->Height();
      } catch (...) {
        RecreatePending = true;  // no memory for the surface: try again next frame
        throw;
      }
    }
    Renderer.Step(BeatFlag.exchange(false), now);
    FrameCount = Renderer.FrameCount;
    built = true;
  } catch (...) {
    // A frame that cannot be built is dropped; the next one tries again.
  }
  FrameMutex.Unlock();
  return built;
}

void TVisulisationSystem::RestartClock(uint32_t now) {
  tTimedLock lock(FrameMutex, kFrameWait);
  if (lock.Locked()) Renderer.Start(now);
}

void TVisulisationSystem::Execute() {
  Renderer.Start(timeGetTime());
  RecreatePending = true;
  int32_t appliedPriority = 0;
  while (!Terminated()) {
    if (int32_t wanted = Priority; wanted != appliedPriority) {
      SetCurrentThreadPriority(wanted);
      appliedPriority = wanted;
    }
    FeedPlayedAudio();
    if (!Enabled || Suppressed) {
      Pause(kDisabledSleep);
      continue;
    }
    BuildFrame(timeGetTime());
    Pause(kFrameSleep);
  }
}

}  // namespace ktv
