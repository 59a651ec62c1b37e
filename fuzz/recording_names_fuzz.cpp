// Any bytes as a station name and as a user-dirs.dirs file: the file name part is never empty, holds no '/',
// no control character and no leading dot, is valid UTF-8 within its bound; a folder read from the file is
// absolute, with no variable left in it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "stream/recording_names.h"
#include "support/utf8_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string text(reinterpret_cast<const char*>(Data), Size);
  const std::string name = ktv::SafeStationName(text);
  if (name.empty() || name.size() > ktv::kMaxStationNameBytes || name[0] == '.' || name[0] == '-')
    std::abort();
  for (unsigned char c : name)
    if (c == '/' || c < 0x20 || c == 0x7F) std::abort();
  if (!ktv::test::IsValidUtf8(name)) std::abort();

  const std::string folder = ktv::UserDirFromText(text, "XDG_MUSIC_DIR", "/home/user");
  if (!folder.empty() && (folder[0] != '/' || folder.find('$') != std::string::npos || folder.size() > 4096))
    std::abort();
  return 0;
}
