#include "library/playlist.h"

#include <filesystem>
#include <fstream>
#include <unordered_map>

#include "net/xml_parser.h"
#include "platform/text.h"

namespace ktv {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

void tPlaylist::SetSingleEntry(const std::string& name) {
  Clear();
  tPlayListEntry entry;
  entry.Location = name;
  std::error_code ec;
  bool localFile = std::filesystem::is_regular_file(name, ec);
  // A URL keeps everything after its scheme's colon ("//host/live.ogg"); a local file shows its file name.
  size_t cut = name.find_last_of(localFile ? "\\:/" : "\\:");
  entry.Title = cut == std::string::npos ? name : name.substr(cut + 1);
  entry.Duration = -1;
  entry.Annotation = (localFile || StartsWithText(name, "file://")) ? "Local File" : "Ogg File";
  Add(entry);
}

bool tPlaylist::LoadFromFile(const std::string& fileName) {
  Clear();
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 4 || static_cast<uint64_t>(size) > kMaxPlaylistBytes) return false;
  in.seekg(0);
  std::string text(static_cast<size_t>(size), '\0');
  in.read(text.data(), size);
  if (in.gcount() != size) return false;

  if (text.compare(0, 4, "OggS") == 0) {
    tPlayListEntry entry;
    entry.Location = fileName;
    Add(entry);
    return false;
  }
  LoadFromLines(SplitLines(text));
  return true;
}

void tPlaylist::LoadFromText(const std::string& text) {
  Clear();
  LoadFromLines(SplitLines(text));
}

void tPlaylist::LoadFromLines(const std::vector<std::string>& lines) {
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string upper = UpperCase(lines[i]);
    if (upper.find("<PLAYLIST") != std::string::npos || upper.find("<?XML") != std::string::npos) {
      std::string text;
      for (const std::string& line : lines) text += line + "\r\n";
      ReadXSPF(text);
      return;
    }
    if (TrimText(upper) == "[PLAYLIST]") {
      std::vector<std::string> section;
      for (size_t k = i + 1; k < lines.size(); ++k) {
        std::string trimmed = TrimText(lines[k]);
        if (!trimmed.empty() && trimmed[0] == '[') break;
        section.push_back(lines[k]);
      }
      ReadPLS(section);
      return;
    }
  }
  ReadM3U(lines);
}

void tPlaylist::ReadM3U(const std::vector<std::string>& lines) {
  std::string title;
  int64_t length = -1;
  for (const std::string& line : lines) {
    if (StartsWithText(line, "#EXTINF")) {
      std::string info = line.size() > 8 ? line.substr(8) : std::string();
      size_t comma = info.find(',');
      if (comma != std::string::npos) {
        if (!ParseInteger(TrimText(info.substr(0, comma)), length)) length = -1;
        title = TrimText(info.substr(comma + 1));
      }
      continue;
    }
    if (!line.empty() && line[0] == '#') continue;  // other comments keep the pending values
    tPlayListEntry entry;
    entry.Location = TrimText(line);
    entry.Title = title;
    entry.Duration = length;
    Add(entry);
    title.clear();
    length = -1;
  }
}

void tPlaylist::ReadPLS(const std::vector<std::string>& lines) {
  // First line wins for each key; looked up once instead of scanning the lines for every key.
  std::unordered_map<std::string, std::string> values;
  for (const std::string& line : lines) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    values.emplace(UpperCase(line.substr(0, eq)), TrimText(line.substr(eq + 1)));
  }
  auto value = [&values](const std::string& key) {
    auto it = values.find(UpperCase(key));
    return it == values.end() ? std::string() : it->second;
  };
  int64_t count;
  if (!ParseInteger(value("NumberOfEntries"), count)) return;
  // An entry needs a line of its own, so no more can exist than there are lines (a huge count must not hang).
  count = std::min<int64_t>(count, static_cast<int64_t>(lines.size()));
  for (int64_t i = 1; i <= count; ++i) {
    std::string n = std::to_string(i);
    int64_t length;
    if (!ParseInteger(value("Length" + n), length)) continue;
    std::string file = value("File" + n);
    if (file.empty()) continue;
    tPlayListEntry entry;
    entry.Location = file;
    entry.Title = value("Title" + n);
    entry.Duration = length;
    Add(entry);
  }
}

void tPlaylist::ReadXSPF(const std::string& text) {
  Clear();
  tXMLParser xml;
  xml.Parse(text);
  for (int k = 0;; ++k) {
    std::string path = "playlist.tracklist.track{" + std::to_string(k) + "}";
    if (!xml.Exists(path)) break;
    tPlayListEntry entry;
    entry.Location = xml.GetValue(path + ".location");
    entry.Title = xml.GetValue(path + ".title");
    entry.Annotation = xml.GetValue(path + ".annotation");
    int32_t duration;
    entry.Duration = ParseInteger(TrimText(xml.GetValue(path + ".duration")), duration) ? duration : 0;
    entry.Info = xml.GetValue(path + ".info");
    entry.Genre = xml.GetValue(path + ".genre");
    if (entry.Info.empty()) entry.Info = xml.GetValue("playlist.info");
    if (entry.Title.empty()) entry.Title = xml.GetValue("playlist.title");
    if (entry.Annotation.empty()) entry.Annotation = xml.GetValue("playlist.annotation");
    Add(entry);
  }
}

}  // namespace ktv
