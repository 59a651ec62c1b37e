#include "library/station_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <streambuf>

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

// The byte-order mark a listing's writer may put first.
constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";

// A stream over a file descriptor the caller opened (and closes): the download writes the new cache through
// it into a file made with O_EXCL, so nothing planted under that name is ever followed or written.
class tDescriptorBuffer : public std::streambuf {
 public:
  explicit tDescriptorBuffer(int fd) : Fd(fd) {}

 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    std::streamsize done = 0;
    while (done < count) {
      ssize_t n = ::write(Fd, bytes + done, static_cast<size_t>(count - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += n;
    }
    return done;
  }
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }

 private:
  int Fd;
};

// Makes the folder (and its parents) when missing; a folder made here is the user's alone.
bool MakePrivateFolder(const std::string& folder) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return true;
  fs::create_directories(folder, ec);
  if (ec) return false;
  return ::chmod(folder.c_str(), 0700) == 0;
}

// The station's name, or its first address when it has none: an empty row cannot be told apart or picked.
std::string NameOrAddress(const std::string& name, const std::vector<std::string>& urls) {
  if (!TrimText(name).empty() || urls.empty()) return name;
  return CapText(urls.front(), kMaxListingText);
}

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

std::string GetCacheFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  std::string root;
  if (cache && *cache == '/') {  // a relative value is to be ignored
    root = cache;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || *home != '/') return {};
    root = std::string(home) + "/.cache";
  }
  std::error_code ec;
  fs::create_directories(root, ec);
  const std::string folder = root + "/kestrova";
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  // An existing one must be a real folder of this user's (not a link someone planted), and private.
  struct stat info;
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) return {};
  if ((info.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) return {};
  return folder + "/";
}

std::string GetTempFolder() {
  return GetCacheFolder();
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
  size_t start = StartsWithText(bytes, kByteOrderMark) ? 3 : 0;
  while (start < bytes.size() && static_cast<unsigned char>(bytes[start]) <= 32) ++start;
  if (StartsWithText(bytes.substr(start, 5), "<?xml"))
    return bytes.size() <= kMaxDocumentBytes ? bytes : std::string();
  std::string text;
  InflateDocument(bytes, text);
  return text;
}

bool IsStationDocument(const std::string& text) {
  tXMLParser xml;
  return !text.empty() && xml.Parse(text) && xml.Exists("dir");
}

namespace {

// The stations of a parsed document in document order: a directory's into video or radio by their flag (a
// list that is null takes none), a channel list's all into radio.
void ReadStations(tXMLParser& xml, bool directory, tStationList* video, tStationList* radio) {
  if (video) video->clear();
  if (radio) radio->clear();
  // Walked as the paths "dir.station{i}.name" and so on would find each element, from the station down: tens
  // of thousands of stations are read in a blink instead of a third of a second.
  const tXMLTree* dir = xml.Root->FindChild("dir{0}");
  if (!dir) return;
  const auto value = [&xml](const tXMLTree* node) {
    return !node ? std::string() : xml.DecodeEntities ? XMLUnescape(node->Text) : node->Text;
  };
  for (int i = 0;; ++i) {
    const tXMLTree* station = dir->FindChild("station{" + std::to_string(i) + "}");
    if (!station) break;
    const auto field = [&](const char* name) { return value(station->FindChild(std::string(name) + "{0}")); };
    const auto text = [&](const char* name) { return CapText(field(name), kMaxListingText); };
    tStationList* into = radio;
    std::string codecs;
    if (directory) {
      codecs = field("codecs");
      into = UpperCase(codecs).find("THEORA") != std::string::npos ? video : radio;
      if (!into) continue;
    }
    auto e = std::make_unique<tRecentPlaylistEntry>();
    if (const tXMLTree* servers = station->FindChild("servers{0}")) {
      for (int j = 0;; ++j) {
        const tXMLTree* url = servers->FindChild("url{" + std::to_string(j) + "}");
        if (!url) break;
        std::string address = value(url);
        if (address.size() <= kMaxAddressBytes) e->URLs.push_back(std::move(address));
      }
    }
    e->Description = text("description");
    if (directory) {
      const std::string name = NameOrAddress(text("name"), e->URLs);
      e->Name = CapText(e->Description.empty() ? name : name + " (" + e->Description + ")", kMaxListingText);
      e->Bitrate = text("bitrate");
      e->OnNow = text("playing");
      e->Viewers = CapText(text("listeners") + "/" + text("capacity"), kMaxListingText);
      e->Format = CapText(codecs, kMaxListingText);
    } else {
      e->Name = NameOrAddress(text("name"), e->URLs);
      e->Format = "Video";
    }
    e->Genre = text("genre");
    e->ViewURL = text("url");
    into->push_back(std::move(e));
  }
}

}  // namespace

void ReadStationList(tXMLParser& xml, bool directory, bool wantVideo, tStationList& stations) {
  if (directory && wantVideo)
    ReadStations(xml, true, &stations, nullptr);
  else
    ReadStations(xml, directory, nullptr, &stations);
}

void ReadDirectoryStations(tXMLParser& xml, tStationList& video, tStationList& radio) {
  ReadStations(xml, true, &video, &radio);
}

tStationList CopyStations(const tStationList& stations) {
  tStationList copy;
  copy.reserve(stations.size());
  for (const auto& station : stations) copy.push_back(std::make_unique<tRecentPlaylistEntry>(*station));
  return copy;
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
  const int index = static_cast<int>(document);
  const tDocumentKind& kind = kDocumentKinds[index];
  const std::string cache = TempFolder + kind.CacheName;
  tDateTime& stamp = Settings.*kind.Stamp;
  std::error_code ec;
  if (!fs::exists(cache, ec)) stamp = 0;
  const tDateTime now = Now();
  if (!IsStale(stamp, now, kind.UnitsPerDay, kind.MaxAge)) return true;
  // Failed a moment ago: the user has been told; the old cache (if any) serves until the retry is due.
  if (FailedAt[index] != 0 && !IsStale(FailedAt[index], now, 24.0 * 60.0, kRetryMinutes - 1)) return false;

  // A fresh file of a name nobody can guess or plant, in the private folder; whatever an earlier run left
  // behind is in nobody's way.
  bool ok = false;
  std::string fresh = cache + ".XXXXXX";
  int fd = TempFolder.empty() || !MakePrivateFolder(TempFolder) ? -1 : ::mkstemp(fresh.data());
  if (fd >= 0) {
    tDescriptorBuffer buffer(fd);
    std::ostream out(&buffer);
    if (Fetch) ok = Fetch(kind.Heading, kind.Caption, kind.Address(Settings), out);
    out.flush();
    ok = ok && !out.fail();  // a cache that could not be written whole is no success
    ok = (::close(fd) == 0) && ok;
    // A download that was cut short, cancelled or empty can still "succeed" as a transfer; only a document
    // that reads whole replaces the cache, so a bad refresh never hides the stations for a whole period.
    if (ok) RunAside([&] { ok = kind.IsWhole(ReadCacheDocument(fresh)); });
    if (ok) ok = ::rename(fresh.c_str(), cache.c_str()) == 0;
    if (!ok) ::unlink(fresh.c_str());
  }
  if (ok) {
    // Only once the new document is in place: a stamp saved before would mark a cache fresh that never came.
    FailedAt[index] = 0;
    stamp = now;
    Settings.SaveSettings();
  } else {
    FailedAt[index] = now;
    Prompts.ShowWarning("Error", kind.Failure);
  }
  return ok;
}

void tStationDirectory::LoadDirectory(bool wantVideo) {
  Refresh(tDocument::Directory);  // on failure the old cache, if any, is read
  ReadDirectoryCache();
  CheckForNewVersion(DirectoryAdvertised);
  Stations = CopyStations(DirectoryStations[wantVideo ? 1 : 0]);
}

void tStationDirectory::ReadDirectoryCache() {
  const std::string cache = TempFolder + kDirectoryCacheName;
  const std::string identity = FileIdentity(cache);
  if (!identity.empty() && identity == DirectoryCacheRead) return;
  DirectoryCacheRead = identity;
  // A directory of tens of thousands of stations takes a while to read: aside, while the window answers.
  tStationList video, radio;
  std::string advertised;
  RunAside([&] {
    tXMLParser xml;
    xml.Parse(ReadCacheDocument(cache));
    advertised = xml.GetValue("dir.kestrovaplayer.version");
    ReadDirectoryStations(xml, video, radio);
  });
  DirectoryStations[0] = std::move(radio);
  DirectoryStations[1] = std::move(video);
  DirectoryAdvertised = advertised;
}

bool tStationDirectory::LoadChannelList() {
  if (!Refresh(tDocument::ChannelList)) return false;
  tStationList read;
  const std::string cache = TempFolder + kChannelCacheName;
  RunAside([&] {
    tXMLParser xml;
    xml.Parse(ReadCacheDocument(cache));
    ReadStationList(xml, false, false, read);
  });
  Stations = std::move(read);
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
