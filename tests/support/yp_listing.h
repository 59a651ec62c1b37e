// Listings in the public Icecast directory's YP XML form, written for tests: texts go in as they stand in the
// document (entity references included), an empty field is left out of its entry.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ktv::test {

struct tYPEntry {
  tYPEntry(std::string name, std::string listenURL, std::string serverType, std::string bitrate = "",
           std::string genre = "", std::string song = "")
      : Name(std::move(name)),
        ListenURL(std::move(listenURL)),
        ServerType(std::move(serverType)),
        Bitrate(std::move(bitrate)),
        Genre(std::move(genre)),
        Song(std::move(song)) {}
  std::string Name, ListenURL, ServerType, Bitrate, Genre, Song;
};

inline std::string YPListing(const std::vector<tYPEntry>& entries) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<directory>\n";
  const auto field = [&out](const char* name, const std::string& value) {
    if (!value.empty()) out += std::string("  <") + name + ">" + value + "</" + name + ">\n";
  };
  for (const tYPEntry& e : entries) {
    out += " <entry>\n";
    field("server_name", e.Name);
    field("listen_url", e.ListenURL);
    field("server_type", e.ServerType);
    field("bitrate", e.Bitrate);
    out += "  <samplerate>44100</samplerate>\n  <channels>2</channels>\n";
    field("genre", e.Genre);
    field("current_song", e.Song);
    out += " </entry>\n";
  }
  return out + "</directory>\n";
}

}  // namespace ktv::test
