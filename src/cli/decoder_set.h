// A local Ogg file with both decoders, opened and reopened at chain links in the order the decoding thread
// uses: scan the headers, feed every stream while the decoders open, then feed only theirs. Used by the probe
// and decode commands.
#pragma once

#include <utility>

#include "ogg/file_source.h"
#include "ogg/theora_codec.h"
#include "ogg/vorbis_codec.h"

namespace ktv::cli {

template <class tSource>
struct tDecoderSetOn {
  template <class... tArgs>
  explicit tDecoderSetOn(tArgs&&... args) : Source(std::forward<tArgs>(args)...) {}

  // Scans the current link and opens both decoders; true when at least one of them opened. A scan that ends
  // badly (a stray page after the headers) still leaves the streams it found to the decoders.
  bool OpenLink() {
    Scanned = Source.ReadStreamHeaders();
    Source.FeedAllStreams = true;
    VideoOpen = Video.Open(Source);
    AudioOpen = Audio.Open(Source);
    Source.FeedAllStreams = false;
    return VideoOpen || AudioOpen;
  }

  // At a chain link (PagePending after a fetch failed): close both, reset the streams, scan again from the
  // held page and reopen.
  bool NextLink() {
    Video.Close();
    Audio.Close();
    Source.ResetStreams();
    return OpenLink();
  }

  tSource Source;  // declared first: the decoders close before their source goes
  tOggTheoraCodec Video;
  tOggVorbisCodec Audio;
  bool Scanned = false, VideoOpen = false, AudioOpen = false;
};

using tDecoderSet = tDecoderSetOn<tOggFileSource>;

}  // namespace ktv::cli
