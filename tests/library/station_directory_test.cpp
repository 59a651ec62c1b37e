#include "library/station_directory.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "library/download.h"
#include "net/xml_parser.h"
#include "support/script_server.h"
#include "support/test_authority.h"
#include "support/test_support.h"
#include "support/yp_listing.h"

namespace ktv {
namespace {

namespace fs = std::filesystem;

std::string Compress(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(size, '\0');
  EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
                     static_cast<uLong>(text.size())),
            Z_OK);
  out.resize(size);
  return out;
}

const std::string kDirectoryXML =
    "<?xml version=\"1.0\"?>\n<dir>\n"
    " <kestrovaplayer><version>9.0.0.0</version></kestrovaplayer>\n"
    " <station><name>TV One</name><description>news</description><genre>talk</genre><url>http://one</url>"
    "<bitrate>300</bitrate><playing>Headlines</playing><listeners>12</listeners><capacity>100</capacity>"
    "<codecs>vorbis TheOra</codecs><servers><url>http://s/1</url><url>http://s/2</url><url>http://s/3</url>"
    "</servers></station>\n"
    " <station><name>Radio "
    "A</name><codecs>Vorbis</codecs><servers><url>http://r/a</url></servers></station>\n"
    " <station><name>Radio B</name><description>R&amp;B</description></station>\n"
    " <station><name>TV Two</name><codecs>THEORA</codecs></station>\n"
    "</dir>\n";

class tRecordingPrompts : public tDirectoryPrompts {
 public:
  void ShowWarning(const std::string& title, const std::string& text) override {
    Warnings.push_back(title + "|" + text);
  }
  bool AskYesNo(const std::string& title, const std::string& text) override {
    Questions.push_back(title + "|" + text);
    return Answer;
  }
  void OpenWebPage(const std::string& url) override { Pages.push_back(url); }
  std::vector<std::string> Warnings, Questions, Pages;
  bool Answer = false;
};

std::vector<std::string> Names(const tStationList& list) {
  std::vector<std::string> out;
  for (const auto& e : list) out.push_back(e->Name);
  return out;
}

TEST(StationDirectory, StationMappings) {
  tXMLParser xml;
  ASSERT_TRUE(xml.Parse(kDirectoryXML));
  tStationList tv, radio, channels;
  ReadStationList(xml, true, true, tv);
  ReadStationList(xml, true, false, radio);
  ReadStationList(xml, false, false, channels);
  EXPECT_EQ(Names(tv), (std::vector<std::string>{"TV One (news)", "TV Two"}))
      << "THEORA in any case is video";
  EXPECT_EQ(Names(radio), (std::vector<std::string>{"Radio A", "Radio B (R&amp;B)"}))
      << "no codecs is radio; entities stay as written";
  EXPECT_EQ(Names(channels), (std::vector<std::string>{"TV One", "Radio A", "Radio B", "TV Two"}));

  const tRecentPlaylistEntry& one = *tv[0];
  EXPECT_EQ(one.URLs, (std::vector<std::string>{"http://s/1", "http://s/2", "http://s/3"}));
  EXPECT_EQ(one.Description, "news");
  EXPECT_EQ(one.Genre, "talk");
  EXPECT_EQ(one.ViewURL, "http://one");
  EXPECT_EQ(one.Bitrate, "300");
  EXPECT_EQ(one.OnNow, "Headlines");
  EXPECT_EQ(one.Viewers, "12/100");
  EXPECT_EQ(one.Format, "vorbis TheOra");
  EXPECT_EQ(one.Stamp, 0);

  const tRecentPlaylistEntry& channel = *channels[0];
  EXPECT_EQ(channel.Format, "Video");
  EXPECT_EQ(channel.Bitrate + channel.OnNow + channel.Viewers, "");
  EXPECT_EQ(channel.URLs.size(), 3u);
}

TEST(StationDirectory, RefreshRule) {
  const double now = 45000.0, minute = 1.0 / 1440, hour = 1.0 / 24;
  struct Row {
    double Stamp;
    bool Directory;
    bool Stale;
    const char* Note;
  } rows[] = {
      {now - 59 * minute, true, false, "within the hour"},
      {now - 60.9 * minute, true, false, "60 whole minutes is not yet stale"},
      {now - 61 * minute, true, true, "61 minutes is stale"},
      {now + 2 * hour, true, true, "clock set back two hours: the age is absolute"},
      {0, true, true, "never downloaded"},
      {NAN, true, true, "no number"},
      {now - 24.9 * hour, false, false, "channel list: 24 whole hours is fresh"},
      {now - 25 * hour, false, true, "channel list: 25 hours is stale"},
  };
  for (const Row& row : rows) {
    bool stale = row.Directory ? IsStale(row.Stamp, now, 1440, 60) : IsStale(row.Stamp, now, 24, 24);
    EXPECT_EQ(stale, row.Stale) << row.Note;
  }
}

TEST(StationDirectory, VersionNumbers) {
  struct Row {
    std::string Text;
    int64_t Number;
    const char* Note;
  } rows[] = {
      {"1.1.2.53", (int64_t{1} << 48) | (int64_t{1} << 32) | (2 << 16) | 53, "four 16-bit fields"},
      {"", 0, "empty text"},
      {"1.2.3.x", (int64_t{1} << 48) | (int64_t{2} << 32) | (3 << 16), "non-numeric last part is 0"},
      {"1.b.3.4", (int64_t{1} << 48) | (3 << 16) | 4, "non-numeric earlier part is 0 as well"},
      {"2", 2, "one part"},
  };
  for (const Row& row : rows) EXPECT_EQ(VersionToNumber(row.Text), row.Number) << row.Note;
  EXPECT_GT(VersionToNumber("1.0.0.10"), VersionToNumber("1.0.0.9"));
  EXPECT_GT(VersionToNumber("2.0.0.0"), VersionToNumber("1.65535.65535.65535"));
}

TEST(StationDirectory, CacheDocuments) {
  test::tTempDir dir;
  std::string file = dir.File("cache");
  struct Row {
    std::string Bytes;
    bool HasStations;
    const char* Note;
  } rows[] = {
      {kDirectoryXML, true, "plain XML"},
      {"<?XML version=\"1.0\"?><dir><station><name>x</name></station></dir>", true, "upper-case declaration"},
      {Compress(kDirectoryXML), true, "zlib"},
      {Compress(kDirectoryXML).substr(0, 40), false, "truncated zlib"},
      {"garbage that is no zlib", false, "damaged"},
      {"", false, "empty file"},
      {Compress("<?xml version=\"1.0\"?><dir><station><name>x</name></station></dir>" +
                std::string(kMaxDocumentBytes, ' ')),
       false, "inflates beyond the bound: refused"},
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(test::WriteFile(file, row.Bytes));
    tXMLParser xml;
    xml.Parse(ReadCacheDocument(file));
    tStationList stations;
    ReadStationList(xml, false, false, stations);
    EXPECT_EQ(!stations.empty(), row.HasStations) << row.Note;
  }
  EXPECT_EQ(ReadCacheDocument(dir.File("missing")), "");
}

// The directory with the real transfer: each download is served by a loopback server made for it, answering
// with the fixture's document (or 404 when Serve is false). The requested URL is recorded, then redirected
// there.
class tQuietView : public tDownloadView {
 public:
  void ShowText(const std::string&, const std::string&) override {}
  void Idle() override {}
  bool CancelRequested() override { return false; }
  void Finished() override {}
};

class DirectoryFlow : public ::testing::Test {
 protected:
  void SetUp() override { Settings.LoadSettings(); }
  tStationDirectory Make(tReadIdle idle = {}) {
    auto fetch = [this](const std::string& heading, const std::string& caption, const std::string& url,
                        std::ostream& out) {
      Fetched.push_back(url + "|" + caption + "|" + heading);
      test::tScriptServer server(
          {test::ReadRequest(),
           test::Send(Serve ? "HTTP/1.0 200 OK\r\n\r\n" + Document : "HTTP/1.0 404 Not Found\r\n\r\nmissing"),
           test::Close()});
      size_t path = url.find('/', url.find("//") + 2);
      bool ok = DownloadToStream(View, heading, caption, server.URL(url.substr(path)), out);
      Requests.push_back(server.Received(0));
      return ok;
    };
    tStationDirectory directory(Settings, fetch, Prompts, Dir.Path() + "/", std::move(idle));
    directory.ProgramVersion = "1.0.0.1";
    return directory;
  }
  std::string Cache(const char* name) const { return Dir.File(name); }

  test::tTempDir Dir;
  tPlayerSettings Settings{Dir.File("settings")};
  tRecordingPrompts Prompts;
  tQuietView View;
  std::vector<std::string> Fetched, Requests;
  bool Serve = true;
  std::string Document = Compress(kDirectoryXML);
};

TEST_F(DirectoryFlow, DownloadsWhenStaleOnly) {
  Settings.DirectoryServer = "http://127.0.0.1:9/";
  tStationDirectory directory = Make();
  directory.LoadDirectory(true);
  ASSERT_EQ(Fetched.size(), 1u);
  EXPECT_EQ(
      Fetched[0],
      "http://127.0.0.1:9/dynamic/streams.dat|Directory List Update|Please wait whilst the directory is "
      "downloaded...");
  EXPECT_NE(Requests[0].find("GET /dynamic/streams.dat HTTP/1.1"), std::string::npos);
  EXPECT_EQ(Names(directory.Stations), (std::vector<std::string>{"TV One (news)", "TV Two"}));
  EXPECT_EQ(test::ReadFile(Cache(kDirectoryCacheName)), Document) << "the zlib document is cached as it came";
  EXPECT_FALSE(fs::exists(Cache(kDirectoryCacheName) + std::string(".new"))) << "moved over the cache";
  EXPECT_LT(std::fabs(Settings.strrefresh - NowUTC()), 1.0 / 1440);
  tPlayerSettings saved(Dir.File("settings"));
  saved.LoadSettings();
  EXPECT_EQ(saved.strrefresh, Settings.strrefresh) << "the stamp is saved";

  directory.LoadDirectory(false);
  EXPECT_EQ(Fetched.size(), 1u) << "no second download within the hour";
  EXPECT_EQ(Names(directory.Stations), (std::vector<std::string>{"Radio A", "Radio B (R&amp;B)"}));

  fs::remove(Cache(kDirectoryCacheName));
  directory.LoadDirectory(false);
  EXPECT_EQ(Fetched.size(), 2u) << "a missing cache downloads at once whatever the stamp";

  Settings.strrefresh = NowUTC() + 2.0 / 24;
  directory.LoadDirectory(false);
  EXPECT_EQ(Fetched.size(), 3u) << "clock set back two hours";

  // The caller owns what it got: changing it changes nothing the next load gives.
  directory.Stations[0]->Name = "changed by the window";
  directory.LoadDirectory(false);
  EXPECT_EQ(Names(directory.Stations), (std::vector<std::string>{"Radio A", "Radio B (R&amp;B)"}));

  // An hour and a minute later the directory has changed: the new one is read, not the one kept.
  Settings.strrefresh = NowUTC() - 61.0 / 1440;
  Document = Compress(
      "<?xml version=\"1.0\"?>\n<dir><station><name>New Radio</name></station>"
      "<station><name>New TV</name><codecs>theora</codecs></station></dir>\n");
  directory.LoadDirectory(false);
  EXPECT_EQ(Fetched.size(), 4u);
  EXPECT_EQ(Names(directory.Stations), std::vector<std::string>{"New Radio"});
  directory.LoadDirectory(true);
  EXPECT_EQ(Names(directory.Stations), std::vector<std::string>{"New TV"});
  EXPECT_TRUE(Prompts.Warnings.empty());
}

TEST_F(DirectoryFlow, FailedDirectoryDownloadReadsTheOldCache) {
  Document = kDirectoryXML;
  tStationDirectory directory = Make();
  directory.LoadDirectory(false);
  ASSERT_EQ(directory.Stations.size(), 2u);
  Settings.strrefresh = 0;
  Serve = false;
  double stamp = Settings.strrefresh;
  directory.LoadDirectory(false);
  EXPECT_EQ(Fetched.size(), 2u);
  EXPECT_EQ(
      Prompts.Warnings,
      std::vector<std::string>{"Error|An error occured downloading the directory.  Please try again later."});
  EXPECT_EQ(directory.Stations.size(), 2u) << "the old cache is still read";
  EXPECT_EQ(Settings.strrefresh, stamp) << "a failure leaves the stamp";
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(Dir.Path()))
    if (entry.path().filename().string().rfind("settings", 0) != 0) files.push_back(entry.path().filename());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, std::vector<std::string>{kDirectoryCacheName}) << "no temporary file stays";
}

TEST_F(DirectoryFlow, FailedDownloadWaitsBeforeTheNextTry) {
  double now = NowUTC();
  const auto load = [&](int document, tStationDirectory& directory) {
    if (document == 0) directory.LoadDirectory(false);
    if (document == 1) directory.LoadChannelList();
    if (document == 2) directory.LoadIcecastDirectory(false);
  };
  for (int document = 0; document < 3; ++document) {
    SCOPED_TRACE(document);
    Fetched.clear();
    Prompts.Warnings.clear();
    Document = document == 2 ? test::MixedYPListing() : kDirectoryXML;
    Serve = true;
    tStationDirectory directory = Make();
    directory.Now = [&now] { return now; };
    load(document, directory);
    ASSERT_EQ(Fetched.size(), 1u);
    const size_t stations = directory.Stations.size();

    // A web page instead of the document: refused once, shown once.
    Document = "<html><body>Login to this network</body></html>";
    Settings.strrefresh = Settings.visrefresh = Settings.icerefresh = now - 2;
    load(document, directory);
    EXPECT_EQ(Fetched.size(), 2u);
    EXPECT_EQ(Prompts.Warnings.size(), 1u);
    const double failed = now;
    for (double minutes : {0.0, 1.0, 9.9}) {
      now = failed + minutes / 1440;
      load(document, directory);  // a filter pause, a category switch
      EXPECT_EQ(Fetched.size(), 2u) << minutes << " minutes after: not again yet";
      EXPECT_EQ(Prompts.Warnings.size(), 1u) << "nor the error";
      if (document != 1) {
        EXPECT_EQ(directory.Stations.size(), stations) << "the old cache serves";
      }
    }
    now = failed + 10.0 / 1440;
    Document = document == 2 ? test::MixedYPListing() : kDirectoryXML;
    load(document, directory);
    EXPECT_EQ(Fetched.size(), 3u) << "tried again after ten minutes";
    EXPECT_EQ(Prompts.Warnings.size(), 1u);
    load(document, directory);
    EXPECT_EQ(Fetched.size(), 3u) << "and fresh after that";
  }
}

TEST_F(DirectoryFlow, PlantedFilesAreNeverFollowedNorInTheWay) {
  // Whatever another user, or a crash, left under the names a download once used.
  test::tTempDir other;
  const std::string victim = other.File("victim");
  ASSERT_TRUE(test::WriteFile(victim, "precious"));
  fs::create_symlink(victim, Cache(kDirectoryCacheName) + std::string(".new"));
  ASSERT_TRUE(test::WriteFile(Cache(kDirectoryCacheName) + std::string(".XXXXXX"), "left over"));
  tStationDirectory directory = Make();
  directory.LoadDirectory(true);
  EXPECT_TRUE(Prompts.Warnings.empty());
  EXPECT_EQ(Names(directory.Stations), (std::vector<std::string>{"TV One (news)", "TV Two"}));
  EXPECT_EQ(test::ReadFile(victim), "precious");
  EXPECT_EQ(test::ReadFile(Cache(kDirectoryCacheName)), Document);
}

TEST_F(DirectoryFlow, StampIsSavedOnlyWithTheNewCacheInPlace) {
  // A cache name that cannot be replaced (a folder with something in it): the download arrives whole, but
  // the cache is not renewed, so the stamp must not say it was.
  fs::create_directories(Cache(kChannelCacheName) + std::string("/x"));
  Document = kDirectoryXML;
  tStationDirectory directory = Make();
  EXPECT_FALSE(directory.LoadChannelList());
  EXPECT_EQ(Fetched.size(), 1u);
  EXPECT_EQ(Settings.visrefresh, 0);
  tPlayerSettings saved(Dir.File("settings"));
  saved.LoadSettings();
  EXPECT_EQ(saved.visrefresh, 0);
  EXPECT_EQ(Prompts.Warnings.size(), 1u);
}

TEST(CacheFolder, PrivatePerUserFolder) {
  test::tTempDir home;
  test::tScopedEnv cacheHome("XDG_CACHE_HOME", home.File("cache"));
  const std::string folder = home.File("cache") + "/kestrova";
  EXPECT_EQ(GetCacheFolder(), folder + "/");
  EXPECT_EQ(GetTempFolder(), folder + "/") << "the directory window's caches go there too";
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);

  fs::permissions(folder, fs::perms::all);
  EXPECT_EQ(GetCacheFolder(), folder + "/");
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all) << "made private again";

  fs::remove(folder);
  fs::create_directories(home.File("elsewhere"));
  fs::create_directory_symlink(home.File("elsewhere"), folder);
  EXPECT_EQ(GetCacheFolder(), "") << "a planted link is no folder of ours";

  test::tScopedEnv relative("XDG_CACHE_HOME", "relative/cache");
  test::tScopedEnv homeEnv("HOME", home.Path());
  EXPECT_EQ(GetCacheFolder(), home.File(".cache/kestrova/")) << "a relative value is ignored";
}

TEST(StationDirectory, TextsCappedAndNeverEmpty) {
  const std::string ellipsis = "\xE2\x80\xA6";
  tXMLParser xml;
  ASSERT_TRUE(
      xml.Parse("\xEF\xBB\xBF\n\n<?xml version=\"1.0\"?><dir>"
                "<station><name></name><codecs>theora</codecs><servers><url>http://s/1</url></servers>"
                "<playing>" +
                std::string(1u << 20, 'p') +
                "</playing></station>"
                "<station><name>Long</name><codecs>theora</codecs><servers><url>http://" +
                std::string(kMaxAddressBytes, 'h') +
                "</url><url>http://s/2</url></servers></station>"
                "</dir>"));
  tStationList tv;
  ReadStationList(xml, true, true, tv);
  ASSERT_EQ(tv.size(), 2u) << "a byte-order mark and blank lines before the declaration";
  EXPECT_EQ(tv[0]->Name, "http://s/1") << "no name: its address";
  EXPECT_EQ(tv[0]->OnNow, std::string(kMaxListingText - 3, 'p') + ellipsis);
  EXPECT_EQ(tv[1]->URLs, std::vector<std::string>{"http://s/2"})
      << "an address too long to keep whole is left out";
}

TEST(StationDirectory, PlainCacheAfterAByteOrderMark) {
  for (const std::string lead : {"\xEF\xBB\xBF", "\r\n\r\n", "\xEF\xBB\xBF\n"})
    EXPECT_EQ(DocumentFromCacheBytes(lead + kDirectoryXML), lead + kDirectoryXML)
        << "read as plain, not inflated";
}

TEST_F(DirectoryFlow, ChannelList) {
  Settings.WebSite = "http://127.0.0.1:8";
  Document = kDirectoryXML;
  tStationDirectory directory = Make();
  ASSERT_TRUE(directory.LoadChannelList());
  ASSERT_EQ(Fetched.size(), 1u);
  EXPECT_EQ(Fetched[0].substr(0, Fetched[0].find('|')), "http://127.0.0.1:8/streams.php");
  EXPECT_EQ(directory.Stations.size(), 4u);
  EXPECT_TRUE(Prompts.Questions.empty()) << "the channel list offers no version";
  ASSERT_TRUE(directory.LoadChannelList());
  EXPECT_EQ(Fetched.size(), 1u) << "fresh for 24 hours";

  Settings.visrefresh = NowUTC() - 25.0 / 24;
  Serve = false;
  EXPECT_FALSE(directory.LoadChannelList());
  EXPECT_EQ(Prompts.Warnings,
            std::vector<std::string>{"Error|An error occured downloading the Kestrova channel "
                                     "list.  Please try again later."});
  EXPECT_EQ(directory.Stations.size(), 4u) << "a failed channel list is not read at all";
}

TEST_F(DirectoryFlow, DamagedCacheGivesNoStations) {
  ASSERT_TRUE(test::WriteFile(Cache(kDirectoryCacheName), "\x78\x9c garbage"));
  Settings.strrefresh = NowUTC();  // fresh: read as it is, no download
  tStationDirectory directory = Make();
  directory.Stations.push_back(std::make_unique<tRecentPlaylistEntry>());
  directory.LoadDirectory(true);
  EXPECT_TRUE(Fetched.empty());
  EXPECT_TRUE(directory.Stations.empty());
  EXPECT_TRUE(Prompts.Warnings.empty()) << "silently";
  EXPECT_TRUE(Prompts.Questions.empty()) << "no version element, no offer";
}

TEST_F(DirectoryFlow, BadDownloadKeepsTheOldCacheAndStamp) {
  const std::string good = Compress(kDirectoryXML);
  struct {
    std::string document;
    const char* note;
  } rows[] = {
      {good.substr(0, good.size() / 2), "cut short: the zlib stream does not end"},
      {"", "empty"},
      {"\x78\x9c garbage", "no zlib stream"},
      {"<?xml version=\"1.0\"?><html><body>Moved</body></html>", "a web page, not a directory"},
  };
  for (const auto& row : rows) {
    for (bool channelList : {false, true}) {
      Document = good;
      Prompts.Warnings.clear();
      Settings.strrefresh = Settings.visrefresh = 0;
      tStationDirectory directory = Make();
      if (channelList)
        ASSERT_TRUE(directory.LoadChannelList());
      else
        directory.LoadDirectory(true);
      const char* cache = channelList ? kChannelCacheName : kDirectoryCacheName;
      const double stamp = channelList ? Settings.visrefresh : Settings.strrefresh;
      ASSERT_GT(stamp, 0);

      Document = row.document;
      Settings.strrefresh = Settings.visrefresh = stamp - 2;  // two days old: both are stale
      if (channelList)
        EXPECT_FALSE(directory.LoadChannelList()) << row.note;
      else
        directory.LoadDirectory(true);
      EXPECT_EQ(test::ReadFile(Cache(cache)), good) << row.note << ": the old cache stays";
      EXPECT_EQ(channelList ? Settings.visrefresh : Settings.strrefresh, stamp - 2)
          << row.note << ": the stamp stays, so the next opening tries again";
      EXPECT_EQ(Prompts.Warnings.size(), 1u) << row.note << ": the failure is shown";
      if (!channelList) {
        EXPECT_EQ(directory.Stations.size(), 2u) << row.note << ": the old stations are read";
      }
    }
  }
}

TEST_F(DirectoryFlow, NewerVersionIsOfferedOnce) {
  tStationDirectory directory = Make();
  directory.LoadDirectory(true);
  ASSERT_EQ(Prompts.Questions.size(), 1u);
  EXPECT_EQ(
      Prompts.Questions[0],
      "Upgrade to Kestrova.TV Player 9.0.0.0|There is a new version of the Kestrova.TV player available.\r\n"
      "Would you like to download the new version?");
  EXPECT_TRUE(Prompts.Pages.empty()) << "answered No";
  EXPECT_EQ(Settings.LastPlayerCheck, "9.0.0.0");
  tPlayerSettings saved(Dir.File("settings"));
  saved.LoadSettings();
  EXPECT_EQ(saved.LastPlayerCheck, "9.0.0.0") << "saved before asking";
  directory.LoadDirectory(true);
  EXPECT_EQ(Prompts.Questions.size(), 1u) << "not offered again";

  Prompts.Answer = true;
  Settings.WebSite = "http://127.0.0.1:7";
  directory.CheckForNewVersion("9.0.0.1");
  EXPECT_EQ(Prompts.Pages, std::vector<std::string>{"http://127.0.0.1:7/player.php"});
  for (const char* old : {"1.0.0.1", "1.0.0.0", "0.9", ""}) directory.CheckForNewVersion(old);
  EXPECT_EQ(Prompts.Questions.size(), 2u) << "equal or lower versions never prompt";
}

TEST_F(DirectoryFlow, DownloadsFromAnHttpsServer) {
  ASSERT_TRUE(test::TestAuthority().Ready()) << test::TestAuthority().Error;
  test::tTrustTestAuthority trust;
  const test::tServerIdentity identity = test::TestAuthority().Loopback();
  test::tScriptServer secure(
      {test::ReadRequest(), test::Send("HTTP/1.0 200 OK\r\n\r\n" + Document), test::Close()},
      test::tServerOptions{false, identity.CertFile, identity.KeyFile});
  Settings.DirectoryServer = secure.URL("");
  auto fetch = [this](const std::string& heading, const std::string& caption, const std::string& url,
                      std::ostream& out) { return DownloadToStream(View, heading, caption, url, out); };
  tStationDirectory directory(Settings, fetch, Prompts, Dir.Path() + "/");
  directory.ProgramVersion = "1.0.0.1";
  directory.LoadDirectory(true);
  EXPECT_TRUE(Prompts.Warnings.empty());
  EXPECT_EQ(Names(directory.Stations), (std::vector<std::string>{"TV One (news)", "TV Two"}));
  EXPECT_NE(secure.Received(0).find("GET /dynamic/streams.dat HTTP/1.1"), std::string::npos);
}

const std::string& kListing = test::MixedYPListing();

TEST_F(DirectoryFlow, IcecastListingSplitsIntoTVAndRadio) {
  Settings.IcecastDirectory = "http://127.0.0.1:9/yp.xml";
  Document = kListing;
  tStationDirectory directory = Make();
  directory.LoadIcecastDirectory(true);
  ASSERT_EQ(Fetched.size(), 1u);
  EXPECT_EQ(Fetched[0],
            "http://127.0.0.1:9/yp.xml|Icecast Directory Update|Please wait whilst the Icecast directory is "
            "downloaded...");
  EXPECT_NE(Requests[0].find("GET /yp.xml HTTP/1.1"), std::string::npos);
  EXPECT_EQ(Names(directory.Stations), std::vector<std::string>{"Ogg TV"});
  EXPECT_EQ(test::ReadFile(Cache(kIcecastCacheName)), kListing) << "cached as it came";
  EXPECT_LT(std::fabs(Settings.icerefresh - NowUTC()), 1.0 / 1440);
  EXPECT_EQ(Settings.strrefresh, 0) << "a stamp of its own";
  tPlayerSettings saved(Dir.File("settings"));
  saved.LoadSettings();
  EXPECT_EQ(saved.icerefresh, Settings.icerefresh) << "the stamp is saved";

  directory.LoadIcecastDirectory(false);
  EXPECT_EQ(Fetched.size(), 1u) << "one download serves both categories within the hour";
  EXPECT_EQ(Names(directory.Stations), (std::vector<std::string>{"Zebra Radio", "Opus Talk", "Archive"}))
      << "not Ogg left out, the same listen URL once";

  // An hour and a minute later the listing has changed: the new one is read, not the one read before.
  Settings.icerefresh = NowUTC() - 61.0 / 1440;
  Document = test::YPListing({{"New Radio", "http://new.example/live.ogg", "application/ogg"}});
  directory.LoadIcecastDirectory(false);
  EXPECT_EQ(Fetched.size(), 2u);
  EXPECT_EQ(Names(directory.Stations), std::vector<std::string>{"New Radio"});
  EXPECT_TRUE(Prompts.Warnings.empty());
}

TEST_F(DirectoryFlow, DamagedIcecastListingKeepsTheOldCache) {
  struct {
    std::string Document;
    bool Served;
    const char* Note;
  } rows[] = {
      {kListing.substr(0, kListing.size() / 2), true, "cut short in the transfer"},
      {kListing.substr(0, kListing.rfind("</directory>")), true, "cut before the root's end"},
      {"", true, "empty"},
      {"<html><body>Bad gateway</body></html>", true, "an error page sent with 200"},
      {kDirectoryXML, true, "the station directory's document"},
      {"", false, "an error status"},
  };
  Settings.IcecastDirectory = "http://127.0.0.1:9/yp.xml";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Note);
    Document = kListing;
    Serve = true;
    Prompts.Warnings.clear();
    Settings.icerefresh = 0;
    tStationDirectory directory = Make();
    directory.LoadIcecastDirectory(false);
    ASSERT_EQ(directory.Stations.size(), 3u);

    Document = row.Document;
    Serve = row.Served;
    const double stale = Settings.icerefresh - 2.0 / 24;
    Settings.icerefresh = stale;
    const size_t fetched = Fetched.size();
    directory.LoadIcecastDirectory(false);
    EXPECT_EQ(Fetched.size(), fetched + 1);
    EXPECT_EQ(test::ReadFile(Cache(kIcecastCacheName)), kListing) << "the old cache stays";
    EXPECT_EQ(Settings.icerefresh, stale) << "the stamp stays, so the next opening tries again";
    EXPECT_EQ(Prompts.Warnings,
              std::vector<std::string>{
                  "Error|An error occurred downloading the Icecast directory.  Please try again later."});
    EXPECT_EQ(Names(directory.Stations), (std::vector<std::string>{"Zebra Radio", "Opus Talk", "Archive"}))
        << "the old listing is read";
  }
}

TEST_F(DirectoryFlow, RealSizeIcecastListingLoadsWhole) {
  // Several megabytes, thousands of entries, as the public listing runs: within every bound of the download,
  // the cache and the reader.
  std::vector<test::tYPEntry> entries;
  constexpr int kEntries = 15000;
  for (int i = 0; i < kEntries; ++i) {
    const std::string n = std::to_string(i);
    entries.push_back({"Station " + n + " &amp; friends, all day and all night long",
                       "http://stream" + n + ".example.org:8000/live.ogg", i % 3 ? "audio/ogg" : "audio/mpeg",
                       "128", "Various &amp; Eclectic",
                       "Artist number " + n + " - A song title of a usual length (Radio Edit)"});
  }
  Document = test::YPListing(entries);
  ASSERT_GT(Document.size(), 5u << 20);
  Settings.IcecastDirectory = "http://127.0.0.1:9/yp.xml";
  // The check of the download and the reading run aside; the caller's thread goes on calling the hook.
  int idles = 0;
  bool elsewhere = false;
  const auto caller = std::this_thread::get_id();
  tStationDirectory directory = Make([&] {
    ++idles;
    elsewhere = elsewhere || std::this_thread::get_id() != caller;
  });
  directory.LoadIcecastDirectory(false);
  EXPECT_GE(idles, 2) << "at least once for the check and once for the reading";
  EXPECT_FALSE(elsewhere);
  EXPECT_TRUE(Prompts.Warnings.empty());
  ASSERT_EQ(directory.Stations.size(), static_cast<size_t>(kEntries - kEntries / 3));
  EXPECT_EQ(directory.Stations.back()->Name, "Station 14999 & friends, all day and all night long");
}

}  // namespace
}  // namespace ktv
