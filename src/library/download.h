// Fetches one HTTP resource into a caller's stream while a small dialog tells the user and offers Cancel.
// The transfer runs on the user-interface thread; the dialog stays alive because the socket calls back into
// it between its short waits. The dialog is behind tDownloadView so the skinned window only implements these
// four.
//
// Thread contract: user-interface thread only.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace ktv {

class tDownloadView {
 public:
  virtual ~tDownloadView() = default;
  // Before the transfer: shows the dialog with the window caption and the heading, and paints it at once.
  virtual void ShowText(const std::string& caption, const std::string& heading) = 0;
  // At least every 50 ms while the transfer waits, and after each transfer step: pump messages, move the
  // stripe.
  virtual void Idle() = 0;
  // True once the user asked to cancel (Cancel clicked or Esc); polled right after each Idle.
  virtual bool CancelRequested() = 0;
  // The transfer is over: the dialog may close now (it refuses to close before).
  virtual void Finished() = 0;
};

// Seconds each connect, send and receive may take.
constexpr int kDownloadTimeOutSeconds = 15;
// A body larger than this is refused: no document the player downloads comes near it.
constexpr int64_t kMaxDownloadBytes = 32 << 20;

// Connects (over TLS for https), sends the GET request, follows redirects (at most five hops, loops refused,
// credentials only while scheme, host and port stay), checks that the status line holds "200", and writes
// the body to the stream at its position, in blocks of 16 KiB (the view idles after each). A chunked body
// ("Transfer-Encoding: chunked") is decoded, and only its last chunk ends it; with a Content-Length the body
// is that many bytes, and fewer is a failure; without either it runs until the server closes in order (over
// TLS with its TLS goodbye) or a receive times out. False when the connection, the request or the header
// failed (nothing is written then; a server that closes before a byte, or Cancel during the header, is such
// a failure), when the body was cut short (a connection that ends before the last chunk, too), had broken
// chunk framing, outgrew kMaxDownloadBytes (decoded bytes counted), or when the stream could not take it. A
// transfer cancelled during the body is true with the bytes received so far.
bool DownloadToStream(tDownloadView& view, const std::string& heading, const std::string& caption,
                      const std::string& url, std::ostream& stream);

}  // namespace ktv
