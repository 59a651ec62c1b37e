#include "stream/ogg_thread_manager.h"

#include <algorithm>
#include <cmath>

#include "platform/clock.h"
#include "platform/main_thread.h"

namespace ktv {

namespace {

// No block is longer than this many sample frames, whatever the headers say.
constexpr int64_t kMaxBlockSamples = 192000;

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
    : ReceiverSource(std::make_unique<tNetworkOggReceiver>()),
      NotifyMessage(notifyMessage),
      NotifyWindow(notifyWindow) {
  ReceiverSource->Connect(url, bufferSeconds);
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
}

double tOggThreadManager::GetPosition() {
  if (AudioOpen) return (OnGetAudioTime ? OnGetAudioTime() : 0.0) + ChainOffset;
  return ChainOffset + LinkTime;
}

bool tOggThreadManager::HasVideo() {
  std::lock_guard<std::mutex> guard(DecoderLock);
  return Video != nullptr;
}

bool tOggThreadManager::HasAudio() {
  std::lock_guard<std::mutex> guard(DecoderLock);
  return Audio != nullptr;
}

bool tOggThreadManager::GetVideoInfo(theora_info& info, double& frameRate, double& aspectRatio) {
  std::lock_guard<std::mutex> guard(DecoderLock);
  if (!Video) return false;
  info = Video->Info;
  frameRate = Video->FrameRate();
  aspectRatio = Video->AspectRatio();
  return true;
}

bool tOggThreadManager::GetAudioFormat(int32_t& rate, int32_t& channels) {
  std::lock_guard<std::mutex> guard(DecoderLock);
  if (!Audio) return false;
  rate = static_cast<int32_t>(Audio->Info.rate);
  channels = Audio->Info.channels;
  return true;
}

std::vector<std::string> tOggThreadManager::VideoComments() {
  std::lock_guard<std::mutex> guard(DecoderLock);
  return Video ? Video->Comments : std::vector<std::string>();
}

std::vector<std::string> tOggThreadManager::AudioComments() {
  std::lock_guard<std::mutex> guard(DecoderLock);
  return Audio ? Audio->Comments : std::vector<std::string>();
}

int32_t tOggThreadManager::VideoStreamIndex() {
  std::lock_guard<std::mutex> guard(DecoderLock);
  return Video ? Video->StreamIndex : -1;
}

int32_t tOggThreadManager::AudioStreamIndex() {
  std::lock_guard<std::mutex> guard(DecoderLock);
  return Audio ? Audio->StreamIndex : -1;
}

void tOggThreadManager::Post(int code) {
  if (NotifyWindow) NotifyWindow->PostMessage(NotifyMessage, code, reinterpret_cast<intptr_t>(this));
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
  if (shown) ++FramesShown;
}

bool tOggThreadManager::HasAudioTimeEvent() {
  bool set = false;
  Synchronize([&] { set = static_cast<bool>(OnGetAudioTime); });
  return set;
}

double tOggThreadManager::CallGetAudioTime() {
  double time = 0;
  Synchronize([&] {
    if (OnGetAudioTime) time = OnGetAudioTime();
  });
  return time;
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
}

void tOggThreadManager::Reset() {
  {
    std::lock_guard<std::mutex> guard(DecoderLock);
    Audio.reset();
    Video.reset();
  }
  AudioOpen = false;
  ResetPlayState();
  LinkPending = false;
  Finished = false;
}

double tOggThreadManager::SafeFrameRate() const {
  return FrameRateValue;
}

void tOggThreadManager::SizeAudioBlock() {
  Rate = static_cast<int32_t>(Audio->Info.rate);
  Channels = std::max(1, Audio->Info.channels);
  BlockSamples = AudioBlockSamples(Rate, Video != nullptr, Video ? Video->FrameRate() : 15);
  PCMBuffer.assign(static_cast<size_t>(BlockSamples) * static_cast<size_t>(Channels), 0);
}

// (Re)opens the decoders there are on the current link, dropping each that fails (and Theora other than
// 4:2:0).
void tOggThreadManager::OpenDecoders() {
  tNetworkOggReceiver& source = *ReceiverSource;
  source.FeedAllStreams = true;
  {
    std::lock_guard<std::mutex> guard(DecoderLock);
    if (Video && (!Video->Open(source) || Video->PixelFormat() != 0)) Video.reset();  // only 4:2:0 is drawn
    if (Audio) {
      if (Audio->Open(source))
        SizeAudioBlock();
      else
        Audio.reset();
    }
  }
  if (Video) {
    double fps = Video->FrameRate();
    FrameRateValue = fps > 0 && std::isfinite(fps) ? fps : 15;
  }
  AudioOpen = Audio != nullptr;
  source.FeedAllStreams = false;
  ++LinksOpened;
}

void tOggThreadManager::OpenStreams() {
  Post(PROGRESS_OPENING);
  LinkPending = false;
  if (!ReceiverSource->OpenStreams()) return;  // the receiver has stored error 6 and goes idle
  Reset();
  tNetworkOggReceiver& source = *ReceiverSource;
  {
    std::lock_guard<std::mutex> guard(DecoderLock);
    Video = std::make_unique<tOggTheoraCodec>();
    Audio = std::make_unique<tOggVorbisCodec>();
  }
  OpenDecoders();
  if (Video) Post(PROGRESS_VIDEO);
  if (Audio) Post(PROGRESS_AUDIO);
  Post(PROGRESS_STREAMS);
  if (!Video && !Audio) {
    source.Abort(RE_TYPE);
    return;
  }
  Post(PROGRESS_BUFFERING);
}

void tOggThreadManager::NextLink() {
  tNetworkOggReceiver& source = *ReceiverSource;
  {
    std::lock_guard<std::mutex> guard(DecoderLock);
    if (Video) Video->Close();
    if (Audio) Audio->Close();
  }
  source.ResetStreams();
  LinkPending = false;
  ChainOffset = ChainOffset + LinkTime;
  LinkTime = 0;
  if (!source.OpenStreams()) return;
  ResetPlayState();
  OpenDecoders();
  Post(PROGRESS_STREAMS);
  // A link with nothing we can decode would leave the stream stalled for ever: end it as an unplayable
  // stream.
  if (!Video && !Audio) source.Abort(RE_TYPE);
}

void tOggThreadManager::Step() {
  tNetworkOggReceiver& source = *ReceiverSource;
  if (source.GetState() != RS_PLAYING) {
    CallAudioData(nullptr, -1);
    return;
  }
  const double fps = SafeFrameRate();

  if (Video && !Audio) {  // video only: paced by the wall clock
    uint32_t interval = static_cast<uint32_t>(RoundEven(1000.0 / fps));
    uint32_t now = timeGetTime();
    if (FrameCount == 0 || now - LastFrameTick >= interval) {
      yuv_buffer frame;
      bool key = false;
      double time = 0;
      if (!Video->DecodeFrame(frame, &key, time)) {
        Finished = true;
        return;
      }
      ++FrameCount;
      LastFrameTick = now;
      KeySeen = KeySeen || key;
      if (KeySeen) CallVideoFrame(&frame, &key);
      LinkTime = LinkTime + 1.0 / fps;
    }
  }

  if (Audio) {
    if (PendingSamples > 0 && CallAudioData(PCMBuffer.data(), PendingSamples)) PendingSamples = 0;
    if (PendingSamples == 0) {
      int32_t n = BlockSamples;
      if (Audio->Decode(PCMBuffer.data(), n, AudioTime)) {
        PendingSamples = n;
        if (!AudioStarted && n > 0 && AudioTime >= 0) {
          AudioStart = AudioTime - static_cast<double>(PreSamples) / Rate;
          AudioStarted = true;
        } else if (AudioTime < 0) {
          PreSamples += n;
        }
        // The link's length counts every decoded sample, whether or not the player took it at once.
        LinkTime = LinkTime + static_cast<double>(n) / Rate;
        if (n > 0) {
          bool handled = false;
          bool taken = false;
          Synchronize([&] {
            handled = static_cast<bool>(OnAudioData);
            if (handled) taken = OnAudioData(PCMBuffer.data(), PendingSamples);
          });
          if (taken || !handled) PendingSamples = 0;
        } else {
          PendingSamples = 0;
        }
      } else {
        LinkPending = LinkPending || source.PagePending;
        // Pictures timed by the wall clock (no sound output) go on after the sound has run out; with an
        // audio clock, a clock that has stopped would never make them due.
        if (CallPlaybackDone() && (!Video || HasAudioTimeEvent())) {
          Finished = true;
          return;
        }
      }
    }
  }

  if (!Audio || !Video) return;
  if (!FrameReady) {
    double time = 0;
    if (Video->DecodeFrame(Frame, &FrameKey, time)) {
      FrameReady = true;
      KeySeen = KeySeen || FrameKey;
      FrameTime = time > 0 ? time : (AudioStarted ? AudioStart : 0);
    } else {
      LinkPending = LinkPending || source.PagePending;
      if (CallPlaybackDone()) {
        Finished = true;
        return;
      }
    }
  }
  if (FrameReady && AudioStarted) {
    ++FrameCount;
    uint32_t interval = static_cast<uint32_t>(1000.0 / fps);
    bool due;
    if (HasAudioTimeEvent()) {
      double clock = CallGetAudioTime() + AudioStart;
      due = FrameTime <= clock;
      if (due && clock - 1.0 / fps > FrameTime) {  // more than a frame late: dropped
        FrameReady = false;
        ++FramesDropped;
        return;
      }
    } else {
      due = timeGetTime() - LastFrameTick >= interval;
    }
    if (due) {
      LastFrameTick = timeGetTime();
      if (KeySeen) CallVideoFrame(&Frame, &FrameKey);
      FrameReady = false;
    }
  }
}

void tOggThreadManager::Execute() {
  bool initialised = false;
  // No state yet: a receiver that has already failed when the thread first looks is reported too.
  uint8_t lastState = 0xFF;
  FrameCount = 0;
  auto pause = [this](uint32_t ms) {
    for (uint32_t slept = 0; slept < ms && !Terminated(); slept += 10) Sleep(std::min(10u, ms - slept));
  };
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
        lastState = state;
        if (state == RS_PLAYING) {
          Post(PROGRESS_PLAYING);
          CallBufferState(false, 255);
        } else {
          Post(PROGRESS_BUFFERING);
        }
      }
      if (state == RS_BUFFERING) {
        CallBufferState(true, source.GetBufferLevel());
        pause(LinkPending ? 5 : 20);
      }
      Finished = false;
      Step();
      if (Finished) {
        if (source.PagePending)
          NextLink();
        else if (source.InputEnded())
          source.FinishStream();  // everything was played: let the session end in order
        else if (!source.IsActive())
          source.Disconnect();
      }
      Sleep(LinkPending ? 1 : 2);
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
      pause(250);
    }
  }
}

}  // namespace ktv
