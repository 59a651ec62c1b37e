// The current programme: an ordered list of stream URLs or files with their texts, read from M3U (with
// #EXTINF), PLS and XSPF text, or made from one directly opened file or URL.
//
// Thread contract: user-interface thread only (the command-line program uses it from its main thread).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ktv {

struct tPlayListEntry {
  std::string Location;    // stream URL or file name, as written in the list
  std::string Title;       // display title; empty when unknown
  std::string Annotation;  // "Local File" / "Ogg File" for a directly opened item; the XSPF annotation
  std::string Genre;       // XSPF only
  std::string Info;        // XSPF only
  int64_t Duration = -1;   // seconds; -1 when unknown (XSPF tracks without a duration give 0)
};

// Playlist files larger than this are refused: no list is that long, and the whole text is held in memory.
constexpr size_t kMaxPlaylistBytes = 16u << 20;

class tPlaylist {
 public:
  int Count() const { return static_cast<int>(Items.size()); }
  const tPlayListEntry& operator[](int index) const { return Items[static_cast<size_t>(index)]; }
  tPlayListEntry& operator[](int index) { return Items[static_cast<size_t>(index)]; }
  void Clear() { Items.clear(); }
  void Add(const tPlayListEntry& entry) { Items.push_back(entry); }

  // Clears the list and adds one entry for a directly opened file or URL.
  void SetSingleEntry(const std::string& name);
  // True when the file was read as a playlist; false when it is an Ogg file (taken as one entry), cannot be
  // read, or is larger than kMaxPlaylistBytes (the list is then empty).
  bool LoadFromFile(const std::string& fileName);
  // Clears the list and reads the text (line breaks CR LF, LF or CR).
  void LoadFromText(const std::string& text);
  // Detects the format and reads the lines; with no lines at all the list is left as it is.
  void LoadFromLines(const std::vector<std::string>& lines);

  std::vector<tPlayListEntry> Items;

 private:
  void ReadM3U(const std::vector<std::string>& lines);
  void ReadPLS(const std::vector<std::string>& lines);
  void ReadXSPF(const std::string& text);
};

// Splits text at CR LF, LF or CR; a final line break does not start another line.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace ktv
