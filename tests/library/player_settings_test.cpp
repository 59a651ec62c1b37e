#include "library/player_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "library/playlist.h"
#include "support/test_support.h"

namespace ktv {
namespace {

const std::string kKey = kSettingsKey;

std::unique_ptr<tRecentPlaylistEntry> Station(const std::string& name, std::vector<std::string> urls,
                                              tDateTime stamp = 0) {
  auto e = std::make_unique<tRecentPlaylistEntry>();
  e->Name = name;
  e->URLs = std::move(urls);
  e->Stamp = stamp;
  return e;
}

class SettingsTest : public ::testing::Test {
 protected:
  test::tTempDir Dir;
  std::string StoreFile = Dir.File("kestrova/settings");
};

TEST_F(SettingsTest, FreshProfileGivesDefaults) {
  for (bool probe : {false, true}) {
    SetCanUseDirectXProbe(probe ? +[] { return true; } : nullptr);
    tPlayerSettings s(StoreFile);
    s.FilmGrain = false;  // must be reset by the load
    EXPECT_FALSE(s.LoadSettings());
    EXPECT_EQ(s.UseDirectX, probe) << "UseDirectX follows the capability probe";
    EXPECT_TRUE(s.ShowTVBorder);
    EXPECT_EQ(s.LastVolume, 65535);
    EXPECT_EQ(s.BufferSeconds, 10);
    EXPECT_EQ(s.ReconnectAttempts, 5);
    EXPECT_TRUE(s.FilmGrain);
    EXPECT_EQ(s.FilmGrainValue, 90);
    EXPECT_TRUE(s.HighQualityVideo && s.MinimizeToTray && s.PlayInTray && s.StayOnTop);
    EXPECT_TRUE(s.MRU.empty());
    EXPECT_EQ(s.LastPlayerCheck, "0.0.0.0");
    EXPECT_EQ(s.MaxRenderW, 352);
    EXPECT_EQ(s.MaxRenderH, 288);
    EXPECT_TRUE(s.VisEnabled && s.LowPriority && s.FirstRun);
    EXPECT_EQ(s.visrefresh, 0);
    EXPECT_EQ(s.strrefresh, 0);
    EXPECT_EQ(s.icerefresh, 0);
    EXPECT_TRUE(s.recent.empty() && s.books.empty());
    EXPECT_EQ(s.DirectoryServer, "http://dir.kestrova.tv");
    EXPECT_EQ(s.WebSite, "http://www.kestrova.tv");
    EXPECT_EQ(s.IcecastDirectory, "https://dir.xiph.org/yp.xml");
  }
  SetCanUseDirectXProbe(nullptr);
  EXPECT_FALSE(CanUseDirectX());
}

TEST_F(SettingsTest, EveryFieldAndListRoundTrips) {
  tPlayerSettings a(StoreFile);
  a.LoadSettings();
  a.ShowTVBorder = false;
  a.LastVolume = 1234;
  a.UseDirectX = true;
  a.BufferSeconds = 42;
  a.ReconnectAttempts = 0;  // the bottom of its range: reconnecting off
  a.FilmGrain = false;
  a.FilmGrainValue = 7;
  a.HighQualityVideo = false;
  a.MinimizeToTray = false;
  a.PlayInTray = false;
  a.StayOnTop = false;
  a.MRU = {"http://one", "http://two=x;[y]%"};
  a.LastPlayerCheck = "1.2.3.4";
  a.MaxRenderW = 640;
  a.MaxRenderH = 480;
  a.VisEnabled = false;
  a.LowPriority = false;
  a.visrefresh = 45123.25;
  a.strrefresh = -1.5;
  a.icerefresh = 45200.75;
  a.FirstRun = false;
  a.DirectoryServer = "http://127.0.0.1:1";
  a.WebSite = "http://127.0.0.1:2";
  a.IcecastDirectory = "http://127.0.0.1:3/yp.xml";
  auto full = Station("Näme\n", {"http://u1", "", "http://u3"}, 45000.125);
  full->Description = "d";
  full->Genre = "g";
  full->Format = "Theora Vorbis";
  full->Bitrate = "128";
  full->OnNow = "news";
  full->ViewURL = "http://v";
  full->Viewers = "3/10";
  a.recent.push_back(std::move(full));
  a.books.push_back(Station("B", {"http://b"}, 1.0));
  ASSERT_TRUE(a.SaveSettings());

  tPlayerSettings b(StoreFile);
  ASSERT_TRUE(b.LoadSettings());
  EXPECT_FALSE(b.ShowTVBorder);
  EXPECT_EQ(b.LastVolume, 1234);
  EXPECT_TRUE(b.UseDirectX);
  EXPECT_EQ(b.BufferSeconds, 42);
  EXPECT_EQ(b.ReconnectAttempts, 0);
  EXPECT_FALSE(b.FilmGrain);
  EXPECT_EQ(b.FilmGrainValue, 7);
  EXPECT_FALSE(b.HighQualityVideo || b.MinimizeToTray || b.PlayInTray || b.StayOnTop);
  EXPECT_EQ(b.MRU, a.MRU);
  EXPECT_EQ(b.LastPlayerCheck, "1.2.3.4");
  EXPECT_EQ(b.MaxRenderW, 640);
  EXPECT_EQ(b.MaxRenderH, 480);
  EXPECT_FALSE(b.VisEnabled || b.LowPriority || b.FirstRun);
  EXPECT_EQ(b.visrefresh, 45123.25);
  EXPECT_EQ(b.strrefresh, -1.5);
  EXPECT_EQ(b.icerefresh, 45200.75);
  EXPECT_EQ(b.DirectoryServer, "http://127.0.0.1:1");
  EXPECT_EQ(b.WebSite, "http://127.0.0.1:2");
  EXPECT_EQ(b.IcecastDirectory, "http://127.0.0.1:3/yp.xml");
  ASSERT_EQ(b.recent.size(), 1u);
  const tRecentPlaylistEntry& r = *b.recent[0];
  EXPECT_EQ(r.Name, "Näme\n");
  EXPECT_EQ(r.URLs, (std::vector<std::string>{"http://u1", "", "http://u3"}));
  EXPECT_EQ(r.Stamp, 45000.125);
  EXPECT_EQ(r.Description + r.Genre + r.Format + r.Bitrate + r.OnNow + r.ViewURL + r.Viewers,
            "dgTheora Vorbis128newshttp://v3/10");
  ASSERT_EQ(b.books.size(), 1u);
  EXPECT_EQ(b.books[0]->Name, "B");
  EXPECT_EQ(b.books[0]->Stamp, 1.0);
}

// The machine as the probes see it: OpenGL can run (Usable), and is worth running (Preferred: not a software
// rasteriser). Installed as plain function pointers, as the program installs its own.
struct tMachine {
  bool Usable;
  bool Preferred;
};
tMachine gMachine{};
const tMachine kHardwareGL{true, true};
const tMachine kSoftwareGL{true, false};
const tMachine kNoGL{false, false};

// Installs the machine's probes for one test and removes them after it.
class BackEndDefaultTest : public SettingsTest {
 protected:
  void SetUp() override { Use(kSoftwareGL); }
  void TearDown() override {
    SetCanUseDirectXProbe(nullptr);
    SetPreferDirectXProbe(nullptr);
  }
  static void Use(tMachine machine) {
    gMachine = machine;
    SetCanUseDirectXProbe([] { return gMachine.Usable; });
    SetPreferDirectXProbe([] { return gMachine.Preferred; });
  }
  bool Loaded() {
    tPlayerSettings s(StoreFile);
    s.LoadSettings();
    return s.UseDirectX;
  }
  void Choose(bool useDirectX) {
    tPlayerSettings s(StoreFile);
    s.LoadSettings();
    s.UseDirectX = useDirectX;
    ASSERT_TRUE(s.SaveSettings());
  }
  // Loads and saves untouched, as every start does (the window saves on closing).
  void StartAndClose() {
    tPlayerSettings s(StoreFile);
    s.LoadSettings();
    ASSERT_TRUE(s.SaveSettings());
  }
};

TEST_F(BackEndDefaultTest, PreferredNeedsUsable) {
  struct {
    tMachine Machine;
    bool Prefer;
  } rows[] = {{kHardwareGL, true}, {kSoftwareGL, false}, {kNoGL, false}, {{false, true}, false}};
  for (const auto& row : rows) {
    Use(row.Machine);
    EXPECT_EQ(PreferDirectX(), row.Prefer) << row.Machine.Usable << row.Machine.Preferred;
  }
  Use(kSoftwareGL);
  SetPreferDirectXProbe(nullptr);
  EXPECT_TRUE(PreferDirectX()) << "without a preference probe, usable is preferred";
}

TEST_F(BackEndDefaultTest, StoredValuesCountOnlyAsAChoice) {
  const char* kAbsent = nullptr;
  struct {
    const char* UseDirectX;
    const char* Chosen;
    tMachine Machine;
    bool Expected;
    const char* Fault;
  } rows[] = {
      {kAbsent, kAbsent, kHardwareGL, true, "a fresh profile takes OpenGL on a graphics card"},
      {kAbsent, kAbsent, kSoftwareGL, false, "a fresh profile takes raster on llvmpipe"},
      {kAbsent, kAbsent, kNoGL, false, "a fresh profile without OpenGL"},
      {"1", kAbsent, kSoftwareGL, false, "an earlier version's 1 was its default: raster on llvmpipe"},
      {"1", kAbsent, kHardwareGL, true, "an earlier version's 1 on a graphics card"},
      {"0", kAbsent, kHardwareGL, false, "an earlier version's 0 where OpenGL ran was chosen"},
      {"0", kAbsent, kSoftwareGL, false, "an earlier version's 0 on llvmpipe"},
      {"1", "1", kSoftwareGL, true, "OpenGL chosen on llvmpipe is kept"},
      {"1", "1", kNoGL, true, "a choice outlives a start without OpenGL (the window falls back)"},
      {"0", "1", kHardwareGL, false, "raster chosen on a graphics card is kept"},
      {"0", "0", kHardwareGL, true, "a default saved on llvmpipe is no choice on a graphics card"},
      {"1", "0", kSoftwareGL, false, "a default saved on a graphics card is no choice on llvmpipe"},
      {"7", "1", kSoftwareGL, true, "any number but 0 is true"},
      {"yes", "1", kHardwareGL, true, "a damaged value takes the default"},
      {"yes", "1", kSoftwareGL, false, "a damaged value takes the default"},
      {"1", "maybe", kSoftwareGL, false, "a damaged mark counts as none, and a 1 as an old default"},
      {"0", "maybe", kHardwareGL, false, "a damaged mark counts as none, and a 0 as chosen"},
  };
  for (const auto& row : rows) {
    std::filesystem::remove(StoreFile);
    tRegistry store(StoreFile);
    store.WriteString(kKey, "BufferSeconds", "11");
    if (row.UseDirectX) store.WriteString(kKey, "UseDirectX", row.UseDirectX);
    if (row.Chosen) store.WriteString(kKey, "UseDirectXChosen", row.Chosen);
    ASSERT_TRUE(store.Save());
    Use(row.Machine);
    EXPECT_EQ(Loaded(), row.Expected) << row.Fault;
  }
}

TEST_F(BackEndDefaultTest, AChoiceSurvivesSavesAndMachinesAndTheDefaultFollowsTheMachine) {
  // Never chosen: each start's save writes the default of its machine, which the next machine does not take.
  Use(kSoftwareGL);
  StartAndClose();
  tRegistry store(StoreFile);
  ASSERT_TRUE(store.Load());
  EXPECT_EQ(store.ReadString(kKey, "UseDirectX"), "0") << "every value is written";
  EXPECT_EQ(store.ReadString(kKey, "UseDirectXChosen"), "0");
  Use(kHardwareGL);
  EXPECT_TRUE(Loaded());
  StartAndClose();
  Use(kSoftwareGL);
  EXPECT_FALSE(Loaded());

  // OpenGL chosen on llvmpipe stays chosen, also through a machine whose default it matches.
  Choose(true);
  EXPECT_TRUE(Loaded());
  Use(kHardwareGL);
  StartAndClose();
  Use(kSoftwareGL);
  StartAndClose();
  EXPECT_TRUE(Loaded()) << "the choice was forgotten where it matched the default";

  // Choosing the default again gives the choice back to the machine.
  Choose(false);
  Use(kHardwareGL);
  EXPECT_TRUE(Loaded());

  // Raster chosen on a graphics card.
  Choose(false);
  StartAndClose();
  EXPECT_FALSE(Loaded());
  Use(kSoftwareGL);
  StartAndClose();
  Use(kHardwareGL);
  EXPECT_FALSE(Loaded());
}

TEST_F(BackEndDefaultTest, AnEarlierVersionsRasterChoiceIsMarkedAtTheFirstSave) {
  Use(kHardwareGL);
  tRegistry old(StoreFile);
  old.WriteString(kKey, "UseDirectX", "0");
  ASSERT_TRUE(old.Save());
  StartAndClose();
  tRegistry store(StoreFile);
  ASSERT_TRUE(store.Load());
  EXPECT_EQ(store.ReadString(kKey, "UseDirectXChosen"), "1");
  EXPECT_FALSE(Loaded());
}

TEST_F(SettingsTest, StoreLayout) {
  tPlayerSettings s(StoreFile);
  s.LoadSettings();
  s.StayOnTop = false;
  s.MRU = {"http://a"};
  s.strrefresh = 45000.5;
  s.recent.push_back(Station("R", {"http://r1", "http://r2"}, 2.0));
  ASSERT_TRUE(s.SaveSettings());
  tRegistry store(StoreFile);
  ASSERT_TRUE(store.Load());
  EXPECT_EQ(store.ReadString(kKey, "StayOnTop"), "0");
  EXPECT_EQ(store.ReadString(kKey, "ShowTVBorder"), "1");
  EXPECT_EQ(store.ReadString(kKey, "LastVolume"), "65535");
  EXPECT_EQ(store.ReadString(kKey + "\\MRU", "count"), "1");
  EXPECT_EQ(store.ReadString(kKey + "\\MRU", "mru0"), "http://a");
  // 45000.5 = 0x40E5F91000000000: low half 0, high half as a signed 32-bit number.
  EXPECT_EQ(store.ReadString(kKey + "\\strrefresh", "Size"), "8");
  EXPECT_EQ(store.ReadString(kKey + "\\strrefresh", "Data0"), "0");
  EXPECT_EQ(store.ReadString(kKey + "\\strrefresh", "Data1"), std::to_string(0x40E5F910));
  EXPECT_EQ(store.ReadString(kKey + "\\recent", "count"), "1");
  EXPECT_EQ(store.ReadString(kKey + "\\recent", "url0"), "http://r1\r\nhttp://r2\r\n");
  EXPECT_EQ(store.ReadString(kKey + "\\recent", "name0"), "R");
  // 2.0 = 0x4000000000000000: the high half is 1073741824.
  EXPECT_EQ(store.ReadString(kKey + "\\recent\\stamp0", "Data1"), "1073741824");
  // Key paths and value names ignore case.
  EXPECT_EQ(store.ReadString("SOFTWARE\\halcyra interactive\\kestrova\\player\\mru", "MRU0"), "http://a");
}

TEST_F(SettingsTest, BlockValues) {
  tRegistry store(StoreFile);
  const std::string key = "k";
  struct Row {
    std::string Bytes;
    size_t Max;
    std::string Expected;
    const char* Note;
  } rows[] = {
      {std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A", 10), 8,
       std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8),
       "a larger block is read only up to the target's size"},
      {std::string("\xFF\xFE\x00", 3), 8, std::string("\xFF\xFE\x00", 3),
       "a short last group is padded on write"},
      {"", 8, "", "empty block"},
  };
  for (const Row& row : rows) {
    store.DeleteKey(key);
    WriteBlock(store, key, row.Bytes);
    EXPECT_EQ(ReadBlock(store, key, row.Max), row.Expected) << row.Note;
  }
  store.DeleteKey(key);
  store.WriteString(key, "Size", "8");
  store.WriteString(key, "Data0", "-1");
  EXPECT_EQ(ReadBlock(store, key, 8), std::string("\xFF\xFF\xFF\xFF\0\0\0\0", 8))
      << "missing group reads as zeros";
}

TEST_F(SettingsTest, DamagedValuesTakeDefaults) {
  tRegistry store(StoreFile);
  store.WriteString(kKey, "BufferSeconds", "ten");
  store.WriteString(kKey, "MaxRenderW", "99999999999");
  store.WriteString(kKey, "LastVolume", "70000");
  store.WriteString(kKey, "ReconnectAttempts", "101");
  store.WriteString(kKey, "StayOnTop", "5");
  store.WriteString(kKey, "FilmGrain", "yes");
  store.WriteString(kKey + "\\MRU", "count", "2000000000");
  store.WriteString(kKey + "\\MRU", "mru0", "http://only");
  // A NaN stamp: both halves all ones.
  store.WriteString(kKey + "\\strrefresh", "Size", "8");
  store.WriteString(kKey + "\\strrefresh", "Data0", "-1");
  store.WriteString(kKey + "\\strrefresh", "Data1", "-1");
  ASSERT_TRUE(store.Save());
  tPlayerSettings s(StoreFile);
  ASSERT_TRUE(s.LoadSettings());
  EXPECT_EQ(s.BufferSeconds, 10) << "not a number";
  EXPECT_EQ(s.MaxRenderW, 352) << "beyond 32 bits";
  EXPECT_EQ(s.LastVolume, 65535) << "beyond 16 bits";
  EXPECT_EQ(s.ReconnectAttempts, 5) << "more attempts than allowed";
  EXPECT_TRUE(s.StayOnTop) << "any number other than 0 is true";
  EXPECT_TRUE(s.FilmGrain) << "not a number";
  EXPECT_LE(s.MRU.size(), 2u) << "a damaged count cannot make millions of entries";
  EXPECT_EQ(s.MRU[0], "http://only");
  EXPECT_EQ(s.strrefresh, 0) << "a NaN stamp reads as never";
}

TEST_F(SettingsTest, DamagedStoreReadsAsDefaultsAndIsKeptAside) {
  tPlayerSettings good(StoreFile);
  good.LoadSettings();
  good.BufferSeconds = 33;
  good.MRU = {"http://x"};
  ASSERT_TRUE(good.SaveSettings());
  const std::string saved = test::ReadFile(StoreFile);
  ASSERT_FALSE(saved.empty());

  // Truncated at every offset, one byte flipped, or garbage: all read as defaults, never as half a record.
  std::vector<std::string> damaged = {"garbage", std::string(saved).replace(saved.size() / 2, 1, "#")};
  for (size_t cut = 0; cut < saved.size(); ++cut) damaged.push_back(saved.substr(0, cut));
  for (const std::string& bytes : damaged) {
    ASSERT_TRUE(test::WriteFile(StoreFile, bytes));
    tPlayerSettings s(StoreFile);
    s.BufferSeconds = 1;
    EXPECT_FALSE(s.LoadSettings()) << bytes.size();
    EXPECT_EQ(s.BufferSeconds, 10) << bytes.size();
    EXPECT_TRUE(s.MRU.empty()) << bytes.size();
    EXPECT_TRUE(s.Store().WasDamaged()) << bytes.size();
  }
  // The last damaged file is kept aside, and left in place until a save succeeds.
  ASSERT_TRUE(test::WriteFile(StoreFile, "garbage"));
  tPlayerSettings s(StoreFile);
  EXPECT_FALSE(s.LoadSettings());
  EXPECT_TRUE(s.Store().WasDamaged());
  EXPECT_EQ(test::ReadFile(StoreFile + ".damaged"), "garbage");
  EXPECT_EQ(test::ReadFile(StoreFile), "garbage");
  ASSERT_TRUE(s.SaveSettings());
  tPlayerSettings again(StoreFile);
  EXPECT_TRUE(again.LoadSettings());
  EXPECT_FALSE(std::filesystem::exists(StoreFile + ".tmp")) << "no temporary file left behind";
}

TEST_F(SettingsTest, MRUMovesToTopInAnyCase) {
  tPlayerSettings s(StoreFile);
  s.LoadSettings();
  s.AddToMRU("http://a");
  s.AddToMRU("http://b");
  s.AddToMRU("  HTTP://A  ");
  EXPECT_EQ(s.MRU, (std::vector<std::string>{"HTTP://A", "http://b"}));
  tPlayerSettings saved(StoreFile);
  saved.LoadSettings();
  EXPECT_EQ(saved.MRU, s.MRU) << "AddToMRU saves";
}

TEST_F(SettingsTest, RecentAndBookmarks) {
  tPlayerSettings s(StoreFile);
  s.LoadSettings();
  s.recent.push_back(Station("first", {"http://x"}, 1));
  s.recent.push_back(Station("second", {"http://y", "http://z"}, 1));
  s.recent.push_back(Station("third", {"http://w"}, 1));

  tPlaylist list;
  list.LoadFromText("#EXTINF:1,One\nhttp://q\n#EXTINF:2,Two\nHTTP://Z\n");
  tDateTime before = NowUTC();
  s.AddPlaylistToRecent(list);
  ASSERT_EQ(s.recent.size(), 3u) << "a shared URL (any case) replaces, not appends";
  EXPECT_EQ(s.recent[1]->Name, "Two") << "replaced in place; texts from the last entry";
  EXPECT_EQ(s.recent[1]->URLs, (std::vector<std::string>{"http://q", "HTTP://Z"}));
  EXPECT_GE(s.recent[1]->Stamp, before);

  tPlaylist empty;
  s.AddPlaylistToRecent(empty);
  EXPECT_EQ(s.recent.size(), 3u);

  s.recent[0]->Viewers = "5/9";
  s.recent[0]->OnNow = "news";
  s.AddToBookmarks(*s.recent[0]);
  ASSERT_EQ(s.books.size(), 1u);
  EXPECT_EQ(s.books[0]->Name, "first");
  EXPECT_EQ(s.books[0]->Viewers, "");
  EXPECT_EQ(s.books[0]->OnNow, "");
  EXPECT_EQ(s.recent[0]->Viewers, "5/9") << "the bookmark is a copy";
  s.AddToBookmarks(*Station("nourl", {}));
  EXPECT_EQ(s.books.size(), 1u) << "a station without URL is not bookmarked";

  s.books.push_back(Station("alpha", {"http://1"}));
  s.books.push_back(Station("Beta", {"http://2"}));
  s.SortBookmarks();
  EXPECT_EQ(s.books[0]->Name + s.books[1]->Name + s.books[2]->Name, "alphaBetafirst");

  s.RemoveRecent(s.recent[2].get());
  tPlayerSettings saved(StoreFile);
  saved.LoadSettings();
  ASSERT_EQ(saved.recent.size(), 2u) << "RemoveRecent saves";
  EXPECT_EQ(saved.recent[0]->Name, "first");
  EXPECT_EQ(saved.books.size(), 3u) << "a save writes the whole record";
}

TEST_F(SettingsTest, RecentListIsTrimmedOldestFirst) {
  tPlayerSettings s(StoreFile);
  s.LoadSettings();
  // 101 entries with stamps out of order; the one with stamp 0.5 is the oldest.
  for (int i = 0; i < 101; ++i)
    s.recent.push_back(Station("s" + std::to_string(i), {"u" + std::to_string(i)}, 200 - i));
  s.recent[50]->Stamp = 0.5;
  ASSERT_TRUE(s.SaveSettings());
  tPlayerSettings saved(StoreFile);
  saved.LoadSettings();
  ASSERT_EQ(saved.recent.size(), 100u);
  for (const auto& e : saved.recent) EXPECT_NE(e->Name, "s50");
  for (size_t i = 1; i < saved.recent.size(); ++i)
    EXPECT_LE(saved.recent[i - 1]->Stamp, saved.recent[i]->Stamp) << "saved oldest first";

  // Below the limit the order is left alone.
  tPlayerSettings small(Dir.File("other"));
  small.recent.push_back(Station("new", {"a"}, 9));
  small.recent.push_back(Station("old", {"b"}, 1));
  small.TrimRecent();
  EXPECT_EQ(small.recent[0]->Name, "new");
}

TEST(PlayerSettings, HugeTextsAreCappedWhereTheyEnterSoEverySaveLoadsAgain) {
  test::tTempDir dir;
  tPlayerSettings settings(dir.File("settings"));
  settings.LoadSettings();
  settings.BufferSeconds = 33;
  tRecentPlaylistEntry station;
  station.Name = std::string(17u << 20, 'n');
  station.Description = std::string(2000, 'd');
  station.URLs = {"http://ok.example/a.ogg", "http://" + std::string(kMaxAddressBytes, 'h')};
  settings.AddToBookmarks(station);
  settings.AddToMRU("http://" + std::string(17u << 20, 'm'));
  ASSERT_TRUE(settings.SaveSettings());

  tPlayerSettings loaded(dir.File("settings"));
  ASSERT_TRUE(loaded.LoadSettings()) << "the next start reads what was saved";
  EXPECT_EQ(loaded.BufferSeconds, 33) << "no setting lost";
  ASSERT_EQ(loaded.books.size(), 1u);
  EXPECT_EQ(loaded.books[0]->Name.size(), kMaxListingText);
  EXPECT_EQ(loaded.books[0]->Description.size(), kMaxListingText);
  EXPECT_EQ(loaded.books[0]->URLs, std::vector<std::string>{"http://ok.example/a.ogg"});
  EXPECT_TRUE(loaded.MRU.empty()) << "an address too long to keep whole is not kept";
}

}  // namespace
}  // namespace ktv
