// Reading the header of an HTTP (or ICY) answer: its lines, and the fields they hold. The receiver and the
// download share it; each keeps its own rule for which status lines it accepts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/easy_socket.h"
#include "net/http_chunked.h"

namespace ktv {

// Reads one header line byte by byte up to its LF; CRs are dropped and the line is trimmed. A byte that
// cannot be read ends the line as empty, which ends the header like an empty line does. budget: the header
// bytes the caller still accepts (every byte but the LF counts); false, with the budget spent, when the line
// would go beyond it: no server needs such a header, and the answer is refused.
bool ReadHeaderLine(tEasySocket& socket, std::string& line, size_t& budget);

// "Name: value": the name trimmed and upper-cased, the value trimmed. A line without ":" has an empty name,
// which matches no field.
struct tHeaderField {
  std::string Name;
  std::string Value;
};
tHeaderField SplitHeaderField(const std::string& line);

// Splits an answer's header into its lines as the bytes come, in pieces of any size: LF ends a line, CRs are
// dropped, lines are trimmed, and the first empty line ends the header. Bounded: a line longer than
// kMaxHeaderLine or a header longer than kMaxHeaderBytes is refused, so a server that sends header lines for
// ever is turned away.
class tHeaderCollector {
 public:
  static constexpr size_t kMaxHeaderLine = 8 * 1024;
  static constexpr size_t kMaxHeaderBytes = 64 * 1024;
  enum class tStatus { More, Complete, TooLarge };

  // Takes bytes up to the end of the header and returns how many it took: the rest belongs to the body.
  size_t Feed(const char* Data, size_t Count);
  tStatus Status() const { return State; }
  // The status line first, then the header lines; without the empty line that ends them.
  const std::vector<std::string>& Lines() const { return Collected; }
  size_t Bytes() const { return Total; }

 private:
  tStatus State = tStatus::More;
  std::vector<std::string> Collected;
  std::string Line;
  size_t LineBytes = 0;  // every byte of the line but its LF
  size_t Total = 0;
};

// One answer on a socket: its header, read in blocks (never past what the server has sent, on a plain
// connection) within a time limit, then its body: the bytes that came with the header first, decoded when
// the answer is chunked. Used by one thread at a time, as the socket is.
class tAnswerReader {
 public:
  enum class tHeaderResult { Complete, TooLarge, TooSlow, Closed };
  explicit tAnswerReader(tEasySocket& Socket) : Socket(Socket) {}

  // Reads the header; TimeLimitMs bounds the whole of it (0: the socket's own time-out per read only).
  // Closed: the connection ended before the empty line (the lines so far are kept).
  tHeaderResult ReadHeader(uint32_t TimeLimitMs);
  const std::vector<std::string>& Lines() const { return Header.Lines(); }

  // The body is sent in chunks ("Transfer-Encoding: chunked"): ReadBody decodes it.
  void SetChunked(bool Chunked) { IsChunked = Chunked; }
  // Reads up to Count body bytes, waiting for them like tEasySocket::ReceiveBuf: fewer only when the body
  // or the connection ended, or the chunked framing broke.
  size_t ReadBody(char* Buffer, size_t Count);
  // More body may come: bytes are held here, or the connection is open and the body not yet complete.
  bool Connected();
  // The chunked framing broke: the rest of the connection is no body.
  bool BodyFailed() const { return IsChunked && Chunks.Failed(); }
  // The last chunk has come: the body is complete although the connection may stay open.
  bool BodyEnded() const { return IsChunked && Chunks.Done(); }

 private:
  // Bytes a plain connection holds ready for reading (0 when unknown, as for TLS).
  size_t ReadyBytes() const;
  size_t TakeHeld(std::string& From, char* To, size_t Count);

  tEasySocket& Socket;
  tHeaderCollector Header;
  bool IsChunked = false;
  tChunkedDecoder Chunks;
  std::string Raw;      // bytes read past the header, not yet taken (raw when chunked)
  std::string Decoded;  // chunked: body bytes decoded, not yet taken
};

}  // namespace ktv
