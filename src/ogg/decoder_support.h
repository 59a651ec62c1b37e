// Small pieces both decoders share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ogg/ogg_io_base.h"

namespace ktv {

// The comment lines of a parsed comment header: the vendor string first when not empty, then each line.
std::vector<std::string> CommentLines(const char* vendor, char** lines, const int* lengths, int count);

// GetPacket, asked once more when the call ended on the first page of the next chain link: the refill that
// found that page may have fed this stream's last pages just before it, and those packets belong to this
// link.
bool FetchPacket(tOggIOBase& source, int32_t index, ogg_packet* packet, bool peek);

}  // namespace ktv
