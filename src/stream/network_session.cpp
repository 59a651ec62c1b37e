// The receiver's network session: connect (TLS for https), send the request, read the answer's header
// (following redirects), then either stream Ogg into the queue, reconnecting a live stream that drops, or
// collect a text answer.
#include <algorithm>

#include "net/http_redirect.h"
#include "net/http_request.h"
#include "net/winsock_errors.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "stream/network_receiver_thread.h"

namespace ktv {

namespace {

// 512-byte network reads keep the receiver responsive to Stop.
constexpr int32_t kNetworkChunk = 512;
constexpr uint32_t kRoomWaitMs = 250;
// While it waits to reconnect, the receiver looks at the buffer level this often.
constexpr uint32_t kReconnectSliceMs = 100;
// The waits before the attempts double up to this many units (1, 2, 4, 8, 16).
constexpr int32_t kMaxReconnectDoublings = 4;
// Within the reconnect window a stream may use its attempts this many times over, however long each
// connection lasted: a server that keeps dropping us ends the stream in the end.
constexpr size_t kReconnectBudgetRounds = 3;

uint8_t ConnectErrorCode(int winsockError) {
  switch (winsockError) {
    case WSAHOST_NOT_FOUND:
    case WSATRY_AGAIN:
    case WSANO_DATA:
    case WSAENETUNREACH:
      return RE_DNS;
    case WSAENETDOWN:
      return RE_NETWORK;
    case ERROR_SECURE_FAILURE:
      return RE_SECURE;
    default:
      return RE_CONNECT;
  }
}

bool IsOggAnswer(const char (&magic)[4], const std::string& contentType) {
  return std::string(magic, 4) == "OggS" &&
         (contentType == "APPLICATION/OGG" || contentType == "APPLICATION/X-OGG");
}

}  // namespace

uint8_t tNetworkReceiverThread::ReadHeader(tAnswerHeader& header, bool checkConnection) {
  // The whole header within the connect time-out: a server that trickles header lines is turned away.
  const uint32_t limitMs = static_cast<uint32_t>(std::max(Options.TimeOutSeconds, 0)) * 1000u;
  tAnswerReader::tHeaderResult result = Reader->ReadHeader(limitMs);
  if (result == tAnswerReader::tHeaderResult::TooLarge) return RE_TYPE;
  if (result == tAnswerReader::tHeaderResult::TooSlow) return RE_TIMEOUT;
  const std::vector<std::string>& lines = Reader->Lines();
  std::string status = lines.empty() ? std::string() : UpperCase(lines[0]);
  if (!IsAcceptedStatusLine(status)) return RE_NOT_AVAILABLE;
  const bool redirect = IsRedirectStatus(HttpStatusCode(status));
  for (size_t i = 1; i < lines.size(); ++i) ApplyHeaderField(SplitHeaderField(lines[i]), header);
  // A redirect's own connection may close as soon as its header is out: only the Location matters.
  if (checkConnection && !redirect && result == tAnswerReader::tHeaderResult::Closed) return RE_TIMEOUT;
  if (header.Chunked) header.ContentLength = -1;
  Reader->SetChunked(header.Chunked);
  return RE_NONE;
}

uint8_t tNetworkReceiverThread::OpenAnswer(tAnswerHeader& header, bool reconnecting) {
  // Fields an answer leaves out keep what the receiver knew before it.
  const tStreamMetadata known = [&] {
    std::lock_guard<std::mutex> guard(MetaLock);
    return Metadata;
  }();
  tRedirectChain chain(URLParts);  // a reconnect follows the redirects afresh, from the address given
  for (;;) {
    const tURLParts& parts = chain.Parts();
    if (!reconnecting) State = RS_CONNECTING;
    Socket->SetSecure(parts.IsSecure());
    if (!Socket->Connect(parts.Port, parts.Host)) return ConnectErrorCode(Socket->LastError());
    SocketOpen = true;
    if (!reconnecting) State = RS_REQUESTING;
    if (!Socket->SendBuf(BuildHTTPGetRequest(parts))) return RE_TIMEOUT;

    if (!reconnecting) {
      IsPublic = true;
      State = RS_READING_HEADERS;
    }
    Reader = std::make_unique<tAnswerReader>(*Socket);
    header = tAnswerHeader{};
    header.Meta = known;
    if (uint8_t code = ReadHeader(header, true); code != RE_NONE) return code;
    const bool redirect = IsRedirectStatus(HttpStatusCode(UpperCase(Reader->Lines()[0])));
    if (!redirect || header.Location.empty()) break;
    Socket->Close();
    SocketOpen = false;
    // A loop, or one hop too many: the stream is not to be had.
    if (!chain.Follow(header.Location)) return RE_NOT_AVAILABLE;
  }
  header.Meta.StreamURL = FormatURL(chain.Parts());
  header.Meta.FinalURL = chain.Hops() > 0 ? FormatURL(chain.Parts(), true) : "";
  return RE_NONE;
}

void tNetworkReceiverThread::StoreAnswer(tAnswerHeader& header) {
  header.Meta.ContentType = UpperCase(header.Meta.ContentType);
  {
    std::lock_guard<std::mutex> guard(MetaLock);
    Metadata = header.Meta;
  }
  IsPublic = header.IsPublic;
  NamedBitrate = std::max(header.Bitrate, 0);
  Bitrate = std::max(header.Bitrate, 100);
}

void tNetworkReceiverThread::NetworkSession() {
  BeginSession();
  tAnswerHeader header;
  if (uint8_t code = OpenAnswer(header, false); code != RE_NONE) return Fail(code);
  ConnectionStart = timeGetTime();
  StoreAnswer(header);
  // Computed in 64 bits: a header may name any bit rate.
  NewQueue(static_cast<int64_t>(Bitrate) * BufferSeconds * 1024 / 8);
  auto queue = Queue();
  int64_t contentLength = header.ContentLength;

  char magic[4];
  if (Reader->ReadBody(magic, 4) != 4) return Fail(RE_ENDED);
  if (!IsOggAnswer(magic, header.Meta.ContentType)) {
    // A text answer (a playlist served in place of the stream) is collected whole when its length is known.
    if (contentLength < 1 && !header.Chunked) {
      SetMeta(&tStreamMetadata::TextData, std::string(magic, 4));
      CloseSocket();
      Terminate();
      return Fail(RE_TYPE);
    }
    bool closed = false;
    CaptureText(std::string(magic, 4), [&](char* buf, size_t size) -> size_t {
      if (closed || !Reader->Connected()) return 0;
      size_t got = Reader->ReadBody(buf, size);
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
  tOggPageWatch pages;
  pages.Feed(magic, 4);
  RecordingTap.Restart();
  RecordingTap.Feed(magic, 4);
  for (;;) {
    bool live = contentLength < 0;  // (a known length counts down as the body arrives)
    tStreamStop stop = PumpStream(*queue, contentLength, full, pages);
    // A live stream that drops is fetched again; one that closed right after the last page of every stream
    // it carried has ended.
    bool dropped = stop != tStreamStop::Stopped && Running && !Terminated() && !Reader->BodyEnded() &&
                   !(Socket->LastError() == 0 && pages.StreamsEnded());
    if (live && dropped && Options.ReconnectAttempts > 0) {
      if (Reconnect(*queue, contentLength, full, pages)) continue;
      return;
    }
    if (stop == tStreamStop::Broken) {
      // A broken connection ends the session: idle, so the failure is reported instead of the player
      // waiting in its last state for data that never comes.
      Running = false;
      SocketOpen = false;
      WakeWaiters();
      return Fail(RE_TIMEOUT);
    }
    break;
  }
  if (!Reader->Connected()) InputEnded = true;
  if (InputEnded) SocketOpen = false;
  WakeWaiters();
  if (!Terminated()) Drain();
  Fail(RE_ENDED);
}

tNetworkReceiverThread::tStreamStop tNetworkReceiverThread::PumpStream(tByteQueue& queue,
                                                                       int64_t& contentLength, bool& full,
                                                                       tOggPageWatch& pages) {
  while (!Terminated() && Running) {
    if (Reader->BodyFailed()) return tStreamStop::Broken;
    if (!Reader->Connected()) return tStreamStop::Ended;
    if (contentLength == 0 || Reader->BodyEnded()) {  // the whole body has arrived
      InputEnded = true;
      return tStreamStop::Ended;
    }
    if (queue.GetCapacity() - queue.GetCount() > kNetworkChunk) {
      int32_t chunk = kNetworkChunk;
      if (contentLength >= 0 && contentLength < chunk) chunk = static_cast<int32_t>(contentLength);
      char buf[kNetworkChunk];
      size_t got = Reader->ReadBody(buf, static_cast<size_t>(chunk));
      pages.Feed(buf, got);
      RecordingTap.Feed(buf, got);
      bool stored = got == 0 || WriteToQueue(queue, buf, static_cast<int32_t>(got));
      if (contentLength > 0) contentLength -= static_cast<int64_t>(got);
      if (got < static_cast<size_t>(chunk) || !stored) {
        // The server ended the stream in order: the tail is kept.
        if (Reader->BodyEnded()) InputEnded = true;
        return stored && Socket->LastError() == 0 && !Reader->BodyFailed() ? tStreamStop::Ended
                                                                           : tStreamStop::Broken;
      }
    } else {
      // Full: nothing to do until the reader makes room (or the session stops).
      queue.WaitUntil(
          [&] { return queue.GetCapacity() - queue.GetCount() > kNetworkChunk || !Running || Terminated(); },
          kRoomWaitMs);
    }
    UpdateLevelState(full);
  }
  return tStreamStop::Stopped;
}

bool tNetworkReceiverThread::WaitToReconnect(int32_t attempt, bool& full) {
  const uint64_t wait = static_cast<uint64_t>(Options.ReconnectUnitMs)
                        << std::clamp(attempt - 1, 0, kMaxReconnectDoublings);
  const uint32_t start = timeGetTime();
  while (Running && !Terminated()) {
    // The reader plays on what is queued; once that runs low it shows buffering, as for a slow server.
    UpdateLevelState(full);
    uint32_t waited = timeGetTime() - start;
    if (waited >= wait) return true;
    Pause(static_cast<uint32_t>(std::min<uint64_t>(wait - waited, kReconnectSliceMs)));
  }
  return false;
}

bool tNetworkReceiverThread::TakeReconnectBudget() {
  // Attempts within the window, oldest first; older ones no longer count.
  const uint32_t now = timeGetTime();
  while (!AttemptTicks.empty() && now - AttemptTicks.front() >= Options.ReconnectWindowMs)
    AttemptTicks.pop_front();
  const size_t budget = static_cast<size_t>(std::max(Options.ReconnectAttempts, 0)) * kReconnectBudgetRounds;
  if (AttemptTicks.size() >= budget) return false;
  AttemptTicks.push_back(now);
  return true;
}

bool tNetworkReceiverThread::Reconnect(tByteQueue& queue, int64_t& contentLength, bool& full,
                                       tOggPageWatch& pages) {
  // The reader keeps waiting for bytes while the connection is gone (Reconnecting comes first).
  Reconnecting = true;
  SocketOpen = false;
  Socket->Close();
  // What is queued plays while the attempts wait, and the stream says so before it says it reconnects.
  UpdateLevelState(full);
  WakeWaiters();
  uint8_t code = RE_TIMEOUT;  // the drop itself, when no attempt gets as far as failing
  // The attempts count on across connections that broke off soon: a server that sends a little and closes
  // must not restart the count each time. Only a connection that carried the stream for a while did.
  if (timeGetTime() - ConnectionStart >= Options.ReconnectSteadyMs) AttemptsUsed = 0;
  while (AttemptsUsed < Options.ReconnectAttempts && TakeReconnectBudget()) {
    const int32_t attempt = ++AttemptsUsed;
    ReconnectAttempt = attempt;
    if (!WaitToReconnect(attempt, full)) break;
    tAnswerHeader header;
    char magic[4];
    code = OpenAnswer(header, true);
    if (code == RE_NONE && Reader->ReadBody(magic, 4) != 4) code = RE_TIMEOUT;
    if (code == RE_NONE && !IsOggAnswer(magic, UpperCase(header.Meta.ContentType))) code = RE_TYPE;
    if (code == RE_NONE && WriteToQueue(queue, magic, 4)) {
      // The new connection begins with pages of its own: a new chain link for the decoding thread.
      StoreAnswer(header);
      contentLength = header.ContentLength;
      pages.Restart();
      pages.Feed(magic, 4);
      RecordingTap.Restart();
      RecordingTap.Feed(magic, 4);
      ConnectionStart = timeGetTime();
      ReconnectAttempt = 0;
      ++Reconnects;
      Reconnecting = false;
      WakeWaiters();
      return true;
    }
    Socket->Close();
    SocketOpen = false;
  }
  ReconnectAttempt = 0;
  Reconnecting = false;
  WakeWaiters();
  if (!Running || Terminated()) {  // stopped while it waited
    Fail(RE_ENDED);
    return false;
  }
  // Every attempt failed: the stream ends with the last failure.
  Running = false;
  WakeWaiters();
  Fail(code);
  return false;
}

}  // namespace ktv
