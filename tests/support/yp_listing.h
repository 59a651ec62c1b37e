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

// A small listing of every kind: one Ogg video stream, an MP3 stream, Ogg radio announced twice (the second
// time in another case), Opus radio, and Ogg radio whose bit rate is no number. The radio entries in document
// order: "Zebra Radio", "Opus Talk", "Archive".
inline const std::string& MixedYPListing() {
  static const std::string listing = YPListing({
      {"Ogg TV", "http://tv.example:8000/tv.ogv", "video/ogg", "800", "Film", "The late film"},
      {"MP3 Radio", "http://mp3.example:8000/live", "audio/mpeg", "128", "Pop", "A hit"},
      {"Zebra Radio", "http://zebra.example:8000/live.ogg", "audio/ogg", "96", "Jazz &amp; Blues",
       "Take Five"},
      {"zebra radio again", "http://ZEBRA.example:8000/live.ogg", "audio/ogg", "96", "Jazz", "Take Five"},
      {"Opus Talk", "http://opus.example:8000/talk.opus", "audio/opus", "48", "Talk", "The news at six"},
      {"Archive", "http://archive.example/old.ogg", "application/ogg", "x", "Spoken", ""},
  });
  return listing;
}

}  // namespace ktv::test
