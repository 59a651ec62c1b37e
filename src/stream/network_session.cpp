// The receiver's network session: connect, send the request, read the answer's header, then either stream
// Ogg into the queue or collect a text answer.
#include <algorithm>

#include "net/http_request.h"
#include "net/winsock_errors.h"
#include "net/xml_parser.h"
#include "stream/network_receiver_thread.h"

namespace ktv {

namespace {

// 512-byte network reads keep the receiver responsive to Stop.
constexpr int32_t kNetworkChunk = 512;
constexpr uint32_t kRoomWaitMs = 250;

uint8_t ConnectErrorCode(int winsockError) {
  switch (winsockError) {
    case WSAHOST_NOT_FOUND:
    case WSATRY_AGAIN:
    case WSANO_DATA:
    case WSAENETUNREACH:
      return RE_DNS;
    case WSAENETDOWN:
      return RE_NETWORK;
    default:
      return RE_CONNECT;
  }
}

}  // namespace

bool tNetworkReceiverThread::ReadHeader(tAnswerHeader& header) {
  std::string line;
  for (;;) {
    size_t budget = kMaxHeaderLine;
    if (!ReadHeaderLine(*Socket, line, budget)) {
      Fail(RE_TYPE);
      return false;
    }
    if (!Socket->Connected()) {
      Fail(RE_TIMEOUT);
      return false;
    }
    if (line.empty()) return true;
    ApplyHeaderField(SplitHeaderField(line), header);
  }
}

void tNetworkReceiverThread::NetworkSession() {
  BeginSession();
  if (!Socket->Connect(URLParts.Port, URLParts.Host, -1)) return Fail(ConnectErrorCode(Socket->LastError()));
  SocketOpen = true;
  State = RS_REQUESTING;
  if (!Socket->SendBuf(BuildHTTPGetRequest(URLParts))) return Fail(RE_TIMEOUT);

  IsPublic = true;
  State = RS_READING_HEADERS;
  std::string status;
  size_t budget = kMaxHeaderLine;
  if (!ReadHeaderLine(*Socket, status, budget)) return Fail(RE_TYPE);
  if (!IsAcceptedStatusLine(UpperCase(status))) return Fail(RE_NOT_AVAILABLE);
  tAnswerHeader header;
  header.Meta = [&] {
    std::lock_guard<std::mutex> guard(MetaLock);
    return Metadata;
  }();
  if (!ReadHeader(header)) return;
  header.Meta.ContentType = UpperCase(header.Meta.ContentType);
  {
    std::lock_guard<std::mutex> guard(MetaLock);
    Metadata = header.Meta;
  }
  IsPublic = header.IsPublic;
  NamedBitrate = std::max(header.Bitrate, 0);
  Bitrate = std::max(header.Bitrate, 100);
  // Computed in 64 bits: a header may name any bit rate.
  NewQueue(static_cast<int64_t>(Bitrate) * BufferSeconds * 1024 / 8);
  auto queue = Queue();
  int64_t contentLength = header.ContentLength;

  char magic[4];
  if (!Socket->ReceiveExact(magic, 4)) return Fail(RE_ENDED);
  const std::string& type = header.Meta.ContentType;
  bool isOgg = std::string(magic, 4) == "OggS" && (type == "APPLICATION/OGG" || type == "APPLICATION/X-OGG");
  if (!isOgg) {
    // A text answer (a playlist served in place of the stream) is collected whole when its length is known.
    if (contentLength < 1) {
      SetMeta(&tStreamMetadata::TextData, std::string(magic, 4));
      CloseSocket();
      Terminate();
      return Fail(RE_TYPE);
    }
    bool closed = false;
    CaptureText(std::string(magic, 4), [&](char* buf, size_t size) -> size_t {
      if (closed || !Socket->Connected()) return 0;
      size_t got = Socket->ReceiveBuf(buf, size);
      closed = got < size;  // the connection closed
      return got;
    });
    if (State != RS_TEXT) CloseSocket();
    return;
  }

  // Buffering starts only once the answer is known to be Ogg: a text answer goes from reading the header
  // straight to its own state, so the decoding thread never starts scanning it.
  State = RS_BUFFERING;
  bool full = false;
  queue->Write(magic, 4);
  while (!Terminated() && Running && Socket->Connected()) {
    if (contentLength == 0) {  // the whole body has arrived
      InputEnded = true;
      break;
    }
    if (queue->GetCapacity() - queue->GetCount() > kNetworkChunk) {
      int32_t chunk = kNetworkChunk;
      if (contentLength >= 0 && contentLength < chunk) chunk = static_cast<int32_t>(contentLength);
      char buf[kNetworkChunk];
      size_t got = Socket->ReceiveBuf(buf, static_cast<size_t>(chunk));
      bool stored = got == 0 || WriteToQueue(*queue, buf, static_cast<int32_t>(got));
      if (contentLength > 0) contentLength -= static_cast<int64_t>(got);
      if (got < static_cast<size_t>(chunk) || !stored) {
        if (stored && Socket->LastError() == 0) {  // the server ended the stream in order: keep the tail
          InputEnded = true;
          break;
        }
        // A broken connection ends the session: idle, so the failure is reported instead of the player
        // waiting in its last state for data that never comes.
        Running = false;
        SocketOpen = false;
        WakeWaiters();
        return Fail(RE_TIMEOUT);
      }
    } else {
      // Full: nothing to do until the reader makes room (or the session stops).
      queue->WaitUntil(
          [&] {
            return queue->GetCapacity() - queue->GetCount() > kNetworkChunk || !Running || Terminated();
          },
          kRoomWaitMs);
    }
    UpdateLevelState(full);
  }
  if (!Socket->Connected()) InputEnded = true;
  if (InputEnded) SocketOpen = false;
  WakeWaiters();
  if (!Terminated()) Drain();
  Fail(RE_ENDED);
}

}  // namespace ktv
