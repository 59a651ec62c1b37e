// Any bytes as an answer that sends the client elsewhere: the first line is the address asked, the next the
// status line, the rest header lines whose Location values are followed. Status codes, Location resolution
// and the redirect chain must keep their promises whatever the input: at most five hops, only http and https
// addresses, no address asked twice, and no password carried to another host.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "net/http_answer.h"
#include "net/http_redirect.h"
#include "net/url.h"
#include "net/xml_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string text(reinterpret_cast<const char*>(Data), Size);
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(ktv::TrimText(line));
  if (lines.empty()) return 0;

  const int code = ktv::HttpStatusCode(lines.size() > 1 ? lines[1] : "");
  if (code != 0 && (code < 100 || code > 999)) std::abort();

  ktv::tRedirectChain chain(lines[0]);
  for (size_t i = 2; i < lines.size(); ++i) {
    ktv::tHeaderField field = ktv::SplitHeaderField(lines[i]);
    if (field.Name != "LOCATION") continue;
    const std::string resolved = ktv::ResolveLocation(chain.Parts(), field.Value);
    if (!resolved.empty() && resolved.rfind("http://", 0) != 0 && resolved.rfind("https://", 0) != 0)
      std::abort();
    const ktv::tURLParts before = chain.Parts();
    if (!chain.Follow(field.Value)) {
      // A refused hop leaves the chain where it was.
      if (chain.Parts().Path != before.Path || chain.Parts().Host != before.Host) std::abort();
      continue;
    }
    if (resolved.empty()) std::abort();  // followed an address that is none
    const ktv::tURLParts& now = chain.Parts();
    if (now.Path.empty() || (now.Scheme != "http" && now.Scheme != "https")) std::abort();
    ktv::tURLParts own;
    ktv::ParseURL(resolved, own);
    // Credentials reach another host only when the Location itself names them.
    if (now.HasLogin && ktv::UpperCase(now.Host) != ktv::UpperCase(before.Host) && !own.HasLogin)
      std::abort();
  }
  if (chain.Hops() < 0 || chain.Hops() > ktv::tRedirectChain::kMaxRedirects) std::abort();
  return 0;
}
