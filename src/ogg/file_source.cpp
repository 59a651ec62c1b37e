#include "ogg/file_source.h"

namespace ktv {

tOggFileSource::tOggFileSource(const std::string& path) : File(std::fopen(path.c_str(), "rb")) {}

tOggFileSource::~tOggFileSource() {
  if (File) std::fclose(File);
}

int32_t tOggFileSource::ReadData(uint8_t* buffer, int32_t size) {
  if (!File || size <= 0) return 0;
  size_t n = std::fread(buffer, 1, static_cast<size_t>(size), File);
  if (n < static_cast<size_t>(size)) Ended = true;
  return static_cast<int32_t>(n);
}

}  // namespace ktv
