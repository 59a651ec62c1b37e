#include "net/http_answer.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/text.h"

namespace ktv {

bool ReadHeaderLine(tEasySocket& socket, std::string& line, size_t& budget) {
  line.clear();
  char c;
  while (socket.ReceiveExact(&c, 1)) {
    if (c == '\n') {
      line = TrimText(line);
      return true;
    }
    if (budget == 0) return false;
    --budget;
    if (c != '\r') line += c;
  }
  line.clear();
  return true;
}

tHeaderField SplitHeaderField(const std::string& line) {
  size_t colon = line.find(':');
  if (colon == std::string::npos) return {};
  return {UpperCase(TrimText(line.substr(0, colon))), TrimText(line.substr(colon + 1))};
}

}  // namespace ktv

namespace ktv {

namespace {

// Header reads take what the server has sent, up to this much at a time.
constexpr size_t kHeaderBlock = 4096;
// Raw reads of a chunked body.
constexpr size_t kChunkedBlock = 4096;

}  // namespace

size_t tHeaderCollector::Feed(const char* Data, size_t Count) {
  size_t i = 0;
  while (i < Count && State == tStatus::More) {
    const char c = Data[i++];
    if (++Total > kMaxHeaderBytes) {
      State = tStatus::TooLarge;
      break;
    }
    if (c == '\n') {
      std::string line = TrimText(Line);
      Line.clear();
      LineBytes = 0;
      if (line.empty()) {
        State = tStatus::Complete;
      } else {
        Collected.push_back(std::move(line));
      }
      continue;
    }
    if (++LineBytes > kMaxHeaderLine) {
      State = tStatus::TooLarge;
      break;
    }
    if (c != '\r') Line += c;
  }
  return i;
}

size_t tAnswerReader::ReadyBytes() const {
  if (Socket.Secure()) return 0;  // the socket's bytes are not yet the answer's
  int fd = Socket.Handle();
  int ready = 0;
  if (fd == tEasySocket::kNoSocket || ::ioctl(fd, FIONREAD, &ready) != 0 || ready < 0) return 0;
  return static_cast<size_t>(ready);
}

tAnswerReader::tHeaderResult tAnswerReader::ReadHeader(uint32_t TimeLimitMs) {
  const int ownTimeOut = Socket.TimeOut();
  const uint32_t start = timeGetTime();
  tHeaderResult result = tHeaderResult::Closed;
  char block[kHeaderBlock];
  for (;;) {
    if (TimeLimitMs > 0) {
      uint32_t spent = timeGetTime() - start;
      if (spent >= TimeLimitMs) {
        result = tHeaderResult::TooSlow;
        break;
      }
      // No single read may outlast what is left of the limit.
      int left = static_cast<int>((TimeLimitMs - spent + 999) / 1000);
      Socket.SetTimeOut(ownTimeOut > 0 ? std::min(ownTimeOut, left) : left);
    }
    // Never more than the server has sent: a stream whose header is followed by a pause must not wait for a
    // block to fill.
    size_t want = std::clamp<size_t>(ReadyBytes(), 1, kHeaderBlock);
    size_t got = Socket.ReceiveBuf(block, want);
    size_t taken = Header.Feed(block, got);
    if (Header.Status() == tHeaderCollector::tStatus::TooLarge) {
      result = tHeaderResult::TooLarge;
      break;
    }
    if (Header.Status() == tHeaderCollector::tStatus::Complete) {
      Raw.append(block + taken, got - taken);
      result = tHeaderResult::Complete;
      break;
    }
    if (got < want) {
      result = Socket.TimedOut() && TimeLimitMs > 0 && timeGetTime() - start >= TimeLimitMs
                   ? tHeaderResult::TooSlow
                   : tHeaderResult::Closed;
      break;
    }
  }
  Socket.SetTimeOut(ownTimeOut);
  return result;
}

size_t tAnswerReader::TakeHeld(std::string& From, char* To, size_t Count) {
  size_t n = std::min(Count, From.size());
  std::memcpy(To, From.data(), n);
  From.erase(0, n);
  return n;
}

size_t tAnswerReader::ReadBody(char* Buffer, size_t Count) {
  size_t got = 0;
  if (!IsChunked) {
    got = TakeHeld(Raw, Buffer, Count);
    if (got < Count) got += Socket.ReceiveBuf(Buffer + got, Count - got);
    return got;
  }
  char block[kChunkedBlock];
  while (got < Count) {
    if (!Decoded.empty()) {
      got += TakeHeld(Decoded, Buffer + got, Count - got);
      continue;
    }
    if (Chunks.Status() != tChunkedDecoder::tStatus::More) break;
    if (!Raw.empty()) {
      size_t taken = Chunks.Feed(Raw.data(), Raw.size(), Decoded);
      Raw.erase(0, taken);
      if (Chunks.Status() != tChunkedDecoder::tStatus::More) Raw.clear();  // past the body
      continue;
    }
    // Wait for no more than the caller still needs of the current chunk, but take what is there.
    size_t want = std::min(Chunks.Expecting(), Count - got);
    want = std::max(want, std::min(Chunks.Expecting(), ReadyBytes()));
    want = std::clamp<size_t>(want, 1, kChunkedBlock);
    size_t read = Socket.ReceiveBuf(block, want);
    Raw.append(block, read);
    if (read < want) {
      // The connection ended: decode what came, then stop.
      size_t taken = Chunks.Feed(Raw.data(), Raw.size(), Decoded);
      (void)taken;
      Raw.clear();
      got += TakeHeld(Decoded, Buffer + got, Count - got);
      break;
    }
  }
  return got;
}

bool tAnswerReader::Connected() {
  if (!Raw.empty() && !(IsChunked && Chunks.Status() != tChunkedDecoder::tStatus::More)) return true;
  if (!Decoded.empty()) return true;
  if (IsChunked && Chunks.Status() != tChunkedDecoder::tStatus::More) return false;
  return Socket.Connected();
}

}  // namespace ktv
