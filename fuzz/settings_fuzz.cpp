// Any bytes as the settings store's file: loaded (falling back to the backup when damaged), read into the
// settings record, saved, and loaded again. A save must always load back: whatever a load accepted, a save
// writes within the bound the load applies.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "library/player_settings.h"
#include "platform/registry.h"

namespace {

const std::string& Folder() {
  static const std::string folder = [] {
    char name[] = "/tmp/ktv-settings-fuzz-XXXXXX";
    const char* made = ::mkdtemp(name);
    if (!made) std::abort();
    return std::string(made);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = Folder() + "/settings";
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
  ::unlink((file + ".bak").c_str());

  ktv::tPlayerSettings settings(file);
  settings.LoadSettings();
  settings.AddToMRU("http://127.0.0.1/fuzz.ogg");
  if (!settings.books.empty()) settings.AddToBookmarks(*settings.books.front());
  if (!settings.SaveSettings()) return 0;
  ktv::tRegistry reread(file);
  if (!reread.Load() || reread.WasDamaged()) __builtin_trap();  // a save the next start would refuse
  return 0;
}
