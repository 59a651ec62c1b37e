#include "stream/ogg_thread_manager.h"

#include <algorithm>
#include <cmath>

#include "platform/clock.h"
#include "platform/main_thread.h"

namespace ktv {

namespace {

// No block is longer than this many sample frames, whatever the headers say.
constexpr int64_t kMaxBlockSamples = 192000;
// The longest wait between steps while playing: state changes of the receiver are seen this soon.
constexpr uint32_t kMaxStepWaitMs = 100;
// A decoder that found no data waits this long before it asks again (it has already waited for bytes).
constexpr uint32_t kRetryWaitMs = 10;
// Waits while buffering (shorter while a next chain link waits to be opened) and while idle.
constexpr uint32_t kBufferingWaitMs = 20;
constexpr uint32_t kLinkPendingWaitMs = 5;
constexpr uint32_t kIdleWaitMs = 250;
// The most sound kept ahead of the player's clock: a second, which starts the ring.
constexpr double kMaxSoundLeadSeconds = 1.0;
// Sound held back until its time is known: the first page of a stream is far shorter.
constexpr int32_t kMaxHeldSeconds = 5;
// While the receiver connects and reads the answer's header the thread looks more often: a stream that starts
// at once (a file, a server's first burst) must not wait a quarter of a second to be played.
constexpr uint32_t kConnectingWaitMs = 20;

// Milliseconds until `seconds` from now, rounded up, within 0..kMaxStepWaitMs.
uint32_t MillisecondsUntil(double seconds) {
  if (!(seconds > 0)) return 0;
  return static_cast<uint32_t>(std::min<double>(std::ceil(seconds * 1000.0), kMaxStepWaitMs));
}

uint64_t NextStreamId() {
  static std::atomic<uint64_t> last{0};
  return ++last;
}

int64_t RoundEven(double v) {
  return static_cast<int64_t>(std::nearbyint(v));
}

}  // namespace

int32_t AudioBlockSamples(int32_t rate, bool hasVideo, double frameRate) {
  if (!(frameRate > 0) || !std::isfinite(frameRate)) frameRate = 15;
  int64_t samples = hasVideo ? RoundEven(rate / frameRate) : rate / 10;
  if (samples % 2) ++samples;
  return static_cast<int32_t>(
      std::clamp<int64_t>(samples, 2, std::min<int64_t>(kMaxBlockSamples, std::max(rate, 2))));
}

tOggThreadManager::tOggThreadManager(const std::string& url, uint32_t notifyMessage,
                                     tMessageTarget* notifyWindow, int32_t bufferSeconds)
    : tOggThreadManager(url, notifyMessage, notifyWindow, tReceiverOptions{bufferSeconds}) {}

tOggThreadManager::tOggThreadManager(const std::string& url, uint32_t notifyMessage,
                                     tMessageTarget* notifyWindow, const tReceiverOptions& options)
    : Id(NextStreamId()),
      OpenedTick(timeGetTime()),
      ReceiverSource(std::make_unique<tNetworkOggReceiver>()),
      NotifyMessage(notifyMessage),
      NotifyWindow(notifyWindow) {
  tReceiverOptions own = options;
  own.AwaitStreamRate = true;  // SizeQueue follows the header scan
  ReceiverSource->Connect(url, own);
  Start();
}

tOggThreadManager::~tOggThreadManager() {
  Terminate();
  ReceiverSource->Disconnect();
  WaitFor();  // on the main thread, pending event calls still run meanwhile
  Reset();
  ReceiverSource.reset();
}

void tOggThreadManager::ClearEvents() {
  OnAudioData = nullptr;
  OnVideoFrame = nullptr;
  OnGetAudioTime = nullptr;
  OnBufferState = nullptr;
  OnPlaybackDone = nullptr;
}

double tOggThreadManager::GetPosition() {
  const tChainTime chain = ChainTime();
  if (AudioOpen && OnGetAudioTime) return OnGetAudioTime() + chain.Offset;
  return chain.Offset + chain.Link;  // no sound output: the time decoded, which the wall clock paces
}

double tOggThreadManager::DecodedSeconds() const {
  const tChainTime chain = ChainTime();
  return chain.Offset + chain.Link;
}

tOggThreadManager::tChainTime tOggThreadManager::ChainTime() const {
  std::lock_guard<std::mutex> guard(ChainTimeLock);
  return Chain;
}

void tOggThreadManager::AddLinkTime(double seconds) {
  std::lock_guard<std::mutex> guard(ChainTimeLock);
  Chain.Link += seconds;
}

void tOggThreadManager::StartLinkTime() {
  std::lock_guard<std::mutex> guard(ChainTimeLock);
  Chain.Offset += Chain.Link;
  Chain.Link = 0;
}

bool tOggThreadManager::HasVideo() {
  std::lock_guard<std::mutex> guard(DecoderLock);
  return Link.Video != nullptr;
}

bool tOggThreadManager::HasAudio() {
  std::lock_guard<std::mutex> guard(DecoderLock);
  return Link.Audio != nullptr;
}

bool tOggThreadManager::GetVideoInfo(theora_info& info, double& frameRate, double& aspectRatio) {
  std::lock_guard<std::mutex> guard(DecoderLock);
  if (!Link.Video) return false;
  info = Link.Video->Info;
  frameRate = Link.Video->FrameRate();
  aspectRatio = Link.Video->AspectRatio();
  return true;
}

bool tOggThreadManager::GetAudioFormat(int32_t& rate, int32_t& channels) {
  std::lock_guard<std::mutex> guard(DecoderLock);
  if (!Link.Audio) return false;
  rate = Link.Audio->Rate();
  channels = Link.Audio->Channels();
  return true;
}

std::vector<std::string> tOggThreadManager::VideoComments() {
  std::lock_guard<std::mutex> guard(DecoderLock);
  return Link.Video ? Link.Video->Comments : std::vector<std::string>();
}

std::vector<std::string> tOggThreadManager::AudioComments() {
  std::lock_guard<std::mutex> guard(DecoderLock);
  return Link.Audio ? Link.Audio->Comments : std::vector<std::string>();
}

int32_t tOggThreadManager::VideoStreamIndex() {
  std::lock_guard<std::mutex> guard(DecoderLock);
  return Link.Video ? Link.Video->StreamIndex : -1;
}

int32_t tOggThreadManager::AudioStreamIndex() {
  std::lock_guard<std::mutex> guard(DecoderLock);
  return Link.Audio ? Link.Audio->StreamIndex : -1;
}

void tOggThreadManager::Post(int code) {
  if (NotifyWindow) NotifyWindow->PostMessage(NotifyMessage, code, static_cast<intptr_t>(Id));
}

// ---------------------------------------------------------------------------------------------------------------
// Event calls: the handler is read on the main thread, inside the synchronised call.

bool tOggThreadManager::CallAudioData(const int16_t* samples, int32_t frameCount) {
  bool taken = false;
  Synchronize([&] {
    if (OnAudioData) taken = OnAudioData(samples, frameCount);
  });
  return taken;
}

void tOggThreadManager::CallVideoFrame(const yuv_buffer* frame, const bool* keyframe) {
  bool shown = false;
  Synchronize([&] {
    if (OnVideoFrame) {
      OnVideoFrame(frame, keyframe);
      shown = true;
    }
  });
  if (shown && FramesShown++ == 0) FirstPictureMs = static_cast<int32_t>(timeGetTime() - OpenedTick);
}

bool tOggThreadManager::CallGetAudioTime(double& time) {
  bool set = false;
  Synchronize([&] {
    set = static_cast<bool>(OnGetAudioTime);
    if (set) time = OnGetAudioTime();
  });
  return set;
}

void tOggThreadManager::CallBufferState(bool buffering, int32_t level) {
  Synchronize([&] {
    if (OnBufferState) OnBufferState(buffering, level);
  });
}

bool tOggThreadManager::CallPlaybackDone() {
  bool done = false;
  Synchronize([&] {
    if (OnPlaybackDone) done = OnPlaybackDone();
  });
  return done;
}

// ---------------------------------------------------------------------------------------------------------------

void tOggThreadManager::ResetPlayState() {
  PCMBuffer.clear();
  LastFrameTick = 0;
  FrameCount = 0;
  AudioStart = 0;
  AudioStarted = false;
  BlockSamples = 0;
  PendingSamples = 0;
  AudioTime = 0;
  FrameReady = false;
  KeySeen = false;
  PreSamples = 0;
  Held.clear();
  HeldAt = 0;
  ReleaseHeld = false;
  SoundHanded = 0;
  SoundTaken = 0;
  WallBase = 0;
  WallLast = 0;
  WallRunning = false;
  SoundEnded = false;
}

void tOggThreadManager::Reset() {
  Link.Free();
  AudioOpen = false;
  ResetPlayState();
  LinkPending = false;
  Finished = false;
}

double tOggThreadManager::SafeFrameRate() const {
  return FrameRateValue;
}

void tOggThreadManager::SizeAudioBlock() {
  Rate = Link.Audio->Rate();
  Channels = std::max(1, Link.Audio->Channels());
  BlockSamples = AudioBlockSamples(Rate, Link.Video != nullptr, Link.Video ? Link.Video->FrameRate() : 15);
  PCMBuffer.assign(static_cast<size_t>(BlockSamples) * static_cast<size_t>(Channels), 0);
}

// Opens the decoders of `kinds` on the current link, dropping each that fails (and Theora of the reserved
// pixel format, which no back-end draws).
void tOggThreadManager::OpenDecoders(uint8_t kinds) {
  Link.Open(*ReceiverSource, kinds);
  if (Link.Video && !DrawnPixelFormat(Link.Video->PixelFormat())) {
    std::lock_guard<std::mutex> guard(DecoderLock);
    Link.Video.reset();
  }
  if (Link.Audio) SizeAudioBlock();
  if (Link.Video) {
    double fps = Link.Video->FrameRate();
    FrameRateValue = fps > 0 && std::isfinite(fps) ? fps : 15;
  }
  AudioOpen = Link.Audio != nullptr;
  ++LinksOpened;
  SizeQueue();
}

void tOggThreadManager::SizeQueue() {
  // The nominal rates of the identification headers (bit/s); 0 where an encoder named none.
  int64_t bits = 0;
  {
    std::lock_guard<std::mutex> guard(DecoderLock);
    if (Link.Video) bits += Link.Video->Info.target_bitrate;
    if (Link.Audio) bits += Link.Audio->NominalBitrate();
  }
  int64_t kbps = std::min<int64_t>(bits / 1000, INT32_MAX);
  // Called even without a rate: the receiver waits for this before it plays a stream of unknown rate.
  ReceiverSource->SizeQueueForStream(static_cast<int32_t>(kbps));
}

void tOggThreadManager::OpenStreams() {
  Post(PROGRESS_OPENING);
  LinkPending = false;
  if (!ReceiverSource->OpenStreams()) return;  // the receiver has stored error 6 and goes idle
  Reset();
  OpenDecoders(tOggLinkDecoders::kBoth);
  if (Link.Video) Post(PROGRESS_VIDEO);
  if (Link.Audio) Post(PROGRESS_AUDIO);
  Post(PROGRESS_STREAMS);
  if (!Link.Video && !Link.Audio) {
    ReceiverSource->Abort(RE_TYPE);
    return;
  }
  Post(PROGRESS_BUFFERING);
}

void tOggThreadManager::NextLink() {
  tNetworkOggReceiver& source = *ReceiverSource;
  const uint8_t before = Link.Kinds();  // what played the last link
  const bool scanned = Link.NextLink(source);
  LinkPending = false;
  StartLinkTime();
  if (!scanned) {
    source.Abort(RE_TYPE);  // as the receiver's OpenStreams does for a failed scan
    return;
  }
  ResetPlayState();
  // Every link is opened with every decoder it has: a station may follow a radio programme with a film, and
  // the film's picture must not be lost because the link before it had none. A picture that appears is
  // announced as at the start (the window takes its size), and a change between sound with and without a
  // picture is announced with the sound's message, so the window turns the visualisation on or off.
  OpenDecoders(tOggLinkDecoders::kBoth);
  const bool hadVideo = (before & tOggLinkDecoders::kVideo) != 0;
  if (Link.Video && !hadVideo) Post(PROGRESS_VIDEO);
  if (Link.Audio && (Link.Video != nullptr) != hadVideo) Post(PROGRESS_AUDIO);
  Post(PROGRESS_STREAMS);
  // A link with nothing we can decode would leave the stream stalled for ever: end it as an unplayable
  // stream.
  if (!Link.Video && !Link.Audio) source.Abort(RE_TYPE);
}

double tOggThreadManager::WallSoundTime() {
  if (!WallRunning) return WallBase;
  uint32_t now = timeGetTime();
  double time = WallBase + (now - WallStart) / 1000.0;
  // Nothing more was handed over: the clock waits there, as a device that runs dry plays silence (but never
  // goes back to it, when it ran on while the sound had seemed to end).
  double limit = std::max(SoundHanded, WallLast);
  if (!SoundEnded && time > limit) {
    WallBase = time = limit;
    WallStart = now;
  }
  WallLast = time;
  return time;
}

void tOggThreadManager::PauseWallClock() {
  WallBase = WallSoundTime();
  WallRunning = false;
}

uint32_t tOggThreadManager::StepVideoOnly() {
  uint32_t interval = static_cast<uint32_t>(RoundEven(1000.0 / SafeFrameRate()));
  uint32_t now = timeGetTime();
  if (FrameCount != 0 && now - LastFrameTick < interval) return interval - (now - LastFrameTick);
  yuv_buffer frame;
  bool key = false;
  double time = 0;
  if (!Link.Video->DecodeFrame(frame, &key, time)) {
    Finished = true;
    return 0;
  }
  ++FrameCount;
  LastFrameTick = now;
  KeySeen = KeySeen || key;
  if (KeySeen) CallVideoFrame(&frame, &key);
  AddLinkTime(1.0 / SafeFrameRate());
  return interval;
}

bool tOggThreadManager::TakeHeldSound(int32_t& n) {
  if (!(AudioStarted || ReleaseHeld) || HeldAt >= Held.size()) return false;
  const size_t channels = static_cast<size_t>(Channels);
  n = static_cast<int32_t>(
      std::min<size_t>(static_cast<size_t>(BlockSamples), (Held.size() - HeldAt) / channels));
  std::copy_n(Held.begin() + static_cast<std::ptrdiff_t>(HeldAt), static_cast<size_t>(n) * channels,
              PCMBuffer.begin());
  HeldAt += static_cast<size_t>(n) * channels;
  if (HeldAt >= Held.size()) {
    Held.clear();
    HeldAt = 0;
  }
  return true;
}

bool tOggThreadManager::StepAudio(bool clocked, double clock, uint32_t& wait) {
  tNetworkOggReceiver& source = *ReceiverSource;
  const double blockSeconds = Rate > 0 ? static_cast<double>(BlockSamples) / Rate : 0.1;
  if (PendingSamples > 0) {
    if (!CallAudioData(PCMBuffer.data(), PendingSamples)) {
      // The output is full: it takes this block once it has played about as much.
      wait = std::min(wait, MillisecondsUntil(blockSeconds));
      return true;
    }
    SoundTaken += static_cast<double>(PendingSamples) / Rate;
    PendingSamples = 0;
    wait = 0;
  }
  if (clocked && AudioStarted) {
    // Sound further ahead of the clock than the output needs to start (a second) would only move the stream
    // out of the receiver's queue, whose level decides between playing and buffering: a small buffer setting
    // would then fall back to buffering at once. Nor a block more: on a live stream the pages of the next
    // block may not have arrived, and the read for them would hold back a picture that falls due meanwhile
    // (the first one among them, as the output starts with that second queued).
    double ahead = SoundTaken - std::max(clock, 0.0);  // a clock before the link's start holds nothing back
    if (ahead > kMaxSoundLeadSeconds) {
      wait = std::min(wait, MillisecondsUntil(ahead - kMaxSoundLeadSeconds));
      return true;
    }
  }
  if (!clocked && AudioStarted) {
    // No sound output: keep one block ahead of the wall clock, as a device would.
    if (!WallRunning) {
      WallRunning = true;
      WallStart = timeGetTime();
    }
    double ahead = SoundHanded - WallSoundTime();
    if (ahead > blockSeconds) {
      wait = std::min(wait, MillisecondsUntil(ahead - blockSeconds));
      return true;
    }
  }
  int32_t n = 0;
  if (!TakeHeldSound(n)) {
    n = BlockSamples;
    if (!Link.Audio->Decode(PCMBuffer.data(), n, AudioTime)) {
      LinkPending = LinkPending || source.PagePending;
      if (!Held.empty()) {  // the sound ended before its time was known: play it untimed
        ReleaseHeld = true;
        wait = 0;
        return true;
      }
      SoundEnded = true;
      // Pictures timed by the wall clock (no sound output) go on after the sound has run out; with an audio
      // clock, a clock that has stopped would never make them due.
      if (CallPlaybackDone() && (!Link.Video || clocked)) {
        Finished = true;
        return false;
      }
      wait = std::min(wait, kRetryWaitMs);
      return true;
    }
    SoundEnded = false;
    if (!AudioStarted && n > 0 && AudioTime >= 0) {
      AudioStart = AudioTime - static_cast<double>(PreSamples) / Rate;
      AudioStarted = true;
    } else if (AudioTime < 0) {
      PreSamples += n;
    }
    // The link's length counts every decoded sample, whether or not the player took it at once.
    AddLinkTime(static_cast<double>(n) / Rate);
    if (n > 0 && (!Held.empty() || !AudioStarted) && !ReleaseHeld) {
      // Sound is held back until its time is known (the end of its first page): played at once, it would be
      // heard before the pictures could be timed against it, and they would all be late.
      const size_t values = static_cast<size_t>(n) * static_cast<size_t>(Channels);
      if (Held.size() + values <= static_cast<size_t>(kMaxHeldSeconds * Rate * Channels)) {
        Held.insert(Held.end(), PCMBuffer.begin(), PCMBuffer.begin() + static_cast<std::ptrdiff_t>(values));
        wait = 0;
        return true;
      }
      ReleaseHeld = true;  // a stream that names no time for this long plays its sound untimed
      Held.insert(Held.end(), PCMBuffer.begin(), PCMBuffer.begin() + static_cast<std::ptrdiff_t>(values));
      TakeHeldSound(n);
    }
  }
  PendingSamples = n;
  if (n > 0) {
    bool handled = false;
    bool taken = false;
    Synchronize([&] {
      handled = static_cast<bool>(OnAudioData);
      if (handled) taken = OnAudioData(PCMBuffer.data(), PendingSamples);
    });
    if (taken || !handled) PendingSamples = 0;
    if (taken) {
      SoundTaken += static_cast<double>(n) / Rate;
      wait = 0;  // the output has room: fill it without waiting
    }
    if (!handled) {
      // No output: the next block is due when the wall clock has played all but one block, at once while
      // the clock has not started.
      SoundHanded += static_cast<double>(n) / Rate;
      double ahead = WallRunning ? SoundHanded - WallSoundTime() : 0;
      wait = std::min(wait, MillisecondsUntil(ahead - blockSeconds));
    }
  } else {
    PendingSamples = 0;
  }
  if (PendingSamples > 0) wait = std::min(wait, MillisecondsUntil(blockSeconds));
  return true;
}

void tOggThreadManager::StepFrame(bool clocked, double clock, uint32_t& wait) {
  tNetworkOggReceiver& source = *ReceiverSource;
  const double fps = SafeFrameRate();
  if (!FrameReady) {
    double time = 0;
    if (Link.Video->DecodeFrame(Frame, &FrameKey, time)) {
      FrameReady = true;
      KeySeen = KeySeen || FrameKey;
      FrameTime = time > 0 ? time : (AudioStarted ? AudioStart : 0);
    } else {
      LinkPending = LinkPending || source.PagePending;
      if (CallPlaybackDone()) {
        Finished = true;
        return;
      }
      wait = std::min(wait, kRetryWaitMs);
      return;
    }
  }
  if (!FrameReady) return;
  if (!AudioStarted) {
    // The link's first picture goes up as soon as it is decoded. The sound that times the pictures may lie
    // seconds of stream further on (an encoder that writes long sound pages places each behind the pictures
    // it covers), and a still picture shows meanwhile that the stream is there. The rest wait for the clock.
    if (FrameCount == 0 && FrameKey) {
      ++FrameCount;
      FrameReady = false;
      wait = 0;
      LastFrameTick = timeGetTime();
      CallVideoFrame(&Frame, &FrameKey);
    }
    return;
  }
  ++FrameCount;
  if (!clocked) clock = WallSoundTime();
  clock += AudioStart;
  if (FrameTime > clock) {  // not due yet: it stays ready, and sound keeps flowing meanwhile
    wait = std::min(wait, MillisecondsUntil(FrameTime - clock));
    return;
  }
  FrameReady = false;
  wait = 0;                             // the next picture is decoded at once
  if (clock - 1.0 / fps > FrameTime) {  // more than a frame late: dropped
    ++FramesDropped;
    return;
  }
  LastFrameTick = timeGetTime();
  if (KeySeen) CallVideoFrame(&Frame, &FrameKey);
}

uint32_t tOggThreadManager::Step() {
  tNetworkOggReceiver& source = *ReceiverSource;
  if (source.GetState() != RS_PLAYING) {
    CallAudioData(nullptr, -1);
    PauseWallClock();
    return 0;
  }
  if (Link.Video && !Link.Audio) return StepVideoOnly();
  uint32_t wait = kMaxStepWaitMs;
  // One look at the player's clock per step: whether there is one (a sound output) and where it stands.
  double clock = 0;
  bool clocked = CallGetAudioTime(clock);
  // The link's first picture is decoded ahead of its sound (see StepFrame), whose pages may come later.
  if (Link.Audio && Link.Video && !AudioStarted && FrameCount == 0) StepFrame(clocked, clock, wait);
  if (Link.Audio && !StepAudio(clocked, clock, wait)) return 0;
  if (Link.Audio && Link.Video) StepFrame(clocked, clock, wait);
  return Finished ? 0 : wait;
}

void tOggThreadManager::Execute() {
  bool initialised = false;
  bool played = false;  // the receiver has reached state 5 at least once
  // No state yet: a receiver that has already failed when the thread first looks is reported too.
  uint8_t lastState = 0xFF;
  FrameCount = 0;
  while (!Terminated()) {
    tNetworkOggReceiver& source = *ReceiverSource;
    uint8_t state = source.GetState();
    if (state == RS_TEXT) {
      Post(PROGRESS_TEXT);
      Terminate();
      break;
    }
    if (state == RS_BUFFERING || state == RS_PLAYING) {
      if (!initialised) {
        Reset();
        OpenStreams();
        initialised = true;
      }
      if (state != lastState) {
        if (state == RS_PLAYING) {
          played = true;
          Post(PROGRESS_PLAYING);
          CallBufferState(false, 255);
        } else {
          if (played && lastState == RS_PLAYING) ++Rebuffers;
          Post(PROGRESS_BUFFERING);
        }
        lastState = state;
      }
      if (state == RS_BUFFERING) {
        CallBufferState(true, source.GetBufferLevel());
        Pause(LinkPending ? kLinkPendingWaitMs : kBufferingWaitMs);
      }
      Finished = false;
      uint32_t wait = Step();
      if (Finished) {
        if (source.PagePending)
          NextLink();
        else if (source.InputEnded())
          source.FinishStream();  // everything was played: let the session end in order
        else if (!source.IsActive())
          source.Disconnect();
      }
      if (wait > 0) Pause(LinkPending ? std::min(wait, 1u) : wait);
    } else {
      if (state != lastState) {
        CallAudioData(nullptr, -1);
        lastState = state;
        CallBufferState(false, 0);
        if (state == RS_IDLE) Post(PROGRESS_IDLE);
      }
      Reset();
      initialised = false;
      LinkPending = false;
      Pause(state == RS_IDLE ? kIdleWaitMs : kConnectingWaitMs);
    }
  }
}

}  // namespace ktv
