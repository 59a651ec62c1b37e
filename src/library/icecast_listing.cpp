#include "library/icecast_listing.h"

#include <unordered_set>

#include "net/xml_parser.h"
#include "platform/text.h"

namespace ktv {

namespace {

struct tOggType {
  const char* ServerType;
  bool Video;
  const char* Format;
};

constexpr tOggType kOggTypes[] = {
    {"video/ogg", true, "Ogg Video"},
    {"audio/ogg", false, "Ogg Audio"},
    {"application/ogg", false, "Ogg"},
    {"audio/opus", false, "Ogg Opus"},
};

constexpr const char* kRoot = "directory";
constexpr const char* kEntry = "entry";

// The element name of a child key ("entry{12}" gives "entry").
std::string KeyName(const std::string& key) {
  return key.substr(0, key.rfind('{'));
}

// The decoded text of an entry's first child of that name, capped at maxBytes; empty when it has none.
std::string Field(const tXMLTree& entry, const char* name, size_t maxBytes = kMaxListingText) {
  const tXMLTree* child = entry.FindChild(std::string(name) + "{0}");
  if (!child) return {};
  // Most texts hold no reference at all: they need no second copy. A text of megabytes is cut before it is
  // decoded (decoding only shortens it).
  const std::string& text = child->Text;
  const std::string raw = text.size() > 2 * maxBytes ? text.substr(0, 2 * maxBytes) : text;
  return CapText(raw.find('&') == std::string::npos ? raw : XMLUnescape(raw), maxBytes);
}

// Only what the player fetches from a server: a listing from the network must not point it at local files.
bool IsStreamAddress(const std::string& url) {
  for (const std::string scheme : {"http://", "https://"})
    if (url.size() > scheme.size() && StartsWithText(url, scheme)) return true;
  return false;
}

}  // namespace

bool ClassifyServerType(const std::string& serverType, bool& video, std::string& format) {
  const std::string type = TrimText(serverType.substr(0, serverType.find(';')));
  for (const tOggType& known : kOggTypes) {
    if (SameText(type, known.ServerType)) {
      video = known.Video;
      format = known.Format;
      return true;
    }
  }
  return false;
}

bool IsIcecastListing(const std::string& text) {
  tXMLParser xml;
  if (text.empty() || !xml.Parse(text) || !xml.Exists(kRoot)) return false;
  // The last tag must close the root: "</directory>" with blanks allowed before ">" and after it.
  const std::string end = TrimText(text);
  const size_t open = end.rfind("</");
  if (open == std::string::npos || end.back() != '>') return false;
  return SameText(TrimText(end.substr(open + 2, end.size() - open - 3)), kRoot);
}

void ReadIcecastListing(const tXMLParser& xml, tIcecastStations& stations) {
  stations.clear();
  const tXMLTree* root = xml.Root->FindChild(std::string(kRoot) + "{0}");
  if (!root) return;
  std::unordered_set<std::string> listed;  // lower-cased listen URLs
  for (size_t i = 0; i < root->Children.size(); ++i) {
    if (!SameText(KeyName(root->ChildNames[i]), kEntry)) continue;
    const tXMLTree& entry = *root->Children[i];
    tIcecastStation station;
    if (!ClassifyServerType(Field(entry, "server_type"), station.Video, station.Station.Format)) continue;
    // An address is never cut (it would point elsewhere): a longer one leaves the entry out.
    const std::string url = TrimText(Field(entry, "listen_url", 2 * kMaxAddressBytes));
    if (url.size() > kMaxAddressBytes || !IsStreamAddress(url) || !listed.insert(LowerCase(url)).second)
      continue;
    tRecentPlaylistEntry& s = station.Station;
    s.Name = Field(entry, "server_name");
    if (TrimText(s.Name).empty()) s.Name = CapText(url, kMaxListingText);  // a row must show something
    s.OnNow = Field(entry, "current_song");
    s.Genre = Field(entry, "genre");
    s.Bitrate = Field(entry, "bitrate");
    s.URLs.push_back(url);
    stations.push_back(std::move(station));
  }
}

}  // namespace ktv
