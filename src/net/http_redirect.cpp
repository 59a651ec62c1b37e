#include "net/http_redirect.h"

#include <algorithm>
#include <cctype>

#include "net/xml_parser.h"

namespace ktv {

namespace {

// Length of a "scheme:" at the start (a letter, then letters, digits, "+", "-" or "."); 0 when there is none.
size_t SchemeLength(const std::string& Reference) {
  if (Reference.empty() || !std::isalpha(static_cast<unsigned char>(Reference[0]))) return 0;
  for (size_t i = 1; i < Reference.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(Reference[i]);
    if (c == ':') return i;
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return 0;
  }
  return 0;
}

// "." and ".." segments resolved away, as a browser does before asking.
std::string RemoveDotSegments(std::string Input) {
  std::string output;
  auto dropLastSegment = [&] {
    size_t slash = output.rfind('/');
    output.erase(slash == std::string::npos ? 0 : slash);
  };
  while (!Input.empty()) {
    if (Input.compare(0, 3, "../") == 0) {
      Input.erase(0, 3);
    } else if (Input.compare(0, 2, "./") == 0) {
      Input.erase(0, 2);
    } else if (Input.compare(0, 3, "/./") == 0) {
      Input.erase(0, 2);
    } else if (Input == "/.") {
      Input = "/";
    } else if (Input.compare(0, 4, "/../") == 0) {
      Input.erase(0, 3);
      dropLastSegment();
    } else if (Input == "/..") {
      Input = "/";
      dropLastSegment();
    } else if (Input == "." || Input == "..") {
      Input.clear();
    } else {
      size_t end = Input.find('/', 1);
      if (end == std::string::npos) end = Input.size();
      output += Input.substr(0, end);
      Input.erase(0, end);
    }
  }
  return output;
}

// The path with its dot segments removed; the query and fragment after it are left as they are.
std::string NormalisePath(const std::string& Path) {
  size_t end = std::min(Path.find('?'), Path.find('#'));
  if (end == std::string::npos) end = Path.size();
  std::string path = RemoveDotSegments(Path.substr(0, end));
  if (path.empty() || path[0] != '/') path.insert(0, 1, '/');
  return path + Path.substr(end);
}

// Loops are told apart by scheme, host (in any case), port and path.
std::string VisitKey(const tURLParts& Parts) {
  return Parts.Scheme + "://" + UpperCase(Parts.Host) + ":" + std::to_string(Parts.Port) + Parts.Path;
}

}  // namespace

int HttpStatusCode(const std::string& StatusLine) {
  size_t at = StatusLine.find(' ');
  if (at == std::string::npos) return 0;
  at = StatusLine.find_first_not_of(' ', at);
  if (at == std::string::npos || StatusLine.size() - at < 3) return 0;
  int code = 0;
  for (size_t i = at; i < at + 3; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(StatusLine[i]))) return 0;
    code = code * 10 + (StatusLine[i] - '0');
  }
  if (StatusLine.size() > at + 3 && std::isdigit(static_cast<unsigned char>(StatusLine[at + 3]))) return 0;
  return code >= 100 ? code : 0;  // status codes have three digits of their own
}

bool IsRedirectStatus(int Code) {
  return Code == 301 || Code == 302 || Code == 303 || Code == 307 || Code == 308;
}

std::string ResolveLocation(const tURLParts& Base, const std::string& Location) {
  std::string reference = TrimText(Location);
  if (reference.empty()) return "";
  if (size_t scheme = SchemeLength(reference)) {
    std::string name = UpperCase(reference.substr(0, scheme));
    // Another scheme, or "http:path" without a host, is nothing we can ask.
    if ((name != "HTTP" && name != "HTTPS") || reference.compare(scheme, 3, "://") != 0) return "";
    tURLParts target;
    ParseURL(reference, target);
    target.Path = NormalisePath(target.Path);
    return FormatURL(target, true);
  }
  if (reference.compare(0, 2, "//") == 0) return ResolveLocation(Base, Base.Scheme + ":" + reference);

  tURLParts target = Base;
  target.HasLogin = false;
  target.User.clear();
  target.Password.clear();
  size_t end = std::min(Base.Path.find('?'), Base.Path.find('#'));
  const std::string basePath = Base.Path.substr(0, end);
  if (reference[0] == '/') {
    target.Path = reference;
  } else if (reference[0] == '?') {
    target.Path = basePath + reference;
  } else if (reference[0] == '#') {
    target.Path = Base.Path.substr(0, Base.Path.find('#')) + reference;
  } else {
    size_t slash = basePath.rfind('/');
    target.Path = (slash == std::string::npos ? "/" : basePath.substr(0, slash + 1)) + reference;
  }
  target.Path = NormalisePath(target.Path);
  return FormatURL(target);
}

tRedirectChain::tRedirectChain(const std::string& URL) {
  ParseURL(URL, Current);
  Visited.push_back(VisitKey(Current));
}

tRedirectChain::tRedirectChain(const tURLParts& Parts) : Current(Parts) {
  Visited.push_back(VisitKey(Current));
}

bool tRedirectChain::Follow(const std::string& Location) {
  if (Hops() >= kMaxRedirects) return false;
  std::string next = ResolveLocation(Current, Location);
  if (next.empty()) return false;
  tURLParts parts;
  ParseURL(next, parts);
  std::string key = VisitKey(parts);
  if (std::find(Visited.begin(), Visited.end(), key) != Visited.end()) return false;
  // The user's credentials are for the server the user named: another host, another port, or the same host
  // over plain http (where anyone on the way reads them) never sees them.
  if (!parts.HasLogin && parts.Scheme == Current.Scheme && parts.Port == Current.Port &&
      UpperCase(parts.Host) == UpperCase(Current.Host)) {
    parts.HasLogin = Current.HasLogin;
    parts.User = Current.User;
    parts.Password = Current.Password;
  }
  Visited.push_back(key);
  Current = parts;
  return true;
}

}  // namespace ktv
