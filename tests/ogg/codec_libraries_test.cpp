#include "ogg/codec_libraries.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/module_loader.h"
#include "support/test_support.h"

namespace ktv {
namespace {

// Whether the library is mapped; in builds that keep libraries mapped, "unloaded" cannot be observed.
bool IsResident(const char* soname) {
  if (ModulesStayLoaded()) return true;
  void* h = dlopen(soname, RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

TEST(CodecLibraries, ReferenceCountKeepsTheLibraryUntilTheLastRelease) {
  UnloadOggLibrary();  // a release without a load does nothing
  const bool observable = !ModulesStayLoaded();
  ASSERT_FALSE(observable && IsResident("libogg.so.0"));
  ASSERT_TRUE(LoadOggLibrary());
  ASSERT_TRUE(LoadOggLibrary());
  UnloadOggLibrary();
  EXPECT_TRUE(IsResident("libogg.so.0")) << "one of two loads released: still loaded";
  ogg_sync_state s;
  EXPECT_EQ(OggApi.ogg_sync_init(&s), 0);
  OggApi.ogg_sync_clear(&s);
  UnloadOggLibrary();
  EXPECT_FALSE(observable && IsResident("libogg.so.0")) << "the last release unloads";
}

TEST(CodecLibraries, AllFourLoadAndTheoraReportsItsVersion) {
  tOggLibraryUse ogg;
  tVorbisLibraryUse vorbis;
  tTheoraLibraryUse theora;
  tOpusLibraryUse opus;
  ASSERT_TRUE(ogg.Loaded() && vorbis.Loaded() && theora.Loaded() && opus.Loaded());
  EXPECT_NE(std::string(TheoraApi.theora_version_string()), "");
}

TEST(CodecLibraries, MissingFilesAndMissingEntryPointsCountAsNotLoaded) {
  test::tTempDir folder;
  SetModuleSearchFolder(folder.Path());
  EXPECT_FALSE(LoadOggLibrary());
  EXPECT_FALSE(LoadVorbisLibrary());
  EXPECT_FALSE(LoadTheoraLibrary());
  EXPECT_FALSE(LoadOpusLibrary());
  // A real library under the wrong name loads but lacks the theora entry points.
  void* probe = dlopen("libogg.so.0", RTLD_NOW);
  ASSERT_NE(probe, nullptr);
  Dl_info info{};
  ASSERT_NE(dladdr(dlsym(probe, "ogg_sync_init"), &info), 0);
  std::filesystem::copy_file(info.dli_fname, folder.File("libtheora.so.0"));
  dlclose(probe);
  EXPECT_FALSE(LoadTheoraLibrary()) << "a library lacking an entry point must count as missing";
  SetModuleSearchFolder("");
  // A failed load leaves the count at 0: the next attempt may succeed.
  EXPECT_TRUE(LoadTheoraLibrary());
  UnloadTheoraLibrary();
}

TEST(CodecLibraries, LoadAndReleaseFromTwoThreadsAtOnce) {
  auto churn = [] {
    for (int i = 0; i < 2000; ++i) {
      if (LoadVorbisLibrary()) {
        vorbis_info vi;
        VorbisApi.vorbis_info_init(&vi);
        VorbisApi.vorbis_info_clear(&vi);
        UnloadVorbisLibrary();
      }
    }
  };
  std::thread a(churn), b(churn);
  a.join();
  b.join();
  EXPECT_FALSE(!ModulesStayLoaded() && IsResident("libvorbis.so.0"))
      << "balanced loads and releases leave nothing loaded";
}

}  // namespace
}  // namespace ktv
