// The decoding thread: plays one stream from end to end. It connects the receiver, waits until the receiver
// buffers or plays, scans the headers, opens a Theora and a sound decoder (Vorbis, or Opus where a link has
// no Vorbis; see tOggLinkDecoders), then loops: PCM blocks go to the player, one video frame is decoded ahead
// and shown when the player's audio clock reaches it (or by the wall clock without sound), late frames are
// dropped, and each new link of a chained stream rebuilds the decoders.
//
// Progress goes to a tMessageTarget as posted messages (code in WParam, the stream's Id in LParam). The
// player is driven through five events, each run on the main thread by a synchronised call while this thread
// waits. Without a sound output (no OnGetAudioTime) the decoded sound counts as played at its own rate by the
// wall clock, and pictures are timed against that clock. Between steps the thread waits for what it needs
// next (the next picture's time, room in the sound output, more bytes), never polling.
//
// Threads: the events and ClearEvents belong to the main thread (set, cleared and run there). The decoders
// are replaced only by this thread, under DecoderLock; the main thread reads them through the accessors
// below.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ogg/link_decoders.h"
#include "platform/message_target.h"
#include "platform/thread.h"
#include "stream/network_ogg_receiver.h"

namespace ktv {

// Progress codes.
enum : int {
  PROGRESS_OPENING = 1,
  PROGRESS_VIDEO = 2,
  PROGRESS_AUDIO = 3,
  PROGRESS_BUFFERING = 4,
  PROGRESS_PLAYING = 5,
  PROGRESS_IDLE = 6,
  PROGRESS_TEXT = 7,
  PROGRESS_STREAMS = 8,
};

// The player's side. Samples are interleaved signed 16-bit; (null, -1) asks the player to stop and flush
// sound.
using tAudioDataEvent = std::function<bool(const int16_t* samples, int32_t frameCount)>;
using tVideoFrameEvent = std::function<void(const yuv_buffer* frame, const bool* keyframe)>;
using tGetAudioTimeEvent = std::function<double()>;  // seconds of sound played
using tBufferStateEvent = std::function<void(bool buffering, int32_t level)>;
using tPlaybackDoneEvent = std::function<bool()>;  // everything handed over has been played

// Audio block length in sample frames: one video frame long with video (fps <= 0 counts as 15), a tenth of a
// second without; always even, at most one second.
int32_t AudioBlockSamples(int32_t rate, bool hasVideo, double frameRate);

class tOggThreadManager : public tThread {
 public:
  // Creates the receiver, connects it and starts the thread.
  tOggThreadManager(const std::string& url, uint32_t notifyMessage, tMessageTarget* notifyWindow,
                    int32_t bufferSeconds);
  tOggThreadManager(const std::string& url, uint32_t notifyMessage, tMessageTarget* notifyWindow,
                    const tReceiverOptions& options);
  ~tOggThreadManager() override;

  // Rises with every manager made in this process and is never reused: a message posted by a stream that
  // has gone since cannot be taken for its successor's, whose address may be the same.
  const uint64_t Id;
  // timeGetTime when the manager was made: the stream's opening, from which the first picture is timed.
  const uint32_t OpenedTick;

  // Main thread: the player attaches by setting these (null = unset).
  tAudioDataEvent OnAudioData;
  tVideoFrameEvent OnVideoFrame;
  tGetAudioTimeEvent OnGetAudioTime;
  tBufferStateEvent OnBufferState;
  tPlaybackDoneEvent OnPlaybackDone;
  void ClearEvents();

  // Main thread: seconds played, across chain links.
  double GetPosition();

  // Seconds of media decoded so far, across chain links (diagnostics).
  double DecodedSeconds() const;

  tNetworkOggReceiver& Receiver() { return *ReceiverSource; }

  // Main thread views of the decoders (false / empty while there is none).
  bool HasVideo();
  bool HasAudio();
  bool GetVideoInfo(theora_info& info, double& frameRate, double& aspectRatio);
  bool GetAudioFormat(int32_t& rate, int32_t& channels);
  std::vector<std::string> VideoComments();
  std::vector<std::string> AudioComments();
  // Index of the logical stream each decoder plays (-1 while there is none).
  int32_t VideoStreamIndex();
  int32_t AudioStreamIndex();

  // Diagnostics.
  std::atomic<int64_t> FramesShown{0};
  std::atomic<int64_t> FramesDropped{0};
  std::atomic<int32_t> LinksOpened{0};
  std::atomic<int32_t> Rebuffers{0};  // returns to buffering after playing had started
  // Milliseconds from OpenedTick to the first picture a player took (the first handled OnVideoFrame; set by
  // the decoding thread as FramesShown goes from 0 to 1); -1 until then.
  std::atomic<int32_t> FirstPictureMs{-1};

 protected:
  void Execute() override;

 private:
  void Post(int code);
  void Reset();
  void OpenStreams();
  void OpenDecoders(uint8_t kinds);
  void NextLink();
  // One decode round; returns how long the thread may wait before the next (milliseconds).
  uint32_t Step();
  uint32_t StepVideoOnly();
  // Offers and decodes sound; false when playback is over (Finished).
  bool StepAudio(bool clocked, double clock, uint32_t& wait);
  void StepFrame(bool clocked, double clock, uint32_t& wait);
  void SizeQueue();
  void SizeAudioBlock();
  void ResetPlayState();
  double SafeFrameRate() const;

  // Event calls: each runs on the main thread, reading the event there, so ClearEvents is always respected.
  bool CallAudioData(const int16_t* samples, int32_t frameCount);
  void CallVideoFrame(const yuv_buffer* frame, const bool* keyframe);
  // The player's audio clock, in one call: false when there is no OnGetAudioTime (no sound output).
  bool CallGetAudioTime(double& time);
  void CallBufferState(bool buffering, int32_t level);
  bool CallPlaybackDone();

  std::unique_ptr<tNetworkOggReceiver> ReceiverSource;
  // Guards replacing/opening/closing the decoders against the main thread's views.
  std::mutex DecoderLock;
  tOggLinkDecoders Link{&DecoderLock};  // its Video and Audio are changed only by this thread
  uint32_t NotifyMessage;
  tMessageTarget* NotifyWindow;

  // decoding thread only
  uint32_t LastFrameTick = 0;
  int32_t FrameCount = 0;
  double AudioStart = 0;
  bool AudioStarted = false;
  std::vector<int16_t> PCMBuffer;
  int32_t BlockSamples = 0;
  int32_t PendingSamples = 0;
  double AudioTime = 0;
  yuv_buffer Frame{};
  bool FrameKey = false;
  bool FrameReady = false;
  double FrameTime = 0;
  bool KeySeen = false;
  int64_t PreSamples = 0;
  bool Finished = false;
  bool LinkPending = false;
  int32_t Rate = 0, Channels = 0;
  double FrameRateValue = 15;
  // The sound clock without a sound output: seconds of sound handed over (counted as played at their own
  // rate by the wall clock, never beyond what was handed over); see WallSoundTime.
  double SoundHanded = 0;
  double SoundTaken = 0;  // seconds of sound the output has taken in this link
  double WallBase = 0;
  double WallLast = 0;  // the last time the wall clock gave: it never goes back
  uint32_t WallStart = 0;
  bool WallRunning = false;
  bool SoundEnded = false;  // no more sound for now: the wall clock runs on for the pictures
  // Sound decoded before its time was known (interleaved), handed over from HeldAt on once it is known.
  std::vector<int16_t> Held;
  size_t HeldAt = 0;
  bool ReleaseHeld = false;  // hand it over untimed (the sound ended, or names no time)
  // The next block of held sound into PCMBuffer; false when there is none to hand over now.
  bool TakeHeldSound(int32_t& n);
  double WallSoundTime();
  void PauseWallClock();

  // Seconds of the links before this one, and of this one decoded: one pair, so that a reader never adds
  // the old link's time to an offset that already holds it (a chain-link change moves one to the other).
  struct tChainTime {
    double Offset = 0;
    double Link = 0;
  };
  void AddLinkTime(double seconds);
  void StartLinkTime();  // the link's time joins the offset
  tChainTime ChainTime() const;
  // written by the decoding thread, read by GetPosition on the main thread
  mutable std::mutex ChainTimeLock;
  tChainTime Chain;  // guarded by ChainTimeLock
  std::atomic<bool> AudioOpen{false};
};

}  // namespace ktv
