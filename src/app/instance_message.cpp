#include "app/instance_message.h"

namespace ktv {

namespace {

uint32_t ReadLittleEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void AppendLittleEndian32(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

}  // namespace

tInstanceRead ReadInstanceMessage(const uint8_t* data, size_t size, uint32_t expectedTag, std::string& bytes,
                                  size_t& consumed) {
  // The tag is checked as soon as it is there, so a stranger is dropped before it sends more.
  if (size >= 4 && ReadLittleEndian32(data) != expectedTag) return tInstanceRead::Refused;
  if (size < kInstanceHeaderBytes) return tInstanceRead::NeedMore;
  const uint32_t length = ReadLittleEndian32(data + 4);
  if (length > kMaxInstanceBytes) return tInstanceRead::Refused;
  if (size - kInstanceHeaderBytes < length) return tInstanceRead::NeedMore;
  bytes.assign(reinterpret_cast<const char*>(data + kInstanceHeaderBytes), length);
  consumed = kInstanceHeaderBytes + length;
  return tInstanceRead::Complete;
}

std::string EncodeInstanceMessage(uint32_t tag, std::string_view bytes) {
  std::string message;
  message.reserve(kInstanceHeaderBytes + bytes.size());
  AppendLittleEndian32(message, tag);
  AppendLittleEndian32(message, static_cast<uint32_t>(bytes.size()));
  message.append(bytes);
  return message;
}

size_t JoinInstanceArguments(const std::vector<std::string>& arguments, std::string& body) {
  body.clear();
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.empty()) continue;
    const size_t separator = body.empty() ? 0 : 1;
    if (body.size() + separator + argument.size() > kMaxInstanceBytes) return i;
    if (separator) body.push_back('\0');
    body += argument;
  }
  return arguments.size();
}

std::vector<std::string> SplitInstanceArguments(std::string_view body) {
  std::vector<std::string> arguments;
  while (!body.empty()) {
    const size_t end = body.find('\0');
    const std::string_view piece = body.substr(0, end);
    if (!piece.empty()) arguments.emplace_back(piece);
    if (end == std::string_view::npos) break;
    body.remove_prefix(end + 1);
  }
  return arguments;
}

}  // namespace ktv
