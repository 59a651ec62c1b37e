// Any bytes as an address: ParseURL must give a record within its promises (http or https, IPv6 literals
// included), an address written back by FormatURL must parse to the same record, and the request built from
// it must stay one well-formed header, whatever the input.
#include <cctype>
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
  if (parts.Scheme != "http" && parts.Scheme != "https") std::abort();

  // A host the written form can carry (a name, an IPv4 or IPv6 address) comes back unchanged.
  bool plainHost = !parts.Host.empty();
  for (char c : parts.Host)
    plainHost =
        plainHost && (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':');
  bool literal = parts.Host.find(':') != std::string::npos;
  for (char c : parts.Host)
    literal = literal && (std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.');
  if (plainHost && (literal || parts.Host.find(':') == std::string::npos)) {
    ktv::tURLParts again;
    ktv::ParseURL(ktv::FormatURL(parts), again);
    if (again.Scheme != parts.Scheme || again.Host != parts.Host || again.Port != parts.Port ||
        again.Path != parts.Path || again.HasLogin)
      std::abort();
  }

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
