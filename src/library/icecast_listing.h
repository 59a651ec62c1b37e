// The public Icecast directory's listing (its YP XML document): a "directory" of "entry" elements, one per
// stream a server announced. Only Ogg streams are kept, as station records: "video/ogg" ones for TV,
// "audio/ogg", "application/ogg" and "audio/opus" ones for radio.
//
// Thread contract: plain functions over the caller's objects; any one thread.
#pragma once

#include <string>
#include <vector>

#include "library/player_settings.h"

namespace ktv {

class tXMLParser;

// One Ogg entry of the listing.
struct tIcecastStation {
  tRecentPlaylistEntry Station;
  bool Video = false;
};
using tIcecastStations = std::vector<tIcecastStation>;

// The category and the Format text of an entry's server_type (case and parameters such as "; codecs=opus"
// ignored). False for a type that is not Ogg.
bool ClassifyServerType(const std::string& serverType, bool& video, std::string& format);

// Whether a document's text is a whole listing: it parses, its root element is "directory", and the root's
// closing tag ends the text. The reader takes a listing cut off in the transfer without complaint, so the end
// is what tells a whole one.
bool IsIcecastListing(const std::string& text);

// The Ogg entries of a parsed listing, in document order. Name, OnNow, Genre and Bitrate come from
// server_name, current_song, genre and bitrate with their entity references decoded once (the listing is
// written by a standard XML writer: "&amp;" is "&", "&#233;" is "é" in UTF-8), each capped at
// kMaxListingText; an entry without a name is named by its listen URL. The listen URL is the only URL; an
// entry without an http or https listen URL (or with one beyond kMaxAddressBytes) is left out, and a listen
// URL listed again (ASCII case ignored) only counts the first time.
void ReadIcecastListing(const tXMLParser& xml, tIcecastStations& stations);

}  // namespace ktv
