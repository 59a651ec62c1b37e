// An Ogg source over the fuzzer's bytes, fed in small uneven reads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ogg/ogg_io_base.h"

class tFuzzSource : public ktv::tOggIOBase {
 public:
  tFuzzSource(const uint8_t* data, size_t size) : Data(data), Size(size) {}
  int32_t ReadData(uint8_t* buffer, int32_t size) override {
    size_t n = std::min<size_t>({static_cast<size_t>(size), Size - Pos, 1 + (Pos * 7) % 3000});
    std::memcpy(buffer, Data + Pos, n);
    Pos += n;
    return static_cast<int32_t>(n);
  }
  bool AtEnd() const { return Pos == Size; }

 private:
  const uint8_t* Data;
  size_t Size, Pos = 0;
};
