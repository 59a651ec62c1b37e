// An Ogg source over bytes in memory, for tests: reads in chunks of a chosen size pattern and counts its
// reads.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ogg/ogg_io_base.h"

namespace ktv::test {

class tMemorySource : public tOggIOBase {
 public:
  explicit tMemorySource(std::string bytes, std::vector<int32_t> chunks = {})
      : Bytes(std::move(bytes)), Chunks(std::move(chunks)) {}
  int32_t ReadData(uint8_t* buffer, int32_t size) override {
    ++ReadCalls;
    int32_t n = std::min<int32_t>(size, static_cast<int32_t>(Bytes.size() - Pos));
    if (!Chunks.empty()) n = std::min(n, Chunks[static_cast<size_t>(ReadCalls) % Chunks.size()]);
    std::memcpy(buffer, Bytes.data() + Pos, static_cast<size_t>(n));
    Pos += static_cast<size_t>(n);
    return n;
  }
  bool AtEnd() const { return Pos == Bytes.size(); }
  int ReadCalls = 0;

 private:
  std::string Bytes;
  std::vector<int32_t> Chunks;  // cycle of maximum read sizes; empty = whatever is asked
  size_t Pos = 0;
};

}  // namespace ktv::test
