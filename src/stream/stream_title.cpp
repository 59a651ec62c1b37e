#include "stream/stream_title.h"

#include "platform/text.h"
#include "stream/network_receiver_thread.h"

namespace ktv {

std::string CommentTitle(const std::vector<std::string>& videoComments,
                         const std::vector<std::string>& audioComments) {
  std::string title, artist;
  for (const auto* list : {&videoComments, &audioComments}) {
    for (const std::string& line : *list) {
      if (StartsWithText(line, "TITLE="))
        title = TrimText(line.substr(6));
      else if (StartsWithText(line, "ARTIST="))
        artist = TrimText(line.substr(7));
    }
  }
  if (!artist.empty() && !title.empty()) return artist + " - " + title;
  return artist.empty() ? title : artist;
}

std::string BuildStreamTitle(const std::string& stationName, const std::string& description,
                             const std::string& commentTitle, const std::string& streamURL) {
  std::string t = TrimText(stationName);
  std::string d = TrimText(description);
  if (!t.empty() && !d.empty()) t += " - ";
  t += d;
  if (!commentTitle.empty()) {
    if (!t.empty()) t += ": ";
    t += commentTitle;
  }
  return t.empty() ? streamURL : t;
}

std::string ReceiverStatusText(uint8_t state, int32_t level) {
  switch (state) {
    case RS_CONNECTING:
      return "Connecting to Stream...";
    case RS_REQUESTING:
      return "Requesting Stream...";
    case RS_READING_HEADERS:
      return "Reading Stream Headers...";
    case RS_BUFFERING:
      return "Kestrova.tv Player [Buffering Stream: " + std::to_string(level * 100 / 256) +
             "%] - Please Wait...";
    default:
      return "";
  }
}

}  // namespace ktv

namespace ktv {

std::string ReceiverStatusText(uint8_t state, int32_t level, int32_t reconnectAttempt,
                               int32_t reconnectAttempts) {
  if (reconnectAttempt > 0)
    return "Reconnecting to Stream (attempt " + std::to_string(reconnectAttempt) + " of " +
           std::to_string(reconnectAttempts) + ")...";
  return ReceiverStatusText(state, level);
}

}  // namespace ktv
