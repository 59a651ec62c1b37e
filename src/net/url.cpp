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

}  // namespace

std::string TrimText(const std::string& Text) {
  size_t first = 0, last = Text.size();
  while (first < last && static_cast<unsigned char>(Text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(Text[last - 1]) <= ' ') --last;
  return Text.substr(first, last - first);
}

void ParseURL(const std::string& URL, tURLParts& Parts) {
  Parts = tURLParts{};
  std::string s = TrimText(URL);
  static const char kScheme[] = "HTTP://";
  if (s.size() >= 7) {
    bool scheme = true;
    for (size_t i = 0; i < 7 && scheme; ++i)
      scheme = std::toupper(static_cast<unsigned char>(s[i])) == kScheme[i];
    if (scheme) s.erase(0, 7);
  }

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
    int64_t port = 0;
    // A number beyond 16 bits keeps its low 16 bits, as the port field has always done.
    Parts.Port =
        slash > 0 && ParseInteger(s.substr(0, slash), port) ? static_cast<uint16_t>(port & 0xFFFF) : 80;
    Parts.Path = s.substr(slash);
  }
  if (Parts.Path.empty()) Parts.Path.push_back('/');  // (assigning "/" trips a false -Wrestrict in GCC 12)
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
