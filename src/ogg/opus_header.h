// The two header packets of an Ogg Opus stream, read by the rules of the Ogg mapping: "OpusHead" (the
// identification header) and "OpusTags" (vendor and comments). Both come from the stream, so every length
// is checked against the packet; nothing here trusts a count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ktv {

// Opus sound is always decoded at this rate; granule positions count samples at it.
constexpr int32_t kOpusRate = 48000;

struct tOpusHeader {
  uint8_t Version = 0;
  uint8_t Channels = 0;
  uint16_t PreSkip = 0;    // samples (48 kHz) at the start of a link that are decoded but not heard
  uint32_t InputRate = 0;  // the rate the encoder was given; shown only (0 = unnamed)
  int16_t OutputGain = 0;  // Q7.8 dB, applied to the decoded sound
  uint8_t MappingFamily = 0;
  uint8_t StreamCount = 0;
  uint8_t CoupledCount = 0;
  uint8_t Mapping[255] = {};  // decoded stream channel of each output channel (255 = silence)
};

// Channel counts the mapping families we play allow: family 0 is mono or stereo, family 1 up to 7.1.
constexpr int kMaxOpusFamily0Channels = 2;
constexpr int kMaxOpusFamily1Channels = 8;

// True when the packet is an identification header this player can decode: major version 0 (version
// below 16), at least one channel, mapping family 0 or 1 with a consistent stream layout. Families 0's
// layout is implied (one stream, coupled when stereo). On false, `header` is left zeroed.
bool ReadOpusHead(const uint8_t* data, size_t size, tOpusHeader& header);

// The comment header as lines: the vendor string first (when not empty), then each comment. A damaged
// packet gives what could be read before the damage; `vendor` gets the vendor string alone. False when the
// packet is no comment header at all (nothing is filled then).
bool ReadOpusTags(const uint8_t* data, size_t size, std::vector<std::string>& lines, std::string& vendor);

}  // namespace ktv
