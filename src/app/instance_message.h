// The message between two starts of the player, without Qt so that it can be fuzzed: a 32-bit little-endian
// tag, a 32-bit little-endian length and that many bytes. A later start sends tag 128 with its arguments
// (UTF-8, separated by a zero byte, which no path or address contains; no bytes without arguments); the
// running player answers tag 129 with no bytes once it has taken them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ktv {

constexpr uint32_t kInstanceTag = 128;
constexpr uint32_t kInstanceAnswerTag = 129;
constexpr size_t kInstanceHeaderBytes = 8;
// Longer messages are refused: a file manager's selection fits many times over, and the bytes are held in
// memory until the message is whole.
constexpr uint32_t kMaxInstanceBytes = 64 * 1024;

enum class tInstanceRead {
  NeedMore,  // the message is not whole yet
  Complete,  // Bytes and Consumed are set
  Refused,   // another tag, or longer than kMaxInstanceBytes: drop the peer
};

// Reads the message at the start of the bytes received so far (the first `size` bytes of `data`).
tInstanceRead ReadInstanceMessage(const uint8_t* data, size_t size, uint32_t expectedTag, std::string& bytes,
                                  size_t& consumed);

// Header and bytes; the caller keeps `bytes` within kMaxInstanceBytes.
std::string EncodeInstanceMessage(uint32_t tag, std::string_view bytes);

// The arguments as one message body, and back. Empty arguments are skipped on both sides. Join stops before
// the first argument that would take the body past kMaxInstanceBytes and returns how many arguments it went
// through (arguments.size() when all fit).
size_t JoinInstanceArguments(const std::vector<std::string>& arguments, std::string& body);
std::vector<std::string> SplitInstanceArguments(std::string_view body);

}  // namespace ktv
