#include "library/download.h"

#include <ostream>

#include "net/easy_socket.h"
#include "net/http_request.h"
#include "net/url.h"

namespace ktv {

namespace {

// The body arrives in pieces of this size; each piece is a chance to notice Cancel.
constexpr size_t kChunkBytes = 128;
// A header longer than this is no answer from a web server.
constexpr size_t kMaxHeaderBytes = 64 << 10;

enum class tHeader { Accepted, Rejected };

// Reads header lines up to the empty line. A line is read byte by byte up to its LF; a byte that cannot be
// read makes the line count as empty, which ends the header like an empty line does.
tHeader ReadHeader(tEasySocket& socket) {
  size_t total = 0;
  while (true) {
    std::string line;
    char c;
    bool complete = false;
    while (socket.ReceiveExact(&c, 1)) {
      if (c == '\n') {
        complete = true;
        break;
      }
      if (++total > kMaxHeaderBytes) return tHeader::Rejected;
      if (c != '\r') line += c;
    }
    line = complete ? TrimText(line) : std::string();
    if (line.empty()) return tHeader::Accepted;
    if (line.compare(0, 5, "HTTP/") == 0 && line.find("200") == std::string::npos) return tHeader::Rejected;
  }
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
  if (ReadHeader(socket) == tHeader::Rejected) return false;

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
