// Texts the player shows about a stream: the title built when the stream headers are read, and the status
// line of the receiver's state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ktv {

// "ARTIST - TITLE" (or whichever is set) from the comment lines: the video decoder's first, then the audio
// decoder's; later lines win.
std::string CommentTitle(const std::vector<std::string>& videoComments,
                         const std::vector<std::string>& audioComments);

// Station name, " - " description, ": " comment title; the stream address when all are empty.
std::string BuildStreamTitle(const std::string& stationName, const std::string& description,
                             const std::string& commentTitle, const std::string& streamURL);

// The status line for a receiver state (empty for idle and playing); level is the buffer level 0..255.
std::string ReceiverStatusText(uint8_t state, int32_t level);
// The same, unless a dropped stream is being reconnected (attempt K of N, K from 1): that says so instead.
std::string ReceiverStatusText(uint8_t state, int32_t level, int32_t reconnectAttempt,
                               int32_t reconnectAttempts);

}  // namespace ktv
