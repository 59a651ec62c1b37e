// Small pieces both decoders share.
#pragma once

#include <cstdint>
#include <functional>
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

// Finds the stream whose first packet the codec's header parser accepts (result 0) and takes its `headers`
// header packets out, handing the later ones to the parser too (their results are not checked: a damaged one
// shows when the decoder is set up). Returns the stream index, or -1 when no stream qualifies or the headers
// end early.
int32_t ReadCodecHeaders(tOggIOBase& source, const std::function<int(ogg_packet*)>& headerIn,
                         int headers = 3);

}  // namespace ktv
