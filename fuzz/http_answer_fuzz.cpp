// Any bytes as a server's answer, fed to the receiver's header reading in uneven pieces: the header is
// bounded (no line over its limit, the whole within 64 KiB), the bytes after it are the body's, and the
// fields the receiver keeps parse whatever they hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http_answer.h"
#include "net/http_redirect.h"
#include "platform/text.h"
#include "stream/stream_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const char* bytes = reinterpret_cast<const char*>(Data);
  ktv::tHeaderCollector header;
  size_t taken = 0;
  for (size_t step = 1; taken < Size && header.Status() == ktv::tHeaderCollector::tStatus::More;
       step = step * 3 % 1031 + 1) {
    size_t n = std::min(step, Size - taken);
    size_t got = header.Feed(bytes + taken, n);
    if (got > n) std::abort();
    taken += got;
    if (got < n && header.Status() == ktv::tHeaderCollector::tStatus::More) std::abort();  // stopped early
  }
  if (header.Bytes() > ktv::tHeaderCollector::kMaxHeaderBytes + 1) std::abort();
  if (header.Status() == ktv::tHeaderCollector::tStatus::Complete) {
    // Everything up to and including the empty line's LF, nothing after it.
    if (taken == 0 || bytes[taken - 1] != '\n') std::abort();
  }
  ktv::tAnswerHeader answer;
  for (size_t i = 0; i < header.Lines().size(); ++i) {
    const std::string& line = header.Lines()[i];
    if (line.empty() || line.size() > ktv::tHeaderCollector::kMaxHeaderLine) std::abort();
    if (i == 0) {
      const std::string status = ktv::UpperCase(line);
      (void)ktv::IsAcceptedStatusLine(status);
      const int code = ktv::HttpStatusCode(status);
      if (code != 0 && (code < 100 || code > 999)) std::abort();
      continue;
    }
    ktv::ApplyHeaderField(ktv::SplitHeaderField(line), answer);
  }
  if (answer.ContentLength < -1)
    return 0;  // a negative length is kept as told; the receiver treats it as unknown
  return 0;
}
