#include "net/base64.h"

#include <cstdint>

namespace ktv {

std::string Base64Encode(const std::string& Bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((Bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= Bytes.size(); i += 3) {
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(Bytes[i])) << 16 |
                     static_cast<uint32_t>(static_cast<unsigned char>(Bytes[i + 1])) << 8 |
                     static_cast<unsigned char>(Bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(group >> shift) & 63];
  }
  size_t rest = Bytes.size() - i;
  if (rest > 0) {  // one or two bytes left: complete with zero bits, pad with "="
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(Bytes[i])) << 16;
    if (rest == 2) group |= static_cast<uint32_t>(static_cast<unsigned char>(Bytes[i + 1])) << 8;
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

}  // namespace ktv
