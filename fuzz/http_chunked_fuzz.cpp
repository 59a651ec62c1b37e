// Any bytes as a chunked body, fed in uneven pieces and again in one piece: both give the same body, the
// same end and the same count of bytes taken; the size line and the trailer stay within their bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http_chunked.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const char* bytes = reinterpret_cast<const char*>(Data);
  ktv::tChunkedDecoder whole;
  std::string wholeBody;
  const size_t wholeTaken = whole.Feed(bytes, Size, wholeBody);
  if (wholeTaken > Size || wholeBody.size() > wholeTaken) std::abort();

  ktv::tChunkedDecoder pieces;
  std::string piecesBody;
  size_t taken = 0;
  for (size_t step = 1; taken < Size; step = step * 5 % 257 + 1) {
    size_t n = std::min(step, Size - taken);
    if (pieces.Expecting() == 0 && pieces.Status() == ktv::tChunkedDecoder::tStatus::More) std::abort();
    size_t got = pieces.Feed(bytes + taken, n, piecesBody);
    taken += got;
    if (got < n) break;
  }
  if (taken != wholeTaken || piecesBody != wholeBody || pieces.Status() != whole.Status()) std::abort();
  if (whole.Status() == ktv::tChunkedDecoder::tStatus::More && wholeTaken != Size) std::abort();
  return 0;
}
