#include "ogg/decoder_support.h"

#include <algorithm>

namespace ktv {

std::vector<std::string> CommentLines(const char* vendor, char** lines, const int* lengths, int count) {
  std::vector<std::string> out;
  if (vendor && *vendor) out.emplace_back(vendor);
  for (int j = 0; lines && lengths && j < count; ++j)
    if (lines[j]) out.emplace_back(lines[j], static_cast<size_t>(std::max(0, lengths[j])));
  return out;
}

bool FetchPacket(tOggIOBase& source, int32_t index, ogg_packet* packet, bool peek) {
  if (source.GetPacket(index, packet, peek)) return true;
  // With a page held, GetPacket reads nothing more: this only looks at what is already queued.
  return source.PagePending && source.GetPacket(index, packet, peek);
}

int32_t ReadCodecHeaders(tOggIOBase& source, const std::function<int(ogg_packet*)>& headerIn, int headers) {
  ogg_packet packet;
  int32_t index = -1;
  for (int32_t i = 0; i < source.StreamCount() && index < 0; ++i)
    if (FetchPacket(source, i, &packet, true) && headerIn(&packet) == 0) index = i;
  if (index < 0) return -1;
  FetchPacket(source, index, &packet, false);  // the identification header, already parsed
  for (int header = 1; header < headers; ++header) {
    if (!FetchPacket(source, index, &packet, false)) return -1;
    headerIn(&packet);
  }
  return index;
}

}  // namespace ktv
