// Run-time bindings of the codec libraries. The program never links libogg, libvorbis, libtheora or libopus:
// each library is loaded from "libogg.so.0", "libvorbis.so.0", "libtheora.so.0" or "libopus.so.0" (program
// folder first, then the system search) by the first object that needs it and released when the last user
// lets go.
//
// Every user loads in its constructor and releases in its destructor. Load and release are safe from any
// thread. A library that loads but lacks one of the entry points below counts as not loaded.
#pragma once

#include <ogg/ogg.h>
#include <opus/opus_multistream.h>
#include <theora/theora.h>
#include <vorbis/codec.h>

namespace ktv {

// Only the entry points the program calls are bound.
// clang-format off
#define KTV_OGG_ENTRIES(X)                                                                    \
  X(ogg_sync_init) X(ogg_sync_clear) X(ogg_sync_reset) X(ogg_sync_buffer) X(ogg_sync_wrote)   \
  X(ogg_sync_pageout) X(ogg_stream_init) X(ogg_stream_clear) X(ogg_stream_pagein)             \
  X(ogg_stream_packetout) X(ogg_stream_packetpeek) X(ogg_page_bos) X(ogg_page_granulepos)     \
  X(ogg_page_serialno)

#define KTV_VORBIS_ENTRIES(X)                                                                 \
  X(vorbis_info_init) X(vorbis_info_clear) X(vorbis_comment_init) X(vorbis_comment_clear)     \
  X(vorbis_synthesis_headerin) X(vorbis_synthesis_init) X(vorbis_block_init)                  \
  X(vorbis_block_clear) X(vorbis_dsp_clear) X(vorbis_synthesis) X(vorbis_synthesis_blockin)   \
  X(vorbis_synthesis_pcmout) X(vorbis_synthesis_read) X(vorbis_granule_time)

#define KTV_THEORA_ENTRIES(X)                                                                 \
  X(theora_info_init) X(theora_info_clear) X(theora_comment_init) X(theora_comment_clear)     \
  X(theora_clear) X(theora_decode_header) X(theora_decode_init) X(theora_decode_packetin)     \
  X(theora_decode_YUVout) X(theora_packet_iskeyframe) X(theora_granule_time)                  \
  X(theora_version_string)

#define KTV_OPUS_ENTRIES(X)                                                                   \
  X(opus_multistream_decoder_create) X(opus_multistream_decode) X(opus_multistream_decoder_ctl) \
  X(opus_multistream_decoder_destroy)
// clang-format on

#define KTV_DECLARE_ENTRY(name) decltype(&::name) name = nullptr;

struct tOggEntries {
  KTV_OGG_ENTRIES(KTV_DECLARE_ENTRY)
};
struct tVorbisEntries {
  KTV_VORBIS_ENTRIES(KTV_DECLARE_ENTRY)
};
struct tTheoraEntries {
  KTV_THEORA_ENTRIES(KTV_DECLARE_ENTRY)
};
struct tOpusEntries {
  KTV_OPUS_ENTRIES(KTV_DECLARE_ENTRY)
};

#undef KTV_DECLARE_ENTRY

// The entry tables; valid while the caller holds a successful load of the library.
extern tOggEntries OggApi;
extern tVorbisEntries VorbisApi;
extern tTheoraEntries TheoraApi;
extern tOpusEntries OpusApi;

// True when the library is (now) available; every true result is matched by one Unload call.
bool LoadOggLibrary();
bool LoadVorbisLibrary();
bool LoadTheoraLibrary();
bool LoadOpusLibrary();
// Releases one successful load; a release without a load does nothing.
void UnloadOggLibrary();
void UnloadVorbisLibrary();
void UnloadTheoraLibrary();
void UnloadOpusLibrary();

// Holds one load of a library for a scope (or an object's life).
template <bool (*LoadFn)(), void (*UnloadFn)()>
class tLibraryUse {
 public:
  tLibraryUse() : Available(LoadFn()) {}
  ~tLibraryUse() {
    if (Available) UnloadFn();
  }
  tLibraryUse(const tLibraryUse&) = delete;
  tLibraryUse& operator=(const tLibraryUse&) = delete;
  bool Loaded() const { return Available; }

 private:
  bool Available;
};
using tOggLibraryUse = tLibraryUse<LoadOggLibrary, UnloadOggLibrary>;
using tVorbisLibraryUse = tLibraryUse<LoadVorbisLibrary, UnloadVorbisLibrary>;
using tTheoraLibraryUse = tLibraryUse<LoadTheoraLibrary, UnloadTheoraLibrary>;
using tOpusLibraryUse = tLibraryUse<LoadOpusLibrary, UnloadOpusLibrary>;

}  // namespace ktv
