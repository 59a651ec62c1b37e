#include "ogg/codec_libraries.h"

#include <mutex>

#include "platform/module_loader.h"

namespace ktv {

tOggEntries OggApi;
tVorbisEntries VorbisApi;
tTheoraEntries TheoraApi;
tOpusEntries OpusApi;

namespace {

// Reference-counted module of one library. The lock makes load and release safe when the main thread and the
// decoding thread call them at the same time.
struct tLibraryState {
  explicit tLibraryState(const char* fileName) : FileName(fileName) {}
  const char* FileName;
  std::mutex Lock;
  void* Module = nullptr;  // guarded by Lock
  int RefCount = 0;        // guarded by Lock
};

tLibraryState gOgg{"libogg.so.0"};
tLibraryState gVorbis{"libvorbis.so.0"};
tLibraryState gTheora{"libtheora.so.0"};
tLibraryState gOpus{"libopus.so.0"};

#define KTV_RESOLVE_ENTRY(name)                                                        \
  table.name = reinterpret_cast<decltype(table.name)>(GetModuleSymbol(module, #name)); \
  complete = complete && table.name != nullptr;

bool Resolve(void* module, tOggEntries& table) {
  bool complete = true;
  KTV_OGG_ENTRIES(KTV_RESOLVE_ENTRY)
  return complete;
}
bool Resolve(void* module, tVorbisEntries& table) {
  bool complete = true;
  KTV_VORBIS_ENTRIES(KTV_RESOLVE_ENTRY)
  return complete;
}
bool Resolve(void* module, tTheoraEntries& table) {
  bool complete = true;
  KTV_THEORA_ENTRIES(KTV_RESOLVE_ENTRY)
  return complete;
}
bool Resolve(void* module, tOpusEntries& table) {
  bool complete = true;
  KTV_OPUS_ENTRIES(KTV_RESOLVE_ENTRY)
  return complete;
}

#undef KTV_RESOLVE_ENTRY

template <class tEntries>
bool Load(tLibraryState& lib, tEntries& table) {
  std::lock_guard<std::mutex> guard(lib.Lock);
  if (lib.RefCount >= 1) {
    ++lib.RefCount;
    return true;
  }
  void* module = LoadModule(lib.FileName);
  if (!module) return false;
  tEntries resolved;
  if (!Resolve(module, resolved)) {  // a library without every entry we call is as good as missing
    FreeModule(module);
    return false;
  }
  table = resolved;
  lib.Module = module;
  lib.RefCount = 1;
  return true;
}

void Unload(tLibraryState& lib) {
  std::lock_guard<std::mutex> guard(lib.Lock);
  if (lib.RefCount <= 0) return;
  if (--lib.RefCount == 0) {
    FreeModule(lib.Module);
    lib.Module = nullptr;
  }
}

}  // namespace

bool LoadOggLibrary() {
  return Load(gOgg, OggApi);
}
bool LoadVorbisLibrary() {
  return Load(gVorbis, VorbisApi);
}
bool LoadTheoraLibrary() {
  return Load(gTheora, TheoraApi);
}
bool LoadOpusLibrary() {
  return Load(gOpus, OpusApi);
}
void UnloadOggLibrary() {
  Unload(gOgg);
}
void UnloadVorbisLibrary() {
  Unload(gVorbis);
}
void UnloadTheoraLibrary() {
  Unload(gTheora);
}
void UnloadOpusLibrary() {
  Unload(gOpus);
}

}  // namespace ktv
