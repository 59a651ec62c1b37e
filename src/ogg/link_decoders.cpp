#include "ogg/link_decoders.h"

#include "ogg/opus_codec.h"
#include "ogg/vorbis_codec.h"

namespace ktv {

namespace {

// The sound decoders in the order a link's streams are offered to them: Vorbis where a link has both.
constexpr tAudioCodecKind kAudioPreference[] = {tAudioCodecKind::Vorbis, tAudioCodecKind::Opus};

std::unique_ptr<tOggAudioCodec> MakeAudioCodec(tAudioCodecKind kind) {
  if (kind == tAudioCodecKind::Opus) return std::make_unique<tOggOpusCodec>();
  return std::make_unique<tOggVorbisCodec>();
}

}  // namespace

tOggLinkDecoders::~tOggLinkDecoders() {
  Free();
}

std::unique_lock<std::mutex> tOggLinkDecoders::LockViews() {
  return ViewLock ? std::unique_lock<std::mutex>(*ViewLock) : std::unique_lock<std::mutex>();
}

uint8_t tOggLinkDecoders::Kinds() const {
  return static_cast<uint8_t>((Video ? kVideo : kNone) | (Audio ? kAudio : kNone));
}

void tOggLinkDecoders::OpenAudio(tOggIOBase& source) {
  std::unique_ptr<tOggAudioCodec> kept = std::move(Audio);
  for (tAudioCodecKind kind : kAudioPreference) {
    std::unique_ptr<tOggAudioCodec> codec =
        kept && kept->Kind() == kind ? std::move(kept) : MakeAudioCodec(kind);
    if (codec->Open(source)) {
      Audio = std::move(codec);
      return;
    }
  }
}

bool tOggLinkDecoders::Open(tOggIOBase& source, uint8_t kinds) {
  auto lock = LockViews();
  source.FeedAllStreams = true;
  if (kinds & kVideo) {
    if (!Video) Video = std::make_unique<tOggTheoraCodec>();
    if (!Video->Open(source)) Video.reset();
  } else {
    Video.reset();
  }
  if (kinds & kAudio)
    OpenAudio(source);
  else
    Audio.reset();
  source.FeedAllStreams = false;
  return Video || Audio;
}

void tOggLinkDecoders::Close() {
  auto lock = LockViews();
  if (Video) Video->Close();
  if (Audio) Audio->Close();
}

bool tOggLinkDecoders::NextLink(tOggIOBase& source) {
  Close();
  source.ResetStreams();
  return source.ReadStreamHeaders();
}

void tOggLinkDecoders::Free() {
  auto lock = LockViews();
  Video.reset();
  Audio.reset();
}

}  // namespace ktv
