#include "net/url.h"

#include "platform/text.h"

namespace ktv {

namespace {

size_t FindOrEnd(const std::string& s, char c) {
  size_t at = s.find(c);
  return at == std::string::npos ? s.size() : at;
}

}  // namespace

void ParseURL(const std::string& URL, tURLParts& Parts) {
  Parts = tURLParts{};
  std::string s = TrimText(URL);
  if (StartsWithText(s, "http://")) s.erase(0, 7);

  size_t slash = FindOrEnd(s, '/');
  size_t at = s.find('@');
  if (at != std::string::npos && at < slash) {  // credentials only before the path
    Parts.User = TrimText(s.substr(0, at));
    size_t colon = Parts.User.find(':');
    if (colon != std::string::npos) {
      Parts.Password = TrimText(Parts.User.substr(colon + 1));
      Parts.User = TrimText(Parts.User.substr(0, colon));
    }
    Parts.HasLogin = !Parts.User.empty();
    s.erase(0, at + 1);
    slash = FindOrEnd(s, '/');
  }

  size_t colon = FindOrEnd(s, ':');
  if (colon >= slash) {  // no port, or a colon only inside the path
    Parts.Port = 80;
    Parts.Host = s.substr(0, slash);
    Parts.Path = s.substr(slash);
  } else {
    Parts.Host = s.substr(0, colon);
    s.erase(0, colon + 1);
    slash = FindOrEnd(s, '/');
    int32_t port = 0;
    // A number beyond 16 bits keeps its low 16 bits, as the port field has always done.
    Parts.Port =
        slash > 0 && ParseInteger(s.substr(0, slash), port) ? static_cast<uint16_t>(port & 0xFFFF) : 80;
    Parts.Path = s.substr(slash);
  }
  if (Parts.Path.empty()) Parts.Path.push_back('/');  // (assigning "/" trips a false -Wrestrict in GCC 12)
}

std::string EscapeURLPath(const std::string& Path) {
  return PercentEscape(Path, [](unsigned char b) { return b < 0x2A; });
}

}  // namespace ktv
