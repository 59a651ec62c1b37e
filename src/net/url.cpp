#include "net/url.h"

#include <cctype>
#include <cstdlib>
#include <limits>

namespace ktv {

namespace {

// Whole-text decimal integer with an optional sign, within the 32-bit range; anything else is not a number.
bool ParseInteger(const std::string& Text, int64_t& Value) {
  size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  if (i == Text.size()) return false;
  int64_t v = 0;
  for (; i < Text.size(); ++i) {
    if (Text[i] < '0' || Text[i] > '9') return false;
    v = v * 10 + (Text[i] - '0');
    if (v > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min()) return false;
  Value = v;
  return true;
}

size_t FindOrEnd(const std::string& s, char c) {
  size_t at = s.find(c);
  return at == std::string::npos ? s.size() : at;
}

bool HasPrefixNoCase(const std::string& s, const char* prefix) {
  size_t i = 0;
  for (; prefix[i]; ++i)
    if (i >= s.size() || std::toupper(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

}  // namespace

std::string TrimText(const std::string& Text) {
  size_t first = 0, last = Text.size();
  while (first < last && static_cast<unsigned char>(Text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(Text[last - 1]) <= ' ') --last;
  return Text.substr(first, last - first);
}

uint16_t DefaultPort(const std::string& Scheme) {
  return Scheme == "https" ? 443 : 80;
}

void ParseURL(const std::string& URL, tURLParts& Parts) {
  Parts = tURLParts{};
  std::string s = TrimText(URL);
  if (HasPrefixNoCase(s, "HTTPS://")) {
    Parts.Scheme = "https";
    s.erase(0, 8);
  } else if (HasPrefixNoCase(s, "HTTP://")) {
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
    int64_t port = 0;
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
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(Path.size());
  for (char c : Path) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x2A) {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace ktv
