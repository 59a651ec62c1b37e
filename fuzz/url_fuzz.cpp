// Any bytes as an address: ParseURL must give a record within its promises and the request built from it must
// stay one well-formed header, whatever the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http_request.h"
#include "net/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string url(reinterpret_cast<const char*>(Data), Size);
  ktv::tURLParts parts;
  ktv::ParseURL(url, parts);
  if (parts.Path.empty()) std::abort();                    // the path is never empty
  if (parts.HasLogin == parts.User.empty()) std::abort();  // a login exactly when there is a user name
  if (parts.Host.size() + parts.Path.size() + parts.User.size() + parts.Password.size() > Size + 1)
    std::abort();

  std::string request = ktv::BuildHTTPGetRequest(parts);
  // The header ends exactly once, at its end, and every line break in it is a CR LF of our own.
  size_t end = request.find("\r\n\r\n");
  if (end == std::string::npos || end + 4 != request.size()) std::abort();
  for (size_t i = 0; i < request.size(); ++i) {
    if (request[i] == '\n' && (i == 0 || request[i - 1] != '\r')) std::abort();
    if (request[i] == '\r' && (i + 1 == request.size() || request[i + 1] != '\n')) std::abort();
  }
  return 0;
}
