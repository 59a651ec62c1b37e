#include "library/station_directory.h"

#include <zlib.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "library/playlist.h"
#include "net/http_request.h"
#include "net/xml_parser.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace ktv {

namespace fs = std::filesystem;

namespace {

// Inflate works in pieces of this size so a small hostile stream cannot claim a huge buffer up front.
constexpr size_t kInflateChunk = 64u << 10;

std::string BaseURL(std::string base) {
  if (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

// What tells the downloaded documents apart.
struct tDocumentKind {
  const char* CacheName;
  tDateTime tPlayerSettings::*Stamp;
  // Stale when older than MaxAge whole units of this many per day.
  double UnitsPerDay;
  int64_t MaxAge;
  const char* Heading;
  const char* Caption;
  std::string (*Address)(const tPlayerSettings& settings);
  const char* Failure;
  // Whether a downloaded document's text may replace the cache.
  bool (*IsWhole)(const std::string& text);
};

// In the order of tStationDirectory::tDocument.
const tDocumentKind kDocumentKinds[] = {
    {kDirectoryCacheName, &tPlayerSettings::strrefresh, 24.0 * 60.0, 60,
     "Please wait whilst the directory is downloaded...", "Directory List Update",
     [](const tPlayerSettings& s) { return BaseURL(s.DirectoryServer) + kDirectoryPath; },
     "An error occured downloading the directory.  Please try again later.", IsStationDocument},
    {kChannelCacheName, &tPlayerSettings::visrefresh, 24.0, 24,
     "Please wait whilst the list of Kestrova channels is downloaded...", "Channel List Update",
     [](const tPlayerSettings& s) { return BaseURL(s.WebSite) + kChannelListPath; },
     "An error occured downloading the Kestrova channel list.  Please try again later.", IsStationDocument},
    // Refreshed as often as the directory: what is on now changes as quickly there.
    {kIcecastCacheName, &tPlayerSettings::icerefresh, 24.0 * 60.0, 60,
     "Please wait whilst the Icecast directory is downloaded...", "Icecast Directory Update",
     [](const tPlayerSettings& s) { return s.IcecastDirectory; },
     "An error occurred downloading the Icecast directory.  Please try again later.", IsIcecastListing},
};

// The cache file's size and time of writing, empty when it is missing.
std::string FileIdentity(const std::string& fileName) {
  std::error_code ec;
  const uintmax_t size = fs::file_size(fileName, ec);
  if (ec) return {};
  const auto written = fs::last_write_time(fileName, ec);
  if (ec) return {};
  return std::to_string(size) + "@" + std::to_string(written.time_since_epoch().count());
}

// One piece of work on a thread of its own, and a wait for its end that the owner can leave every so often.
class tAsideWork : public tThread {
 public:
  explicit tAsideWork(const std::function<void()>& work) : Work(work) {}
  ~tAsideWork() override {
    Terminate();
    WaitFor();
  }
  // False when the work was not over within the milliseconds.
  bool WaitForEnd(int milliseconds) {
    std::unique_lock<std::mutex> lock(EndLock);
    return Ended.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return Over; });
  }

 protected:
  void Execute() override {
    Work();
    std::lock_guard<std::mutex> guard(EndLock);
    Over = true;
    Ended.notify_all();
  }

 private:
  const std::function<void()>& Work;
  std::mutex EndLock;
  std::condition_variable Ended;
  bool Over = false;  // guarded by EndLock
};

}  // namespace

std::string GetTempFolder() {
  std::error_code ec;
  std::string folder = fs::temp_directory_path(ec).string();
  if (ec || folder.empty()) folder = "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

int64_t VersionToNumber(const std::string& version) {
  uint64_t value = 0;
  size_t pos = 0;
  while (true) {
    size_t dot = version.find('.', pos);
    std::string part = version.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
    int64_t n;
    // Not a number (or negative) counts as 0, for every part, not only the last.
    uint64_t bits = (ParseInteger(TrimText(part), n) && n >= 0) ? static_cast<uint64_t>(n) : 0;
    value = (value << 16) | bits;
    if (dot == std::string::npos) break;
    pos = dot + 1;
  }
  return static_cast<int64_t>(value);
}

bool IsStale(tDateTime stamp, tDateTime now, double unitsPerDay, int64_t maxAge) {
  // Counted in whole milliseconds first: a stamp exactly 61 minutes old must not come out as 60.9999 minutes.
  double ms = std::fabs(now - stamp) * 86400000.0;
  if (!std::isfinite(ms) || ms >= 9e18 || !(unitsPerDay > 0 && unitsPerDay <= 86400000.0)) return true;
  int64_t msPerUnit = std::llround(86400000.0 / unitsPerDay);
  return std::llround(ms) / msPerUnit > maxAge;
}

bool InflateDocument(const std::string& compressed, std::string& text) {
  text.clear();
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = static_cast<uInt>(compressed.size());
  int result = Z_OK;
  while (result == Z_OK) {
    if (text.size() >= kMaxDocumentBytes) break;
    size_t old = text.size();
    size_t room = std::min(kInflateChunk, kMaxDocumentBytes + 1 - old);
    text.resize(old + room);
    z.next_out = reinterpret_cast<Bytef*>(text.data() + old);
    z.avail_out = static_cast<uInt>(room);
    result = inflate(&z, Z_NO_FLUSH);
    text.resize(old + room - z.avail_out);
    if (result == Z_BUF_ERROR && z.avail_in == 0) break;  // input ended before the stream did
  }
  inflateEnd(&z);
  bool ok = result == Z_STREAM_END && text.size() <= kMaxDocumentBytes;
  if (!ok) text.clear();
  return ok;
}

std::string ReadCacheDocument(const std::string& fileName) {
  std::error_code ec;
  uintmax_t size = fs::file_size(fileName, ec);
  if (ec || size > kMaxDocumentBytes) return {};
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return {};
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (static_cast<uintmax_t>(in.gcount()) != size) return {};
  return DocumentFromCacheBytes(bytes);
}

std::string DocumentFromCacheBytes(const std::string& bytes) {
  if (StartsWithText(bytes, "<?xml")) return bytes.size() <= kMaxDocumentBytes ? bytes : std::string();
  std::string text;
  InflateDocument(bytes, text);
  return text;
}

bool IsStationDocument(const std::string& text) {
  tXMLParser xml;
  return !text.empty() && xml.Parse(text) && xml.Exists("dir");
}

void ReadStationList(tXMLParser& xml, bool directory, bool wantVideo, tStationList& stations) {
  stations.clear();
  for (int i = 0;; ++i) {
    std::string path = "dir.station{" + std::to_string(i) + "}";
    if (!xml.Exists(path)) break;
    auto e = std::make_unique<tRecentPlaylistEntry>();
    std::string name = xml.GetValue(path + ".name");
    e->Description = xml.GetValue(path + ".description");
    e->Genre = xml.GetValue(path + ".genre");
    e->ViewURL = xml.GetValue(path + ".url");
    for (int j = 0;; ++j) {
      std::string url = path + ".servers.url{" + std::to_string(j) + "}";
      if (!xml.Exists(url)) break;
      e->URLs.push_back(xml.GetValue(url));
    }
    if (directory) {
      std::string codecs = xml.GetValue(path + ".codecs");
      bool video = UpperCase(codecs).find("THEORA") != std::string::npos;
      if (video != wantVideo) continue;
      e->Name = e->Description.empty() ? name : name + " (" + e->Description + ")";
      e->Bitrate = xml.GetValue(path + ".bitrate");
      e->OnNow = xml.GetValue(path + ".playing");
      e->Viewers = xml.GetValue(path + ".listeners") + "/" + xml.GetValue(path + ".capacity");
      e->Format = codecs;
    } else {
      e->Name = name;
      e->Format = "Video";
    }
    stations.push_back(std::move(e));
  }
}

tStationDirectory::tStationDirectory(tPlayerSettings& settings, tFetchDocument fetch,
                                     tDirectoryPrompts& prompts, std::string tempFolder, tReadIdle idle)
    : ProgramVersion(GetProgramVersion()),
      Settings(settings),
      Fetch(std::move(fetch)),
      Prompts(prompts),
      TempFolder(std::move(tempFolder)),
      Idle(std::move(idle)) {}

void tStationDirectory::RunAside(const std::function<void()>& work) {
  tAsideWork worker(work);
  worker.Start();
  if (Idle) {
    do {
      Idle();
    } while (!worker.WaitForEnd(kIdleMs));
  }
  worker.WaitFor();
}

bool tStationDirectory::Refresh(tDocument document) {
  const tDocumentKind& kind = kDocumentKinds[static_cast<int>(document)];
  std::string cache = TempFolder + kind.CacheName;
  tDateTime& stamp = Settings.*kind.Stamp;
  std::error_code ec;
  if (!fs::exists(cache, ec)) stamp = 0;
  if (!IsStale(stamp, NowUTC(), kind.UnitsPerDay, kind.MaxAge)) return true;

  std::string fresh = cache + ".new";
  bool ok = false;
  {
    std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
    if (out && Fetch) ok = Fetch(kind.Heading, kind.Caption, kind.Address(Settings), out);
    out.close();
    ok = ok && !out.fail();  // a cache that could not be written whole is no success
  }
  // A download that was cut short, cancelled or empty still "succeeds" as a transfer; only a document that
  // reads whole replaces the cache, so a bad refresh never hides the stations for a whole period.
  if (ok) RunAside([&] { ok = kind.IsWhole(ReadCacheDocument(fresh)); });
  if (ok) {
    stamp = NowUTC();
    Settings.SaveSettings();
    fs::rename(fresh, cache, ec);
    if (ec) ok = fs::copy_file(fresh, cache, fs::copy_options::overwrite_existing, ec);
  }
  if (!ok) Prompts.ShowWarning("Error", kind.Failure);
  return ok;
}

void tStationDirectory::LoadDirectory(bool wantVideo) {
  Refresh(tDocument::Directory);  // on failure the old cache, if any, is read
  tXMLParser xml;
  xml.Parse(ReadCacheDocument(TempFolder + kDirectoryCacheName));
  CheckForNewVersion(xml.GetValue("dir.kestrovaplayer.version"));
  ReadStationList(xml, true, wantVideo, Stations);
}

bool tStationDirectory::LoadChannelList() {
  if (!Refresh(tDocument::ChannelList)) return false;
  tXMLParser xml;
  xml.Parse(ReadCacheDocument(TempFolder + kChannelCacheName));
  ReadStationList(xml, false, false, Stations);
  return true;
}

void tStationDirectory::LoadIcecastDirectory(bool wantVideo) {
  Refresh(tDocument::Icecast);  // on failure the old cache, if any, is read
  ReadIcecastCache();
  Stations.clear();
  for (const tIcecastStation& s : IcecastStations)
    if (s.Video == wantVideo) Stations.push_back(std::make_unique<tRecentPlaylistEntry>(s.Station));
}

void tStationDirectory::ReadIcecastCache() {
  const std::string cache = TempFolder + kIcecastCacheName;
  const std::string identity = FileIdentity(cache);
  if (!identity.empty() && identity == IcecastCacheRead) return;
  IcecastCacheRead = identity;
  // Megabytes of text: read aside, so the window keeps answering meanwhile.
  tIcecastStations read;
  RunAside([&] {
    tXMLParser xml;
    xml.Parse(ReadCacheDocument(cache));
    ReadIcecastListing(xml, read);
  });
  IcecastStations = std::move(read);
}

void tStationDirectory::CheckForNewVersion(const std::string& advertised) {
  if (VersionToNumber(advertised) <= VersionToNumber(ProgramVersion)) return;
  if (advertised == Settings.LastPlayerCheck) return;
  Settings.LastPlayerCheck = advertised;
  Settings.SaveSettings();
  if (Prompts.AskYesNo("Upgrade to Kestrova.TV Player " + advertised,
                       "There is a new version of the Kestrova.TV player available.\r\n"
                       "Would you like to download the new version?"))
    Prompts.OpenWebPage(BaseURL(Settings.WebSite) + kPlayerPagePath);
}

}  // namespace ktv
