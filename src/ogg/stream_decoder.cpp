#include "ogg/stream_decoder.h"

#include "ogg/decoder_support.h"

namespace ktv {

bool tOggStreamDecoder::Open(tOggIOBase& source) {
  Comments.clear();
  if (!LibraryAvailable()) return false;
  Close();
  BeginHeaders();
  int32_t index = ReadCodecHeaders(
      source, [this](ogg_packet* packet) { return HeaderIn(packet); }, HeaderCount());
  if (index < 0 || !SetUp()) {
    Close();
    return false;
  }
  StreamIndex = index;
  source.ActivateStream(index);
  Source = &source;
  return true;
}

void tOggStreamDecoder::Close() {
  if (Source) Source->DeactivateStream(StreamIndex);
  StreamIndex = -1;
  Source = nullptr;
  Comments.clear();
  Vendor.clear();
  if (LibraryAvailable()) ClearRecords();
}

bool tOggStreamDecoder::NextPacket(ogg_packet* packet) {
  return Source && FetchPacket(*Source, StreamIndex, packet, false);
}

const char* AudioCodecName(tAudioCodecKind kind) {
  return kind == tAudioCodecKind::Opus ? "Opus" : "Vorbis";
}

const uint8_t* WaveChannelOrder(int channels) {
  static const uint8_t k3[] = {0, 2, 1};                 // L C R
  static const uint8_t k5[] = {0, 2, 1, 3, 4};           // FL C FR BL BR
  static const uint8_t k6[] = {0, 2, 1, 5, 3, 4};        // FL C FR BL BR LFE
  static const uint8_t k7[] = {0, 2, 1, 6, 5, 3, 4};     // FL C FR SL SR BC LFE
  static const uint8_t k8[] = {0, 2, 1, 7, 5, 6, 3, 4};  // FL C FR SL SR BL BR LFE
  switch (channels) {
    case 3:
      return k3;
    case 5:
      return k5;
    case 6:
      return k6;
    case 7:
      return k7;
    case 8:
      return k8;
    default:
      return nullptr;
  }
}

}  // namespace ktv
