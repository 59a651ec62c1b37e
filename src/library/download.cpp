#include "library/download.h"

#include <ostream>

#include "net/easy_socket.h"
#include "net/http_answer.h"
#include "net/http_request.h"
#include "net/url.h"

namespace ktv {

namespace {

// The body arrives in pieces of this size; each piece is a chance to notice Cancel.
constexpr size_t kChunkBytes = 128;
// A header longer than this is no answer from a web server.
constexpr size_t kMaxHeaderBytes = 64 << 10;

// Reads header lines up to the empty line; the status must say 200.
bool ReadHeader(tEasySocket& socket) {
  size_t budget = kMaxHeaderBytes;
  std::string line;
  while (ReadHeaderLine(socket, line, budget)) {
    if (line.empty()) return true;
    if (line.compare(0, 5, "HTTP/") == 0 && line.find("200") == std::string::npos) return false;
  }
  return false;
}

bool Transfer(tDownloadView& view, const std::string& url, std::ostream& stream) {
  tEasySocket socket(kDownloadTimeOutSeconds, false, true);
  socket.OnIdle = [&view](tEasySocket& s) {
    view.Idle();
    if (view.CancelRequested()) s.Close();
  };
  tURLParts parts;
  ParseURL(url, parts);
  std::string request = BuildHTTPGetRequest(parts);
  if (!socket.Connect(parts.Port, parts.Host)) return false;
  if (!socket.SendBuf(request)) return false;
  if (!ReadHeader(socket)) return false;

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
