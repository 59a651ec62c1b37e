#include "ogg/opus_codec.h"

#include <algorithm>

namespace ktv {

namespace {

// A position beyond this (centuries of sound) can only come from a damaged page: it counts as none, so
// that the arithmetic on positions never overflows.
constexpr int64_t kMaxPosition = int64_t{1} << 60;

}  // namespace

tOggOpusCodec::tOggOpusCodec() : OpusAvailable(LoadOpusLibrary()) {}

tOggOpusCodec::~tOggOpusCodec() {
  Close();
  if (OpusAvailable) UnloadOpusLibrary();
}

void tOggOpusCodec::BeginHeaders() {
  Info = tOpusHeader();
  HeadRead = false;
  Tags.clear();
  TagsVendor.clear();
}

int tOggOpusCodec::HeaderIn(ogg_packet* packet) {
  const auto* data = packet->packet;
  const size_t size = packet->bytes > 0 ? static_cast<size_t>(packet->bytes) : 0;
  if (!HeadRead) {
    HeadRead = ReadOpusHead(data, size, Info);
    return HeadRead ? 0 : -1;
  }
  // A damaged comment header costs the comments, not the sound.
  ReadOpusTags(data, size, Tags, TagsVendor);
  return 0;
}

bool tOggOpusCodec::SetUp() {
  Comments = Tags;
  Vendor = TagsVendor;
  // The mapping names the decoded channel of each output channel, so the device's channel order costs nothing
  // here: the mapping is read in that order.
  uint8_t mapping[sizeof Info.Mapping];
  const uint8_t* order = WaveChannelOrder(Info.Channels);
  for (int c = 0; c < Info.Channels; ++c) mapping[c] = Info.Mapping[order ? order[c] : c];
  int error = OPUS_OK;
  Decoder = OpusApi.opus_multistream_decoder_create(kOpusRate, Info.Channels, Info.StreamCount,
                                                    Info.CoupledCount, mapping, &error);
  if (!Decoder || error != OPUS_OK) return false;
  // The library applies the header's gain (the same Q7.8 dB) to everything it decodes.
  if (OpusApi.opus_multistream_decoder_ctl(Decoder, OPUS_SET_GAIN(Info.OutputGain)) != OPUS_OK) return false;
  Scratch.resize(static_cast<size_t>(kMaxPacketFrames) * Info.Channels);
  return true;
}

void tOggOpusCodec::ClearRecords() {
  if (Decoder) OpusApi.opus_multistream_decoder_destroy(Decoder);
  Decoder = nullptr;
  Info = tOpusHeader();
  HeadRead = false;
  Scratch.clear();
  Pcm.clear();
  PcmAt = 0;
  PcmPos = 0;
  Positioned = false;
}

int64_t tOggOpusCodec::FramesReady() const {
  if (!Positioned || Info.Channels == 0) return 0;
  return static_cast<int64_t>(Pcm.size() / Info.Channels - PcmAt);
}

void tOggOpusCodec::PlacePacket(const ogg_packet& packet, int64_t frames) {
  const size_t channels = Info.Channels;
  const int64_t granule = packet.granulepos <= kMaxPosition ? packet.granulepos : -1;
  const bool last = packet.e_o_s && granule >= 0;
  if (!Positioned) {
    // Everything held so far ends where this packet's position says; no position for too long, or a link
    // that ended without one, starts at 0.
    const int64_t held = static_cast<int64_t>(Pcm.size() / channels);
    if (granule >= 0) {
      PcmPos =
          std::max<int64_t>(0, granule - held);  // a short last page ends before its sound: trimmed below
    } else if (held < kMaxHeldFrames && !packet.e_o_s) {
      return;
    } else {
      PcmPos = 0;
    }
    Positioned = true;
  } else if (granule >= 0 && !last) {
    PcmPos = granule - frames;  // follow the stream's own count
  }
  // End trimming: the last page's position is where the sound ends.
  if (last) {
    const int64_t ready = FramesReady();
    const int64_t keep = std::clamp<int64_t>(granule - PcmPos, 0, ready);
    Pcm.resize((PcmAt + static_cast<size_t>(keep)) * channels);
  }
  // Pre-skip: nothing before it is heard.
  const int64_t skip = std::clamp<int64_t>(Info.PreSkip - PcmPos, 0, FramesReady());
  PcmAt += static_cast<size_t>(skip);
  PcmPos += skip;
}

tOggOpusCodec::tPacketResult tOggOpusCodec::DecodePacket() {
  if (Positioned) {  // all delivered: the next packet's sound starts afresh
    Pcm.clear();
    PcmAt = 0;
  }
  ogg_packet packet;
  if (!NextPacket(&packet)) {
    // The link ended before any position came: what was held is played from the link's start.
    if (!Positioned && !Pcm.empty() && Source->PagePending) {
      ogg_packet end{};
      end.granulepos = -1;
      end.e_o_s = 1;
      PlacePacket(end, 0);
    }
    return tPacketResult::NoPacket;
  }
  int frames = 0;
  if (packet.bytes > 0) {  // an empty packet carries no sound (only, perhaps, a position)
    if (packet.bytes > INT32_MAX) return tPacketResult::Damaged;
    frames = OpusApi.opus_multistream_decode(Decoder, packet.packet, static_cast<opus_int32>(packet.bytes),
                                             Scratch.data(), kMaxPacketFrames, 0);
    if (frames < 0) return tPacketResult::Damaged;
  }
  Pcm.insert(Pcm.end(), Scratch.begin(),
             Scratch.begin() + static_cast<std::ptrdiff_t>(frames) * Info.Channels);
  PlacePacket(packet, frames);
  return tPacketResult::Decoded;
}

bool tOggOpusCodec::Decode(int16_t* buffer, int32_t& count, double& time) {
  const int32_t wanted = count;
  count = 0;
  if (!IsOpen() || !buffer) return false;
  const size_t channels = Info.Channels;
  int32_t delivered = 0;
  int64_t firstPos = 0;
  bool damaged = false;
  while (delivered < wanted) {
    const int64_t ready = FramesReady();
    if (ready == 0) {
      tPacketResult result = DecodePacket();
      if (result == tPacketResult::Decoded) continue;
      damaged = result == tPacketResult::Damaged;
      break;
    }
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(ready, wanted - delivered));
    if (delivered == 0) firstPos = PcmPos;
    std::copy_n(Pcm.begin() + static_cast<std::ptrdiff_t>(PcmAt * channels),
                static_cast<size_t>(n) * channels, buffer + static_cast<size_t>(delivered) * channels);
    PcmAt += static_cast<size_t>(n);
    PcmPos += n;
    delivered += n;
  }
  count = delivered;
  if (delivered > 0) time = static_cast<double>(firstPos - Info.PreSkip) / kOpusRate;
  return delivered > 0 && !damaged;
}

}  // namespace ktv
