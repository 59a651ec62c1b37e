#include "library/download.h"

#include <algorithm>
#include <ostream>

#include "net/easy_socket.h"
#include "net/http_answer.h"
#include "net/http_chunked.h"
#include "net/http_redirect.h"
#include "net/http_request.h"
#include "net/url.h"
#include "platform/text.h"

namespace ktv {

namespace {

// The body is read in blocks of this size: a few reads per second of a fast transfer instead of thousands,
// each still a chance to notice Cancel (the socket idles between its short waits).
constexpr size_t kBlockBytes = 16u << 10;
// A header longer than this is no answer from a web server.
constexpr size_t kMaxHeaderBytes = 64 << 10;

enum class tHeader { Accepted, Refused, Redirected };

// What the header says of the body.
struct tBodyFraming {
  int64_t Length = -1;  // Content-Length, -1 when none was given
  bool Chunked = false;
};

// Reads header lines up to the empty line. The status must say 200, unless it sends us elsewhere (a
// redirect status with a Location, which is then filled in).
tHeader ReadHeader(tEasySocket& socket, std::string& location, tBodyFraming& framing) {
  size_t budget = kMaxHeaderBytes;
  std::string line;
  bool refused = false;
  int status = -1;
  while (ReadHeaderLine(socket, line, budget)) {
    if (line.empty()) {
      // A line that could not be read counts as empty but leaves the socket closed: a server that closed
      // before a byte, a header cut short, or Cancel.
      if (status < 0 || socket.Handle() == tEasySocket::kNoSocket) return tHeader::Refused;
      if (IsRedirectStatus(status) && !location.empty()) return tHeader::Redirected;
      return refused ? tHeader::Refused : tHeader::Accepted;
    }
    if (status < 0) status = HttpStatusCode(line);
    if (line.compare(0, 5, "HTTP/") == 0 && line.find("200") == std::string::npos) refused = true;
    tHeaderField field = SplitHeaderField(line);
    if (field.Name == "LOCATION") location = field.Value;
    if (field.Name == "TRANSFER-ENCODING" && LowerCase(field.Value).find("chunked") != std::string::npos)
      framing.Chunked = true;
    if (field.Name == "CONTENT-LENGTH") {
      int64_t length;
      // Two lengths that disagree, or one that is no number, leave the body's end unknown: refused.
      if (!ParseInteger(field.Value, length) || length < 0 ||
          (framing.Length >= 0 && framing.Length != length))
        refused = true;
      else
        framing.Length = length;
    }
  }
  return tHeader::Refused;
}

// A chunked body: raw bytes read no further than the decoder knows of (so a server that sent its last chunk
// and keeps the connection open is never waited for), the decoded bytes written. Only the last chunk ends the
// document; the decoded bytes count against the size bound.
bool ReceiveChunked(tEasySocket& socket, std::ostream& stream, const bool& cancelled) {
  tChunkedDecoder decoder;
  std::string raw(kBlockBytes, '\0');
  std::string body;
  int64_t total = 0;
  while (!decoder.Done()) {
    const size_t want = std::min(kBlockBytes, decoder.Expecting());
    const size_t received = socket.ReceiveSome(raw.data(), want);
    // The connection ended before the last chunk: cut short, unless the user stopped it.
    if (received == 0) return cancelled;
    body.clear();
    const size_t taken = decoder.Feed(raw.data(), received, body);
    total += static_cast<int64_t>(body.size());
    if (total > kMaxDownloadBytes) return false;
    stream.write(body.data(), static_cast<std::streamsize>(body.size()));
    if (!stream) return false;
    if (decoder.Failed()) return false;
    if (decoder.Done()) return taken == received;  // asked for no more than it takes, so this holds
  }
  return true;
}

bool Transfer(tDownloadView& view, const std::string& url, std::ostream& stream) {
  tEasySocket socket(kDownloadTimeOutSeconds, false, true);
  bool cancelled = false;
  socket.OnIdle = [&view, &cancelled](tEasySocket& s) {
    view.Idle();
    if (view.CancelRequested()) {
      cancelled = true;
      s.Close();
    }
  };
  tBodyFraming framing;
  for (tRedirectChain chain(url);;) {
    const tURLParts& parts = chain.Parts();
    socket.SetSecure(parts.IsSecure());
    if (!socket.Connect(parts.Port, parts.Host)) return false;
    if (!socket.SendBuf(BuildHTTPGetRequest(parts))) return false;
    std::string location;
    framing = {};
    tHeader header = ReadHeader(socket, location, framing);
    if (header == tHeader::Refused) return false;
    if (header == tHeader::Accepted) break;
    // A loop or a sixth hop: the document is not to be had.
    if (!chain.Follow(location)) return false;
  }
  // Chunked framing decides the end itself; a Content-Length beside it says nothing.
  if (framing.Chunked) return ReceiveChunked(socket, stream, cancelled);
  if (framing.Length > kMaxDownloadBytes) return false;

  int64_t total = 0;
  std::string block(kBlockBytes, '\0');
  while (framing.Length < 0 || total < framing.Length) {
    size_t want = kBlockBytes;
    if (framing.Length >= 0) want = static_cast<size_t>(std::min<int64_t>(want, framing.Length - total));
    // Whatever has arrived, up to a block: a slow server's bytes show (and may be cancelled) as they come.
    const size_t received = socket.ReceiveSome(block.data(), want);
    if (received == 0) break;  // the connection ended (the socket is closed now)
    total += static_cast<int64_t>(received);
    if (total > kMaxDownloadBytes) return false;
    stream.write(block.data(), static_cast<std::streamsize>(received));
    if (!stream) return false;
  }
  // What the user stopped is kept as far as it came; the caller checks the document.
  if (cancelled) return true;
  if (framing.Length >= 0) return total == framing.Length;  // all that was announced, or cut short
  // Without a length only the end of the connection ends the body: it must be an end in order, and over TLS
  // one with the TLS goodbye, or the document may have been cut on the way. A receive that timed out ends
  // the body as it always did.
  if (socket.TimedOut()) return true;
  return socket.LastError() == 0 && !socket.EndedWithoutGoodbye();
}

}  // namespace

bool DownloadToStream(tDownloadView& view, const std::string& heading, const std::string& caption,
                      const std::string& url, std::ostream& stream) {
  view.ShowText(caption, heading);
  bool result = Transfer(view, url, stream);  // the socket is freed before the dialog hears of the end
  view.Finished();
  return result;
}

}  // namespace ktv
