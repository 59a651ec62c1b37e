#include "stream/recording_names.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace ktv {

namespace {

// user-dirs.dirs is a few hundred bytes; more is not that file.
constexpr size_t kMaxUserDirsBytes = 64 * 1024;
constexpr size_t kMaxPathBytes = 4096;

// Bytes a UTF-8 sequence starting with `lead` has (0: not a lead byte).
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool IsValidSequence(const std::string& text, size_t at, size_t length) {
  if (length == 0 || at + length > text.size()) return false;
  for (size_t i = 1; i < length; ++i)
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return false;
  if (length < 3) return true;
  const auto lead = static_cast<unsigned char>(text[at]);
  const auto next = static_cast<unsigned char>(text[at + 1]);
  // Overlong forms, UTF-16 surrogates and code points past U+10FFFF.
  if (lead == 0xE0 && next < 0xA0) return false;
  if (lead == 0xED && next >= 0xA0) return false;
  if (lead == 0xF0 && next < 0x90) return false;
  if (lead == 0xF4 && next >= 0x90) return false;
  return true;
}

// Characters that other systems (or a shell) trip over in a file name.
bool IsAwkward(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F || std::string_view("/\\:*?\"<>|`$").find(c) != std::string_view::npos;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home == '/' ? std::string(home) : std::string();
}

std::string ReadBounded(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text(kMaxUserDirsBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  return text;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

}  // namespace

std::string SafeStationName(const std::string& station) {
  std::string name;
  for (size_t i = 0; i < station.size();) {
    const size_t length = SequenceLength(static_cast<unsigned char>(station[i]));
    std::string piece;
    if (!IsValidSequence(station, i, length)) {
      piece = "_";
      i += 1;
    } else {
      piece = station.substr(i, length);
      i += length;
      if (length == 1 && IsAwkward(piece[0])) piece = "_";
    }
    if (name.size() + piece.size() > kMaxStationNameBytes) break;  // whole characters only
    name += piece;
  }
  // No hidden file, nothing a command line takes for an option, no space or dot at either end.
  const size_t first = name.find_first_not_of(". -_");
  name = first == std::string::npos ? std::string() : name.substr(first);
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  return name.empty() ? "Stream" : name;
}

std::string RecordingFileName(const std::string& station, const std::tm& start, bool video, int copy) {
  char when[64];
  std::snprintf(when, sizeof when, " %04d-%02d-%02d %02d.%02d.%02d", start.tm_year + 1900, start.tm_mon + 1,
                start.tm_mday, start.tm_hour, start.tm_min, start.tm_sec);
  std::string name = SafeStationName(station) + when;
  if (copy > 1) name += " (" + std::to_string(copy) + ")";
  return name + (video ? ".ogv" : ".ogg");
}

std::string UserDirFromText(const std::string& text, const std::string& key, const std::string& home) {
  std::string found;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    line.erase(0, first);
    if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
    // The value: one double-quoted string, with \" \\ \$ \` escapes, nothing but blanks after it.
    std::string value;
    size_t i = key.size() + 1;
    if (i >= line.size() || line[i] != '"') continue;
    bool closed = false, bad = false;
    for (++i; i < line.size() && !closed; ++i) {
      char c = line[i];
      if (c == '"') {
        closed = true;
      } else if (c == '\\' && i + 1 < line.size()) {
        value += line[++i];
      } else if (c == '\0' || c == '\r' || c == '`') {
        bad = true;
      } else {
        value += c;
      }
    }
    if (!closed || bad || line.find_first_not_of(" \t\r", i) != std::string::npos) continue;
    std::string path;
    if (value == "$HOME" || value.starts_with("$HOME/")) {
      if (home.empty()) continue;
      path = home + value.substr(5);
    } else if (value.starts_with("/")) {
      path = value;
    } else {
      continue;  // relative, or some other variable: nothing we expand
    }
    if (path.find('$') != std::string::npos || path.size() > kMaxPathBytes) continue;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    found = path;  // the last assignment counts, as for a shell
  }
  return found;
}

std::string RecordingFolder(bool video) {
  const std::string home = HomeFolder();
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  std::string config = configHome && *configHome == '/' ? std::string(configHome)
                       : home.empty()                   ? std::string()
                                                        : home + "/.config";
  if (!config.empty()) {
    std::string folder = UserDirFromText(ReadBounded(config + "/user-dirs.dirs"),
                                         video ? "XDG_VIDEOS_DIR" : "XDG_MUSIC_DIR", home);
    if (IsFolder(folder)) return folder;
  }
  return IsFolder(home) ? home : std::string();
}

}  // namespace ktv
