#include "library/icecast_listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/xml_parser.h"
#include "support/yp_listing.h"

namespace ktv {
namespace {

using test::tYPEntry;
using test::YPListing;

tIcecastStations Read(const std::string& listing) {
  tXMLParser xml;
  EXPECT_TRUE(xml.Parse(listing));
  tIcecastStations stations;
  ReadIcecastListing(xml, stations);
  return stations;
}

TEST(IcecastListing, OnlyOggEntriesWithAStreamAddressEachListedOnce) {
  struct Row {
    tYPEntry Entry;
    bool Listed;
    bool Video;
    const char* Format;
    const char* Note;
  } rows[] = {
      {{"TV", "http://a.example:8000/tv.ogv", "video/ogg"}, true, true, "Ogg Video", "Ogg video is TV"},
      {{"R1", "http://a.example:8000/r1.ogg", "audio/ogg"}, true, false, "Ogg Audio", "Ogg audio is radio"},
      {{"R2", "http://a.example:8000/r2.ogg", "application/ogg"},
       true,
       false,
       "Ogg",
       "so is application/ogg"},
      {{"R3", "http://a.example:8000/r3.opus", "audio/opus"}, true, false, "Ogg Opus", "and Opus"},
      {{"R4", "https://b.example/r4", " Audio/OGG; codecs=opus "},
       true,
       false,
       "Ogg Audio",
       "case, blanks and parameters of the type do not matter; https is a stream address too"},
      {{"MP3", "http://a.example:8000/mp3", "audio/mpeg"}, false, false, "", "not Ogg"},
      {{"AAC", "http://a.example:8000/aac", "audio/aacp"}, false, false, "", "not Ogg"},
      {{"WebM", "http://a.example:8000/webm", "video/webm"}, false, false, "", "not Ogg"},
      {{"Typeless", "http://a.example:8000/x.ogg", ""}, false, false, "", "no type says nothing of Ogg"},
      {{"Homeless", "", "audio/ogg"}, false, false, "", "no listen URL"},
      {{"Blank", "   ", "audio/ogg"}, false, false, "", "a blank listen URL"},
      {{"Local", "file:///etc/passwd", "audio/ogg"},
       false,
       false,
       "",
       "a listing from the network never points the player at a local file"},
      {{"Bare", "http://", "audio/ogg"}, false, false, "", "a scheme alone"},
      {{"Again", "HTTP://A.example:8000/r1.ogg", "video/ogg"},
       false,
       false,
       "",
       "the same listen URL in another case: listed once, as it came first"},
      {{"Spaced", " http://c.example/spaced.ogg\n", "audio/ogg"},
       true,
       false,
       "Ogg Audio",
       "blanks around the address are no part of it"},
  };
  std::vector<tYPEntry> entries;
  for (const Row& row : rows) entries.push_back(row.Entry);
  const tIcecastStations stations = Read(YPListing(entries));

  size_t next = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Note);
    const bool found = next < stations.size() && stations[next].Station.Name == row.Entry.Name;
    ASSERT_EQ(found, row.Listed) << row.Entry.Name;
    if (!found) continue;
    const tIcecastStation& s = stations[next++];
    EXPECT_EQ(s.Video, row.Video);
    EXPECT_EQ(s.Station.Format, row.Format);
  }
  EXPECT_EQ(next, stations.size()) << "document order, nothing else listed";
  EXPECT_EQ(stations.back().Station.URLs, std::vector<std::string>{"http://c.example/spaced.ogg"});
}

TEST(IcecastListing, FieldsMapIntoTheStationRecord) {
  const tIcecastStations stations =
      Read(YPListing({{"Rock &amp; Roll &lt;24/7&gt;", "http://r.example:8000/live.ogg?a=1&amp;b=2",
                       "audio/ogg", "128", "Rock &amp; Pop", "Artist &quot;Live&quot; - Song"}}));
  ASSERT_EQ(stations.size(), 1u);
  const tRecentPlaylistEntry& s = stations[0].Station;
  EXPECT_EQ(s.Name, "Rock & Roll <24/7>") << "references decoded";
  EXPECT_EQ(s.URLs, std::vector<std::string>{"http://r.example:8000/live.ogg?a=1&b=2"})
      << "an escaped query would be a different address";
  EXPECT_EQ(s.Bitrate, "128");
  EXPECT_EQ(s.Genre, "Rock & Pop");
  EXPECT_EQ(s.OnNow, "Artist \"Live\" - Song");
  EXPECT_EQ(s.Description + s.ViewURL + s.Viewers, "") << "the listing has none of these";
  EXPECT_EQ(s.Stamp, 0);
}

TEST(IcecastListing, ElementNamesInAnyCaseAndOtherElementsIgnored) {
  const std::string listing =
      "<?xml version=\"1.0\"?>\n<Directory>\n"
      " <stats><entries>3</entries></stats>\n"
      " <ENTRY><Server_Name>One</Server_Name><LISTEN_URL>http://x.example/1</LISTEN_URL>"
      "<Server_Type>audio/ogg</Server_Type></ENTRY>\n"
      " <entry><server_name>Two</server_name><listen_url>http://x.example/2</listen_url>"
      "<listen_url>http://x.example/2b</listen_url><server_type>video/ogg</server_type>"
      "<current_song><![CDATA[A & B]]></current_song></entry>\n"
      "</Directory>\n";
  const tIcecastStations stations = Read(listing);
  ASSERT_EQ(stations.size(), 2u);
  EXPECT_EQ(stations[0].Station.Name, "One");
  EXPECT_EQ(stations[1].Station.URLs, std::vector<std::string>{"http://x.example/2"}) << "the first address";
  EXPECT_EQ(stations[1].Station.OnNow, "A & B") << "character data read back as written";
  EXPECT_TRUE(stations[1].Video);
}

TEST(IcecastListing, OnlyAWholeListingCounts) {
  const std::string whole = YPListing({{"One", "http://x.example/1", "audio/ogg"}});
  struct Row {
    std::string Text;
    bool Whole;
    const char* Note;
  } rows[] = {
      {whole, true, "as served"},
      {whole + "\n\n  ", true, "blanks after the end"},
      {"<?xml version=\"1.0\"?><directory></directory >", true, "an empty listing is a listing"},
      {whole.substr(0, whole.size() - 5), false, "cut inside the closing tag"},
      {whole.substr(0, whole.find("</entry>") + 8), false, "cut after an entry: the rest is missing"},
      {whole.substr(0, whole.size() / 2), false, "cut in the middle"},
      {"", false, "empty"},
      {"<html><body>Service Unavailable</body></html>", false, "an error page"},
      {"<?xml version=\"1.0\"?><dir><station/></dir>", false, "another document"},
      {whole.substr(whole.find("<directory>")), false, "no declaration: the reader takes none without"},
  };
  for (const Row& row : rows) EXPECT_EQ(IsIcecastListing(row.Text), row.Whole) << row.Note;
}

TEST(IcecastListing, TextsDecodedOnceCappedAndNeverEmpty) {
  const std::string longSong(10u << 20, 'x');
  const std::string ellipsis = "\xE2\x80\xA6";
  const struct {
    std::string Name, Song;
    std::string ShownName, ShownSong;
    const char* Note;
  } rows[] = {
      {"Caf&#233; &#8217;80s", "",
       "Caf\xC3\xA9 \xE2\x80\x99"
       "80s",
       "", "character references in UTF-8"},
      {"R&#38;amp;B", "&amp;lt;", "R&amp;B", "&lt;", "each reference decoded once"},
      {"", "", "http://a.example/live.ogg", "", "a row without a name shows its address"},
      {"  ", "", "http://a.example/live.ogg", "", "so does a blank one"},
      {"x", longSong, "x", std::string(kMaxListingText - 3, 'x') + ellipsis, "megabytes of song, cut"},
      {std::string(2000, 'a') + "&#233;", "", std::string(kMaxListingText - 3, 'a') + ellipsis, "",
       "a long name, cut"},
      {std::string(kMaxListingText - 4, 'a') + "&#233;zzz", "",
       std::string(kMaxListingText - 4, 'a') + ellipsis, "", "never through half a character"},
  };
  for (const auto& row : rows) {
    const tIcecastStations stations =
        Read(YPListing({{row.Name, "http://a.example/live.ogg", "audio/ogg", "", "", row.Song}}));
    ASSERT_EQ(stations.size(), 1u) << row.Note;
    EXPECT_EQ(stations[0].Station.Name, row.ShownName) << row.Note;
    EXPECT_EQ(stations[0].Station.OnNow, row.ShownSong) << row.Note;
  }
  const std::string longURL = "http://a.example/" + std::string(kMaxAddressBytes, 'u');
  EXPECT_TRUE(Read(YPListing({{"Long", longURL, "audio/ogg"}})).empty())
      << "a cut address would point elsewhere";
}

TEST(IcecastListing, ByteOrderMarkAndBlankLinesBeforeTheDeclaration) {
  for (const std::string lead : {"\xEF\xBB\xBF", "\n\n\r\n", "\xEF\xBB\xBF\n  \n"}) {
    const std::string listing = lead + YPListing({{"R", "http://a.example/r.ogg", "audio/ogg"}});
    EXPECT_TRUE(IsIcecastListing(listing));
    EXPECT_EQ(Read(listing).size(), 1u);
  }
}

}  // namespace
}  // namespace ktv
