// What a streaming server's answer says about the stream: the texts of its header fields (the ICY/ICE table),
// the bit rate, the public flag and the body length; and which status lines the receiver accepts.
#pragma once

#include <cstdint>
#include <string>

#include "net/http_answer.h"

namespace ktv {

// The texts a receiver keeps about its stream (for a local file, taken from the file name).
struct tStreamMetadata {
  // StreamURL: the address as shown, the last one of a redirect chain (no credentials).
  std::string Server, ContentType, StationName, Description, Genre, StationURL, StreamURL;
  // The address the stream came from in the end, credentials kept, when redirects moved it; else empty.
  std::string FinalURL;
  // The first four bytes of a non-Ogg answer, then the whole text when the answer is text.
  std::string TextData;
};

// The header of one answer as read so far.
struct tAnswerHeader {
  tStreamMetadata Meta;
  int32_t Bitrate = 0;         // kbit/s from "ICY-BR" or "ICE-BITRATE"; 0 when the server names none
  int64_t ContentLength = -1;  // unknown
  bool IsPublic = true;
  std::string Location;  // where a redirect sends the client
  bool Chunked = false;  // "Transfer-Encoding: chunked": the body comes in chunks (any length is ignored)
};

// Applies one field; names outside the table are ignored, and a number that does not parse leaves its value
// unchanged.
void ApplyHeaderField(const tHeaderField& field, tAnswerHeader& header);

// The receiver's rule for the status line (upper-cased): anything beginning with "HTTP" or "ICY", whatever
// status follows; any other line only when "200" occurs from its third character on.
bool IsAcceptedStatusLine(const std::string& status);

}  // namespace ktv
