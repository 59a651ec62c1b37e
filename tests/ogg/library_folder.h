// A folder of symbolic links to the real codec libraries a test names: with SetModuleSearchFolder on it, the
// libraries left out count as missing. The libraries are found through the entry tables of a held load, not
// by loading them again, so none is unloaded under the test (libtheora drags in cairo, which a sanitizer
// build would report as leaking when unloaded).
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>

#include "ogg/codec_libraries.h"

namespace ktv::test {

inline void LinkCodecLibraries(const std::string& folder, std::initializer_list<const char*> names) {
  tOggLibraryUse ogg;
  tVorbisLibraryUse vorbis;
  tTheoraLibraryUse theora;
  tOpusLibraryUse opus;
  ASSERT_TRUE(ogg.Loaded() && vorbis.Loaded() && theora.Loaded() && opus.Loaded());
  for (const std::string name : names) {
    void* entry = name == "libogg.so.0"      ? reinterpret_cast<void*>(OggApi.ogg_sync_init)
                  : name == "libvorbis.so.0" ? reinterpret_cast<void*>(VorbisApi.vorbis_info_init)
                  : name == "libtheora.so.0" ? reinterpret_cast<void*>(TheoraApi.theora_decode_init)
                                             : reinterpret_cast<void*>(OpusApi.opus_multistream_decode);
    Dl_info info{};
    ASSERT_NE(dladdr(entry, &info), 0) << name;
    std::filesystem::create_symlink(std::filesystem::canonical(info.dli_fname), folder + "/" + name);
  }
}

}  // namespace ktv::test
