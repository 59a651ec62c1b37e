// The player's persistent state: the settings record, the typed-URL list (MRU), the recently played stations
// and the bookmarks, kept in the settings store under "Software\Halcyra Interactive\Kestrova\Player".
//
// Thread contract: user-interface thread only. Other parts read and write the fields directly and call
// SaveSettings.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace ktv {

class tPlaylist;

// Days since 30 December 1899 (fractions are the time of day), UTC.
using tDateTime = double;
tDateTime NowUTC();

// One station: a recently played one, a bookmark or a directory station.
struct tRecentPlaylistEntry {
  std::string Name;
  std::string Description;
  std::string Genre;
  std::vector<std::string> URLs;  // stream URLs, the first is tried first
  tDateTime Stamp = 0;
  std::string Format;
  std::string Bitrate;
  std::string OnNow;
  std::string ViewURL;
  std::string Viewers;
};
using tStationList = std::vector<std::unique_ptr<tRecentPlaylistEntry>>;

constexpr const char* kSettingsKey = "Software\\Halcyra Interactive\\Kestrova\\Player";
constexpr const char* kDefaultIcecastDirectory = "https://dir.xiph.org/yp.xml";
// Typed addresses kept, newest first.
constexpr size_t kMaxMRU = 100;
// Stream addresses kept per stored station.
constexpr size_t kMaxStoredURLs = 32;
// TrimRecent keeps this many of the newest recent stations.
constexpr size_t kMaxRecent = 100;
// More reconnects than this are damage in the settings store, not a wish (the last waits are 16 s each).
constexpr int32_t kMaxReconnectAttempts = 100;

// Longest text of a station record from a listing; longer ones are cut and end in an ellipsis ("…"). A
// listing's current_song can run to megabytes, and every repaint measures it.
constexpr size_t kMaxListingText = 1024;
// Longest stream address kept from a listing or the settings store: a cut address would point elsewhere, so a
// longer one is dropped instead.
constexpr size_t kMaxAddressBytes = 4096;

// The text cut to at most maxBytes (ellipsis included) at a UTF-8 character boundary, ending in "…" when it
// was cut; as it is when it fits.
std::string CapText(const std::string& text, size_t maxBytes);

// Whether the accelerated back-end can run. False until a probe is installed (the windowed program installs
// its OpenGL probe before loading the settings).
bool CanUseDirectX();
void SetCanUseDirectXProbe(bool (*probe)());
// Whether the accelerated back-end should be the default: it can run, and the preference probe agrees (a
// software rasteriser can run OpenGL but costs the CPU several times what the raster back-end does). Without
// a preference probe, CanUseDirectX's answer.
bool PreferDirectX();
void SetPreferDirectXProbe(bool (*probe)());

class tPlayerSettings {
 public:
  // storeFile: the settings store's file (tests pass one in a temporary folder).
  explicit tPlayerSettings(const std::string& storeFile = DefaultRegistryFile());

  // Fills the record and lists from the store; missing or unreadable values take their defaults. False when
  // the store file was missing or damaged (everything then has its default).
  bool LoadSettings();
  // Writes everything (trimming the recent list first). False when the store could not be written.
  bool SaveSettings();

  void AddToMRU(const std::string& url);
  void AddPlaylistToRecent(const tPlaylist& playlist);
  // Replaces, in place, the first item sharing a URL with the entry (case ignored), or appends. Saves.
  void AddOrReplaceEntry(std::unique_ptr<tRecentPlaylistEntry> entry, tStationList& list);
  void AddToBookmarks(const tRecentPlaylistEntry& station);
  void RemoveRecent(const tRecentPlaylistEntry* entry);
  void SortBookmarks();
  void TrimRecent();

  tRegistry& Store() { return Registry; }

  // The values of the settings key; their defaults (and the ranges beyond which a stored number counts as
  // damage) are the table in player_settings.cpp, which the constructor applies.
  bool ShowTVBorder;
  uint16_t LastVolume;
  // False until loaded. LoadSettings gives PreferDirectX() unless the store holds a back-end the user chose:
  // SaveSettings writes "UseDirectXChosen" beside it, 1 when the value differs from PreferDirectX() then (or
  // was loaded as chosen and is unchanged), so a default written by one machine is not taken for a choice.
  bool UseDirectX;
  int32_t BufferSeconds;
  // Tries to bring back a live stream that drops (0: it ends instead), at most kMaxReconnectAttempts.
  int32_t ReconnectAttempts;
  bool FilmGrain;
  int32_t FilmGrainValue;
  bool HighQualityVideo;
  bool MinimizeToTray;
  bool PlayInTray;
  bool StayOnTop;
  std::string LastPlayerCheck;
  int32_t MaxRenderW;
  int32_t MaxRenderH;
  bool VisEnabled;
  bool LowPriority;
  bool FirstRun;
  // Base URLs of the directory server and the product web site.
  std::string DirectoryServer;
  std::string WebSite;
  // Address of the public Icecast directory's listing (its YP XML document).
  std::string IcecastDirectory;

  // The lists and stamps of the subkeys.
  std::vector<std::string> MRU;
  tDateTime visrefresh = 0;  // last channel-list download
  tDateTime strrefresh = 0;  // last directory download
  tDateTime icerefresh = 0;  // last Icecast listing download
  tStationList recent;
  tStationList books;

 private:
  void ResetToDefaults();
  void LoadBackEndChoice();
  tRegistry Registry;
  // The back-end the store holds as chosen by the user (empty: none, the default applies).
  std::optional<bool> ChosenUseDirectX;
};

// The program's one record, on the default store file.
tPlayerSettings& Settings();

// A byte block as the values "Size", "Data0", "Data1", ... of a key (little-endian signed 32-bit groups).
void WriteBlock(tRegistry& store, const std::string& key, const std::string& bytes);
// Reads at most maxBytes of a block; missing groups read as zero bytes. Empty when the key has no "Size".
std::string ReadBlock(const tRegistry& store, const std::string& key, size_t maxBytes);

}  // namespace ktv
