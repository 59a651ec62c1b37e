#include "net/http_request.h"

#include <vector>

#include "net/base64.h"

#ifndef KTV_VERSION
#define KTV_VERSION ""  // a build without the project version reports "Unknown"
#endif

namespace ktv {

namespace {

const char kCRLF[] = "\r\n";
const char kProductName[] = "Kestrova.TV Player";

}  // namespace

std::string FormatProgramVersion(const std::string& Version) {
  std::vector<long> numbers;
  size_t i = 0;
  while (true) {
    size_t start = i;
    long value = 0;
    while (i < Version.size() && Version[i] >= '0' && Version[i] <= '9' && i - start < 6) {
      value = value * 10 + (Version[i] - '0');
      ++i;
    }
    if (i == start || value > 65535) return "Unknown";
    numbers.push_back(value);
    if (i == Version.size()) break;
    if (Version[i] != '.' || numbers.size() == 4) return "Unknown";
    ++i;
  }
  numbers.resize(4, 0);
  return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." + std::to_string(numbers[2]) +
         "." + std::to_string(numbers[3]);
}

std::string GetProgramVersion() {
  return FormatProgramVersion(KTV_VERSION);
}

std::string BuildHTTPGetRequest(const tURLParts& Parts) {
  std::string host;
  for (char c : HostForAddress(Parts.Host)) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) host += c;
  }
  std::string request = "GET " + EscapeURLPath(Parts.Path) + " HTTP/1.1" + kCRLF;
  request += "Host: " + host + kCRLF;
  if (Parts.HasLogin)
    request += "Authorization: Basic " + Base64Encode(Parts.User + ":" + Parts.Password) + kCRLF;
  request += std::string("User-Agent: ") + kProductName + " (" + GetProgramVersion() + ")" + kCRLF;
  request += std::string("Connection: close") + kCRLF;
  request += kCRLF;
  return request;
}

}  // namespace ktv
