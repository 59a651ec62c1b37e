// The downloaded station lists: the public stream directory (split into TV and radio by whether a station
// carries Theora), the channel list of the player's own site, and the public Icecast directory's listing
// (split into TV and radio by its stream type). Each is cached in the player's own cache folder as plain or
// zlib-compressed XML, refreshed when older than its period, and read into station records. A download that
// fails or is refused keeps the old cache and is not tried again for kRetryMinutes.
//
// Thread contract: user-interface thread only (downloads run on it, pumping messages through the dialog).
// Reading a large document runs on a thread of its own while the caller's thread keeps calling the idle hook;
// the call returns once the reading is over.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "library/icecast_listing.h"
#include "library/player_settings.h"

namespace ktv {

class tXMLParser;

// How the directory talks to the user; the directory window answers with skinned message boxes.
class tDirectoryPrompts {
 public:
  virtual ~tDirectoryPrompts() = default;
  // A message box with the warning icon and an OK button.
  virtual void ShowWarning(const std::string& title, const std::string& text) = 0;
  // A message box with the question icon and the buttons Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& title, const std::string& text) = 0;
  // Opens a web page in the default browser.
  virtual void OpenWebPage(const std::string& url) = 0;
};

// Fetches the body of an HTTP answer into the stream while telling the user (heading, window caption); the
// program wires the download dialog's DownloadToStream here. True when the body was received.
using tFetchDocument = std::function<bool(const std::string& heading, const std::string& caption,
                                          const std::string& url, std::ostream& stream)>;

// Called on the caller's thread at least once, and then about every kIdleMs, while a document is read on a
// thread of its own: the directory window answers events through it. May be empty (the caller then blocks).
using tReadIdle = std::function<void()>;
constexpr int kIdleMs = 20;

// A cached or downloaded document, plain or inflated, larger than this is taken as damaged.
constexpr size_t kMaxDocumentBytes = 32u << 20;

// A failed download of a document waits this long before that document is downloaded again: a filter pause
// or a category switch must not fetch the whole listing again and show the same error again.
constexpr int kRetryMinutes = 10;

constexpr const char* kDirectoryCacheName = "~kestrova_directory_data.~xml.~tmp.~z";
constexpr const char* kChannelCacheName = "~kestrova_stream_data.~xml.~tmp.~z";
constexpr const char* kIcecastCacheName = "~kestrova_icecast_data.~xml.~tmp.~z";
constexpr const char* kDirectoryPath = "/dynamic/streams.dat";
constexpr const char* kChannelListPath = "/streams.php";
constexpr const char* kPlayerPagePath = "/player.php";

class tStationDirectory {
 public:
  // tempFolder: where the caches live (tests pass their own), ending in "/"; made (mode 0700) when missing.
  tStationDirectory(tPlayerSettings& settings, tFetchDocument fetch, tDirectoryPrompts& prompts,
                    std::string tempFolder, tReadIdle idle = {});

  // Refreshes the directory when stale, reads it (the old cache when the download failed), offers a newer
  // player version, and replaces Stations with the stations whose video flag equals wantVideo.
  void LoadDirectory(bool wantVideo);
  // Refreshes the channel list when stale and replaces Stations with all its stations. When the download
  // fails the list is not read and Stations stays as it was; the result is then false.
  bool LoadChannelList();
  // Refreshes the Icecast listing when stale (its old cache is read when that fails) and replaces Stations
  // with its TV (wantVideo) or radio entries.
  void LoadIcecastDirectory(bool wantVideo);
  // Offers the advertised version once when it is newer than the running one.
  void CheckForNewVersion(const std::string& advertised);

  tStationList Stations;
  // The running program's version, compared with the advertised one.
  std::string ProgramVersion;
  // The clock of ages and retries (tests move it).
  std::function<tDateTime()> Now = NowUTC;

 private:
  enum class tDocument { Directory, ChannelList, Icecast };
  // Downloads the document when its stamp is stale or its cache is missing. False when a download failed,
  // and (without a download or a warning) while a failed one waits for its retry.
  bool Refresh(tDocument document);
  // Reads the directory's cache into DirectoryStations unless they already hold what the file holds.
  void ReadDirectoryCache();
  // Reads the Icecast cache into IcecastStations unless that already holds what the file holds.
  void ReadIcecastCache();
  // Runs the work on a thread of its own and returns when it is over, calling Idle meanwhile. The work
  // touches nothing but what it was given.
  void RunAside(const std::function<void()>& work);

  tPlayerSettings& Settings;
  tFetchDocument Fetch;
  tDirectoryPrompts& Prompts;
  std::string TempFolder;
  tReadIdle Idle;
  // The directory and the Icecast listing as last read, each with the size and time of writing of the cache
  // file it came from: they run to megabytes, and the filter reloads the category after every pause in
  // typing.
  tStationList DirectoryStations[2];  // radio, TV
  std::string DirectoryAdvertised;    // the player version it offers
  std::string DirectoryCacheRead;
  tIcecastStations IcecastStations;
  std::string IcecastCacheRead;
  // When each document's last download failed (0: it did not), by tDocument.
  tDateTime FailedAt[3] = {};
};

// The player's own cache folder, "$XDG_CACHE_HOME/kestrova/" (or "~/.cache/kestrova/"), made with mode 0700
// when missing: never a fixed name in a folder every user writes to. Empty when it cannot be made, is no
// folder of ours, or is a link.
std::string GetCacheFolder();
// Where the directory windows keep their caches: the cache folder (the documents used to lie in the system's
// temporary folder, where anyone could plant a file under their fixed names).
std::string GetTempFolder();

// "a.b.c.d" as four 16-bit fields from the most significant down; a part that is not a number counts as 0.
int64_t VersionToNumber(const std::string& version);

// Whether a download is due: the age in whole units (minutes or hours) is the absolute difference
// between the stamp and now, fractions cut off; a stamp that is no finite number is always stale.
bool IsStale(tDateTime stamp, tDateTime now, double unitsPerDay, int64_t maxAge);

// The document text of a cache file: as it stands when it begins with "<?xml" (any case; a UTF-8 byte-order
// mark and blank lines may stand before it), else inflated from zlib. Empty when the file is missing, larger
// than kMaxDocumentBytes, or cannot be inflated within that bound.
std::string ReadCacheDocument(const std::string& fileName);
// The same for the file's bytes already in memory.
std::string DocumentFromCacheBytes(const std::string& bytes);
// Inflates one whole zlib stream; false when it is damaged, incomplete or inflates beyond kMaxDocumentBytes.
bool InflateDocument(const std::string& compressed, std::string& text);

// Whether a document's text (plain, or already inflated) is a station document: it parses and has its root
// element "dir".
bool IsStationDocument(const std::string& text);

// Reads the stations of a parsed document in document order. directory: the directory's field mapping and
// only the stations whose video flag equals wantVideo; otherwise the channel list's mapping and every
// station. Texts are capped at kMaxListingText, stream addresses beyond kMaxAddressBytes are left out, and
// a station without a name is named by its first address.
void ReadStationList(tXMLParser& xml, bool directory, bool wantVideo, tStationList& stations);
// The directory's stations in one reading, split by their video flag.
void ReadDirectoryStations(tXMLParser& xml, tStationList& video, tStationList& radio);

// Copies of the stations, for a list that must not share them.
tStationList CopyStations(const tStationList& stations);

}  // namespace ktv
