// The decoders of one link of a chained stream, and the two sequences every player of such a stream goes
// through: opening the decoders on a scanned link, and moving on to the next link (close the decoders,
// forget the old link's streams, scan again from the next link's first page, which the source holds).
//
// The decoders open while every stream's pages are fed (FeedAllStreams): a decoder reads past the pages of
// the others while it takes its own headers, and they must still be there for the next one. The sound is
// Vorbis where a link has it, otherwise Opus; a station may change from one to the other at any link.
//
// Threads: used by one thread. When the decoders are also looked at from another thread, give the lock that
// thread takes: every change of Video and Audio (open, close, free) is made holding it; reading the source
// for the scan never is, so a slow source never blocks the other thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "ogg/stream_decoder.h"
#include "ogg/theora_codec.h"

namespace ktv {

class tOggLinkDecoders {
 public:
  // Which decoders a link is opened with.
  enum : uint8_t { kNone = 0, kVideo = 1, kAudio = 2, kBoth = kVideo | kAudio };

  explicit tOggLinkDecoders(std::mutex* viewLock = nullptr) : ViewLock(viewLock) {}
  ~tOggLinkDecoders();
  tOggLinkDecoders(const tOggLinkDecoders&) = delete;
  tOggLinkDecoders& operator=(const tOggLinkDecoders&) = delete;

  // Opens the decoders of `kinds` on the current link, whose headers have been scanned: Theora first, then
  // the sound. The decoder objects there are are reopened; missing ones are made. A decoder that does not
  // open is freed, so afterwards Video and Audio are each either open or null. True when one opened.
  bool Open(tOggIOBase& source, uint8_t kinds = kBoth);
  // At a held first page of the next link: closes the decoders (keeping them for the next Open), forgets
  // the old link's streams and scans again from the held page. True when the scan ran to its end.
  bool NextLink(tOggIOBase& source);
  void Close();
  // Frees both decoders.
  void Free();
  // The decoders there are (open, or closed between two links).
  uint8_t Kinds() const;

  std::unique_ptr<tOggTheoraCodec> Video;
  std::unique_ptr<tOggAudioCodec> Audio;

 private:
  std::unique_lock<std::mutex> LockViews();
  void OpenAudio(tOggIOBase& source);

  std::mutex* ViewLock;
};

}  // namespace ktv
