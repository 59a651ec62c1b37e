// Following an answer that sends the client elsewhere (301, 302, 303, 307, 308 with a Location): where the
// Location points, relative or absolute, and the chain of hops with its limits. The receiver and the
// download share it.
#pragma once

#include <string>
#include <vector>

#include "net/url.h"

namespace ktv {

// The status code (100 to 999) of a status line ("HTTP/1.1 302 Found" gives 302, "ICY 200 OK" 200); 0 when it
// names none.
int HttpStatusCode(const std::string& StatusLine);
// 301, 302, 303, 307 and 308: the answer names another address in its Location.
bool IsRedirectStatus(int Code);

// The address a Location names, resolved against the address that answered (as a browser resolves a
// reference: absolute, "//host/...", "/path", "?query" or a path relative to the answering one's folder, dot
// segments removed). Credentials are never carried over here. Empty when the Location names no http or
// https address.
std::string ResolveLocation(const tURLParts& Base, const std::string& Location);

class tRedirectChain {
 public:
  // Hops followed at most; one more is refused.
  static constexpr int kMaxRedirects = 5;

  explicit tRedirectChain(const std::string& URL);
  explicit tRedirectChain(const tURLParts& Parts);
  // The address to ask now: the first one, then where the last Location pointed. Credentials stay only
  // while scheme, host and port all stay the same (a Location may also bring its own).
  const tURLParts& Parts() const { return Current; }
  // Moves on to where the Location points. False for an address that is no http or https one, a loop (an
  // address asked before) or a sixth hop; the chain then stays where it was.
  bool Follow(const std::string& Location);
  int Hops() const { return static_cast<int>(Visited.size()) - 1; }

 private:
  tURLParts Current;
  std::vector<std::string> Visited;  // every address asked, as compared for loops
};

}  // namespace ktv
