// Any bytes as a playlist text (M3U, PLS or XSPF, detected as for a file or a server's text answer).
#include <cstddef>
#include <cstdint>
#include <string>

#include "library/playlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  ktv::tPlaylist list;
  list.LoadFromText(text);
  // Every entry costs at least one byte of text (a line break), so the list cannot outgrow the text.
  if (static_cast<size_t>(list.Count()) > text.size()) __builtin_trap();
  for (int i = 0; i < list.Count(); ++i) (void)list[i].Location.size();
  return 0;
}
