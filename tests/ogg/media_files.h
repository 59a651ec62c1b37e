// Readers for the raw pictures (YUV4MPEG2) and sound (16-bit WAV) that the test generator and
// `kestrova-cli decode` write, page helpers for damage tests, and measures of decoded sound.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace ktv::test {

struct tY4M {
  int Width = 0, Height = 0;
  int ChromaColumns = 2, ChromaRows = 2;  // luma samples one chroma sample covers (C420*, C422, C444)
  std::string Header;                     // the stream header line without "\n"
  std::vector<std::string> Frames;        // planes Y, U, V of each frame, back to back
  int ChromaWidth() const { return (Width + ChromaColumns - 1) / ChromaColumns; }
  int ChromaHeight() const { return (Height + ChromaRows - 1) / ChromaRows; }
};

// 4:2:0 (any C420 tag or none), 4:2:2 and 4:4:4; Width 0 when the text is not a Y4M stream.
inline tY4M ParseY4M(const std::string& bytes) {
  tY4M out;
  size_t end = bytes.find('\n');
  if (bytes.compare(0, 10, "YUV4MPEG2 ") != 0 || end == std::string::npos) return out;
  out.Header = bytes.substr(0, end);
  std::istringstream fields(out.Header.substr(10));
  for (std::string f; fields >> f;) {
    if (f[0] == 'W') out.Width = std::stoi(f.substr(1));
    if (f[0] == 'H') out.Height = std::stoi(f.substr(1));
    if (f == "C422") out.ChromaColumns = 2, out.ChromaRows = 1;
    if (f == "C444") out.ChromaColumns = 1, out.ChromaRows = 1;
  }
  size_t frameBytes =
      static_cast<size_t>(out.Width * out.Height + 2 * out.ChromaWidth() * out.ChromaHeight());
  for (size_t at = end + 1; at < bytes.size();) {
    size_t line = bytes.find('\n', at);
    if (bytes.compare(at, 5, "FRAME") != 0 || line == std::string::npos ||
        line + 1 + frameBytes > bytes.size())
      break;
    out.Frames.push_back(bytes.substr(line + 1, frameBytes));
    at = line + 1 + frameBytes;
  }
  return out;
}

struct tWav {
  int Channels = 0, Rate = 0, Bits = 0;
  std::vector<int16_t> Samples;  // interleaved
  size_t Frames() const { return Channels ? Samples.size() / static_cast<size_t>(Channels) : 0; }
};

inline uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
                               static_cast<uint8_t>(b[at + 2]) << 16 |
                               static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
}
inline uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

// Canonical 44-byte-header PCM WAV; Channels 0 when the bytes are not one. The data size is taken from the
// header, so a header that does not match the bytes shows up as missing samples.
inline tWav ParseWav(const std::string& b) {
  tWav out;
  if (b.size() < 44 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 8, "WAVEfmt ") != 0 ||
      b.compare(36, 4, "data") != 0 || Le16(b, 20) != 1)
    return out;
  out.Channels = Le16(b, 22);
  out.Rate = static_cast<int>(Le32(b, 24));
  out.Bits = Le16(b, 34);
  size_t bytes = std::min<size_t>(Le32(b, 40), b.size() - 44);
  out.Samples.resize(bytes / 2);
  if (!out.Samples.empty()) std::memcpy(out.Samples.data(), b.data() + 44, out.Samples.size() * 2);
  return out;
}

// Ogg page checksum (polynomial 0x04c11db7, no reflection), over the page with its checksum field zeroed.
inline uint32_t OggCrc(const std::string& page) {
  uint32_t crc = 0;
  for (unsigned char c : page) {
    crc ^= static_cast<uint32_t>(c) << 24;
    for (int k = 0; k < 8; ++k) crc = crc & 0x80000000u ? (crc << 1) ^ 0x04c11db7u : crc << 1;
  }
  return crc;
}

// Size of the page starting at `at` (header and body); 0 when the bytes end inside its header.
inline size_t PageSize(const std::string& file, size_t at) {
  if (at + 27 > file.size()) return 0;
  size_t segments = static_cast<uint8_t>(file[at + 26]);
  if (at + 27 + segments > file.size()) return 0;
  size_t size = 27 + segments;
  for (size_t s = 0; s < segments; ++s) size += static_cast<uint8_t>(file[at + 27 + s]);
  return size;
}

// The pages of an Ogg file, whole, in order.
inline std::vector<std::string> SplitPages(const std::string& bytes) {
  std::vector<std::string> pages;
  for (size_t at = 0, size; (size = PageSize(bytes, at)) > 0 && at + size <= bytes.size(); at += size)
    pages.push_back(bytes.substr(at, size));
  return pages;
}

inline int64_t PageGranule(const std::string& page) {
  uint64_t granule = 0;
  for (int i = 7; i >= 0; --i)
    granule = (granule << 8) | static_cast<uint8_t>(page[6 + static_cast<size_t>(i)]);
  return static_cast<int64_t>(granule);
}

// Recomputes the checksum of the page starting at `at` after its bytes were changed.
inline void MendPageCrc(std::string& file, size_t at = 0) {
  size_t size = PageSize(file, at);
  std::memset(&file[at + 22], 0, 4);
  uint32_t crc = OggCrc(file.substr(at, size));
  for (int k = 0; k < 4; ++k) file[at + 22 + static_cast<size_t>(k)] = static_cast<char>(crc >> (8 * k));
}

// Gives a whole page another serial number (its checksum mended).
inline void SetPageSerial(std::string& page, uint32_t serial) {
  for (int k = 0; k < 4; ++k) page[14 + static_cast<size_t>(k)] = static_cast<char>(serial >> (8 * k));
  MendPageCrc(page);
}

// Overwrites `length` bytes starting `skip` bytes after the first occurrence of `marker` with `fill`, then
// mends the checksum of the page holding it, so the damage reaches the codec instead of being dropped by the
// page layer. False when the marker is not found or the damage would leave the page.
inline bool DamageAfter(std::string& file, const std::string& marker, size_t skip, size_t length, char fill) {
  size_t at = file.find(marker);
  if (at == std::string::npos) return false;
  size_t page = file.rfind("OggS", at);
  if (page == std::string::npos || PageSize(file, page) == 0) return false;
  if (at + skip + length > page + PageSize(file, page)) return false;
  std::memset(&file[at + skip], fill, length);
  MendPageCrc(file, page);
  return true;
}

// Mean peak signal-to-noise ratio in dB of decoded pictures against the encoded ones (99 for an exact
// picture); 0 when the counts or sizes differ.
inline double MeanPsnr(const std::vector<std::string>& decoded, const std::vector<std::string>& original) {
  if (decoded.size() != original.size() || decoded.empty()) return 0;
  double total = 0;
  for (size_t f = 0; f < decoded.size(); ++f) {
    const std::string &a = decoded[f], &b = original[f];
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      const double d = static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i]);
      sum += d * d;
    }
    const double mse = sum / static_cast<double>(a.size());
    total += mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
  }
  return total / static_cast<double>(decoded.size());
}

// Level of one frequency in one channel of interleaved 16-bit sound (Goertzel; 0.5 for a full-scale sine).
inline double ToneLevel(const std::vector<int16_t>& samples, int channels, int channel, double rate,
                        double hz) {
  const size_t frames = samples.size() / static_cast<size_t>(channels);
  if (frames == 0) return 0;
  const double coeff = 2 * std::cos(2 * M_PI * hz / rate);
  double q1 = 0, q2 = 0;
  for (size_t i = 0; i < frames; ++i) {
    double q0 =
        coeff * q1 - q2 + samples[i * static_cast<size_t>(channels) + static_cast<size_t>(channel)] / 32768.0;
    q2 = q1;
    q1 = q0;
  }
  return std::sqrt(q1 * q1 + q2 * q2 - coeff * q1 * q2) / static_cast<double>(frames);
}

// Signal-to-noise ratio in dB of `got` against `want`, sample by sample, from value `from` on, over at most
// `count` values (the shorter one decides otherwise).
inline double SnrDb(const std::vector<int16_t>& want, const std::vector<int16_t>& got, size_t from = 0,
                    size_t count = SIZE_MAX) {
  const size_t end = std::min({want.size(), got.size(), from + std::min(count, SIZE_MAX - from)});
  double err = 0, sig = 0;
  for (size_t i = from; i < end; ++i) {
    double d = static_cast<double>(got[i]) - want[i];
    err += d * d;
    sig += static_cast<double>(want[i]) * want[i];
  }
  return 10 * std::log10(std::max(sig, 1.0) / std::max(err, 1.0));
}

}  // namespace ktv::test
