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

}  // namespace ktv
