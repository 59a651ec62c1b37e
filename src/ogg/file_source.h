// An Ogg source over a local file: the command-line tools' counterpart of the receiver. Reads block on the
// disk only. Used by one thread.
#pragma once

#include <cstdio>
#include <string>

#include "ogg/ogg_io_base.h"

namespace ktv {

class tOggFileSource : public tOggIOBase {
 public:
  explicit tOggFileSource(const std::string& path);
  ~tOggFileSource() override;

  bool IsOpen() const { return File != nullptr; }
  // True once a read has found the end of the file (or a read error).
  bool AtEnd() const { return Ended; }
  int32_t ReadData(uint8_t* buffer, int32_t size) override;

 private:
  FILE* File = nullptr;
  bool Ended = false;
};

}  // namespace ktv
