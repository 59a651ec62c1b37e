#include "library/download.h"

#include <ostream>

#include "net/easy_socket.h"
#include "net/http_answer.h"
#include "net/http_redirect.h"
#include "net/http_request.h"
#include "net/url.h"

namespace ktv {

namespace {

// The body arrives in pieces of this size; each piece is a chance to notice Cancel.
constexpr size_t kChunkBytes = 128;
// A header longer than this is no answer from a web server.
constexpr size_t kMaxHeaderBytes = 64 << 10;

enum class tHeader { Accepted, Refused, Redirected };

// Reads header lines up to the empty line. The status must say 200, unless it sends us elsewhere (a
// redirect status with a Location, which is then filled in).
tHeader ReadHeader(tEasySocket& socket, std::string& location) {
  size_t budget = kMaxHeaderBytes;
  std::string line;
  bool refused = false;
  int status = -1;
  while (ReadHeaderLine(socket, line, budget)) {
    if (line.empty()) {
      if (IsRedirectStatus(status) && !location.empty()) return tHeader::Redirected;
      return refused ? tHeader::Refused : tHeader::Accepted;
    }
    if (status < 0) status = HttpStatusCode(line);
    if (line.compare(0, 5, "HTTP/") == 0 && line.find("200") == std::string::npos) refused = true;
    tHeaderField field = SplitHeaderField(line);
    if (field.Name == "LOCATION") location = field.Value;
  }
  return tHeader::Refused;
}

bool Transfer(tDownloadView& view, const std::string& url, std::ostream& stream) {
  tEasySocket socket(kDownloadTimeOutSeconds, false, true);
  socket.OnIdle = [&view](tEasySocket& s) {
    view.Idle();
    if (view.CancelRequested()) s.Close();
  };
  for (tRedirectChain chain(url);;) {
    const tURLParts& parts = chain.Parts();
    socket.SetSecure(parts.IsSecure());
    if (!socket.Connect(parts.Port, parts.Host)) return false;
    if (!socket.SendBuf(BuildHTTPGetRequest(parts))) return false;
    std::string location;
    tHeader header = ReadHeader(socket, location);
    if (header == tHeader::Refused) return false;
    if (header == tHeader::Accepted) break;
    // A loop or a sixth hop: the document is not to be had.
    if (!chain.Follow(location)) return false;
  }

  int64_t total = 0;
  char chunk[kChunkBytes];
  size_t received = kChunkBytes;
  while (socket.Connected() && received > 0) {
    received = socket.ReceiveBuf(chunk, sizeof chunk);
    total += static_cast<int64_t>(received);
    if (total > kMaxDownloadBytes) return false;
    stream.write(chunk, static_cast<std::streamsize>(received));
    if (!stream) return false;
  }
  return true;
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
