// Helpers of the recording tests: a file's pages, and the pictures and sound the program decodes from a file
// (kestrova-cli decode), to compare a recording with its source.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "stream/ogg_page_splitter.h"
#include "support/test_support.h"

namespace ktv::test {

inline std::vector<std::string> SplitPages(const std::string& bytes) {
  std::vector<std::string> pages;
  tOggPageSplitter splitter;
  splitter.Feed(bytes.data(), bytes.size(), [&](std::string_view page) { pages.emplace_back(page); });
  return pages;
}

// The longest stretch of sound one page of the file's Vorbis stream ends (in samples): a recording begins
// at a page of each stream, so its sound may begin this much before its first picture.
inline int64_t LongestSoundPage(const std::string& bytes) {
  uint32_t vorbis = 0;
  bool found = false;
  int64_t last = 0, longest = 0;
  for (const std::string& page : SplitPages(bytes)) {
    const auto* p = reinterpret_cast<const uint8_t*>(page.data());
    uint32_t serial = 0;
    int64_t granule = 0;
    std::memcpy(&serial, p + 14, 4);
    std::memcpy(&granule, p + 6, 8);
    const size_t body = 27 + p[26];
    if ((p[5] & 2) && page.compare(body, 7, "\x01vorbis") == 0) vorbis = serial, found = true;
    if (!found || serial != vorbis || granule <= 0) continue;
    longest = std::max(longest, granule - last);
    last = granule;
  }
  return longest;
}

struct tDecodedMedia {
  std::vector<std::string> Frames;  // each picture's planes
  std::vector<int16_t> Samples;     // interleaved
  int Channels = 0;
  int Rate = 0;
  double Fps = 0;
  std::string Json;
};

// Decodes a local Ogg file with the program's own decoder; empty when it cannot.
inline tDecodedMedia DecodeWithProgram(const std::string& ogg) {
  tDecodedMedia out;
  tTempDir dir;
  tRunResult run = RunCli({"decode", ogg, "--y4m", dir.File("v.y4m"), "--wav", dir.File("a.wav")});
  out.Json = run.Out;
  const std::string y4m = ReadFile(dir.File("v.y4m"));
  size_t headerEnd = y4m.find('\n');
  if (headerEnd != std::string::npos) {
    const std::string header = y4m.substr(0, headerEnd);
    const int w = std::atoi(header.c_str() + header.find(" W") + 2);
    const int h = std::atoi(header.c_str() + header.find(" H") + 2);
    const size_t f = header.find(" F");
    if (f != std::string::npos && header.find(':', f) != std::string::npos)
      out.Fps = std::atof(header.c_str() + f + 2) /
                std::max(1.0, std::atof(header.c_str() + header.find(':', f) + 1));
    const size_t frameBytes =
        static_cast<size_t>(w) * h + 2 * static_cast<size_t>((w + 1) / 2) * ((h + 1) / 2);
    size_t at = headerEnd + 1;
    while (at < y4m.size()) {
      size_t line = y4m.find('\n', at);
      if (line == std::string::npos || line + 1 + frameBytes > y4m.size()) break;
      out.Frames.push_back(y4m.substr(line + 1, frameBytes));
      at = line + 1 + frameBytes;
    }
  }
  const std::string wav = ReadFile(dir.File("a.wav"));
  if (wav.size() >= 44) {
    out.Channels = static_cast<uint8_t>(wav[22]);
    std::memcpy(&out.Rate, wav.data() + 24, 4);
    size_t data = wav.find("data");
    if (data != std::string::npos && data + 8 <= wav.size()) {
      out.Samples.resize((wav.size() - data - 8) / 2);
      std::memcpy(out.Samples.data(), wav.data() + data + 8, out.Samples.size() * 2);
    }
  }
  return out;
}

// Where `part` stands in `whole` (first index), or -1.
template <typename T>
long FindRun(const std::vector<T>& whole, const std::vector<T>& part, size_t from, size_t count) {
  if (from + count > part.size() || count == 0) return -1;
  for (size_t i = 0; i + count <= whole.size(); ++i) {
    size_t k = 0;
    while (k < count && whole[i + k] == part[from + k]) ++k;
    if (k == count) return static_cast<long>(i);
  }
  return -1;
}

}  // namespace ktv::test
