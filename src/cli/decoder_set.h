// A local Ogg file with its decoders, opened and reopened at chain links through the same operation the
// decoding thread uses. Used by the probe and decode commands.
#pragma once

#include <utility>

#include "ogg/file_source.h"
#include "ogg/link_decoders.h"

namespace ktv::cli {

template <class tSource>
struct tDecoderSetOn {
  template <class... tArgs>
  explicit tDecoderSetOn(tArgs&&... args) : Source(std::forward<tArgs>(args)...) {}

  // Scans the current link and opens its decoders; true when at least one of them opened. A scan that ends
  // badly (a stray page after the headers) still leaves the streams it found to the decoders.
  bool OpenLink() {
    Scanned = Source.ReadStreamHeaders();
    return Link.Open(Source);
  }

  // At a chain link (PagePending after a fetch failed): rescan from the held page and reopen.
  bool NextLink() {
    Scanned = Link.NextLink(Source);
    return Link.Open(Source);
  }

  tSource Source;  // declared first: the decoders close before their source goes
  tOggLinkDecoders Link;
  bool Scanned = false;
};

using tDecoderSet = tDecoderSetOn<tOggFileSource>;

}  // namespace ktv::cli
