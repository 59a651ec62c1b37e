#include "net/url.h"

#include <cctype>

#include "platform/text.h"

namespace ktv {

namespace {

size_t FindOrEnd(const std::string& s, char c) {
  size_t at = s.find(c);
  return at == std::string::npos ? s.size() : at;
}

}  // namespace

uint16_t DefaultPort(const std::string& Scheme) {
  return Scheme == "https" ? 443 : 80;
}

void ParseURL(const std::string& URL, tURLParts& Parts) {
  Parts = tURLParts{};
  std::string s = TrimText(URL);
  if (StartsWithText(s, "https://")) {
    Parts.Scheme = "https";
    s.erase(0, 8);
  } else if (StartsWithText(s, "http://")) {
    s.erase(0, 7);
  }
  const uint16_t defaultPort = DefaultPort(Parts.Scheme);

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

  // An IPv6 literal: its colons are the address's own, so the port is looked for only after the bracket.
  bool literal = false;
  std::string literalHost;
  size_t close = s.find(']');
  if (!s.empty() && s[0] == '[' && close != std::string::npos && close < slash) {
    literal = true;
    literalHost = s.substr(1, close - 1);
    s.erase(0, close + 1);
    slash = FindOrEnd(s, '/');
  }

  size_t colon = FindOrEnd(s, ':');
  if (colon >= slash) {  // no port, or a colon only inside the path
    Parts.Port = defaultPort;
    Parts.Host = s.substr(0, slash);
    Parts.Path = s.substr(slash);
  } else {
    Parts.Host = s.substr(0, colon);
    s.erase(0, colon + 1);
    slash = FindOrEnd(s, '/');
    int32_t port = 0;
    // A number beyond 16 bits keeps its low 16 bits, as the port field has always done.
    Parts.Port = slash > 0 && ParseInteger(s.substr(0, slash), port) ? static_cast<uint16_t>(port & 0xFFFF)
                                                                     : defaultPort;
    Parts.Path = s.substr(slash);
  }
  if (literal) Parts.Host = literalHost;
  if (Parts.Path.empty()) Parts.Path.push_back('/');  // (assigning "/" trips a false -Wrestrict in GCC 12)
}

std::string HostForAddress(const std::string& Host) {
  // Only an IPv6 literal (hex digits, colons, dots of an embedded IPv4 address) goes in brackets.
  bool literal = Host.find(':') != std::string::npos;
  for (char c : Host)
    literal = literal && (std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.');
  return literal ? "[" + Host + "]" : Host;
}

std::string FormatURL(const tURLParts& Parts, bool WithLogin) {
  std::string url = Parts.Scheme + "://";
  if (WithLogin && Parts.HasLogin) {
    url += Parts.User;
    if (!Parts.Password.empty()) url += ":" + Parts.Password;
    url += "@";
  }
  url += HostForAddress(Parts.Host);
  if (Parts.Port != DefaultPort(Parts.Scheme)) url += ":" + std::to_string(Parts.Port);
  return url + Parts.Path;
}

std::string EscapeURLPath(const std::string& Path) {
  return PercentEscape(Path, [](unsigned char b) { return b < 0x2A; });
}

}  // namespace ktv
