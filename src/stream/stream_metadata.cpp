#include "stream/stream_metadata.h"

#include "platform/text.h"

namespace ktv {

namespace {

// Header fields that set a metadata text.
struct tMetaHeader {
  const char* Name;
  std::string tStreamMetadata::*Field;
};
const tMetaHeader kMetaHeaders[] = {
    {"SERVER", &tStreamMetadata::Server},
    {"CONTENT-TYPE", &tStreamMetadata::ContentType},
    {"ICY-NAME", &tStreamMetadata::StationName},
    {"ICE-NAME", &tStreamMetadata::StationName},
    {"ICY-DESCRIPTION", &tStreamMetadata::Description},
    {"ICE-DESCRIPTION", &tStreamMetadata::Description},
    {"ICY-GENRE", &tStreamMetadata::Genre},
    {"ICE-GENRE", &tStreamMetadata::Genre},
    {"ICY-URL", &tStreamMetadata::StationURL},
};

}  // namespace

void ApplyHeaderField(const tHeaderField& field, tAnswerHeader& header) {
  const std::string& name = field.Name;
  for (const tMetaHeader& meta : kMetaHeaders)
    if (name == meta.Name) header.Meta.*meta.Field = field.Value;
  if (name == "ICY-BR" || name == "ICE-BITRATE") {
    ParseInteger(field.Value, header.Bitrate);
  } else if (name == "CONTENT-LENGTH") {
    ParseInteger(field.Value, header.ContentLength);
  } else if (name == "ICY-PUB" || name == "ICY-PUBLIC") {
    header.IsPublic = field.Value == "1";
  } else if (name == "ICY-PRIVATE") {
    header.IsPublic = field.Value == "0";
  } else if (name == "TRANSFER-ENCODING") {
    header.Chunked = UpperCase(field.Value).find("CHUNKED") != std::string::npos;
  } else if (name == "LOCATION") {
    header.Location = field.Value;
  }
}

bool IsAcceptedStatusLine(const std::string& status) {
  if (status.rfind("HTTP", 0) == 0 || status.rfind("ICY", 0) == 0) return true;
  size_t at = status.find("200");
  return at != std::string::npos && at >= 2;
}

}  // namespace ktv
