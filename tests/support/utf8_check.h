// An independent check of UTF-8 structure for tests and fuzz targets: each lead byte followed by as many
// continuation bytes as it announces. Deliberately simpler than the program's own validation, so a fault
// there is not repeated here.
#pragma once

#include <cstddef>
#include <string>

namespace ktv::test {

inline bool IsValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

}  // namespace ktv::test
