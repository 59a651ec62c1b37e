#include "library/player_settings.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <variant>

#include "library/playlist.h"
#include "platform/text.h"

namespace ktv {

namespace {

// Days from 30 December 1899 to 1 January 1970.
constexpr double kUnixEpochDays = 25569.0;

bool (*DirectXProbe)() = nullptr;
bool (*PreferDirectXProbe)() = nullptr;

const std::string kKey = kSettingsKey;
const std::string kMRUKey = kKey + "\\MRU";
// Beside UseDirectX: 1 when its value is the user's choice rather than the default of the machine that saved.
const std::string kBackEndChosen = "UseDirectXChosen";

bool ReadInt(const tRegistry& store, const std::string& key, const std::string& name, int64_t& value) {
  std::string text;
  return store.ReadString(key, name, text) && ParseInteger(TrimText(text), value);
}

int32_t ReadInt32(const tRegistry& store, const std::string& key, const std::string& name, int32_t fallback) {
  int64_t v;
  if (!ReadInt(store, key, name, v) || v < std::numeric_limits<int32_t>::min() ||
      v > std::numeric_limits<int32_t>::max())
    return fallback;
  return static_cast<int32_t>(v);
}

void WriteInt(tRegistry& store, const std::string& key, const std::string& name, int64_t value) {
  store.WriteString(key, name, std::to_string(value));
}

// A list's entry count, bounded by what the key can hold so a damaged count cannot make millions of entries.
int64_t ReadCount(const tRegistry& store, const std::string& key) {
  int64_t count = ReadInt32(store, key, "count", 0);
  return std::clamp<int64_t>(count, 0, static_cast<int64_t>(store.ValueNames(key).size()));
}

tDateTime ReadDateTime(const tRegistry& store, const std::string& key) {
  std::string bytes = ReadBlock(store, key, sizeof(double));
  bytes.resize(sizeof(double), '\0');
  double value;
  std::memcpy(&value, bytes.data(), sizeof value);
  // A damaged stamp must not become NaN or infinity: ages and sorting depend on it.
  return std::isfinite(value) ? value : 0.0;
}

void WriteDateTime(tRegistry& store, const std::string& key, tDateTime value) {
  std::string bytes(sizeof value, '\0');
  std::memcpy(bytes.data(), &value, sizeof value);
  WriteBlock(store, key, bytes);
}

void ReadStations(const tRegistry& store, const std::string& key, tStationList& list) {
  list.clear();
  int64_t count = ReadCount(store, key);
  for (int64_t i = 0; i < count; ++i) {
    std::string n = std::to_string(i);
    auto e = std::make_unique<tRecentPlaylistEntry>();
    e->Name = store.ReadString(key, "name" + n);
    e->ViewURL = store.ReadString(key, "ViewURL" + n);
    e->Viewers = store.ReadString(key, "Viewers" + n);
    e->OnNow = store.ReadString(key, "OnNow" + n);
    e->Genre = store.ReadString(key, "genre" + n);
    e->Description = store.ReadString(key, "Description" + n);
    e->URLs = SplitLines(store.ReadString(key, "url" + n));
    e->Format = store.ReadString(key, "format" + n);
    e->Bitrate = store.ReadString(key, "bitrate" + n);
    e->Stamp = ReadDateTime(store, key + "\\stamp" + n);
    list.push_back(std::move(e));
  }
}

void WriteStations(tRegistry& store, const std::string& key, const tStationList& list) {
  store.DeleteKey(key);
  store.CreateKey(key);
  WriteInt(store, key, "count", static_cast<int64_t>(list.size()));
  for (size_t i = 0; i < list.size(); ++i) {
    const tRecentPlaylistEntry& e = *list[i];
    std::string n = std::to_string(i);
    std::string urls;
    for (const std::string& url : e.URLs) urls += url + "\r\n";
    store.WriteString(key, "name" + n, e.Name);
    store.WriteString(key, "ViewURL" + n, e.ViewURL);
    store.WriteString(key, "Viewers" + n, e.Viewers);
    store.WriteString(key, "OnNow" + n, e.OnNow);
    store.WriteString(key, "genre" + n, e.Genre);
    store.WriteString(key, "Description" + n, e.Description);
    store.WriteString(key, "url" + n, urls);
    store.WriteString(key, "format" + n, e.Format);
    store.WriteString(key, "bitrate" + n, e.Bitrate);
    WriteDateTime(store, key + "\\stamp" + n, e.Stamp);
  }
}

// The values of the settings key, in the order they are written: name, field, default as stored (null for
// UseDirectX: set apart by LoadBackEndChoice, false before), and for numbers the range beyond which
// a stored value counts as damage and gives the default.
struct tSetting {
  const char* Name;
  std::variant<bool tPlayerSettings::*, uint16_t tPlayerSettings::*, int32_t tPlayerSettings::*,
               std::string tPlayerSettings::*>
      Field;
  const char* Default;
  int64_t Min = std::numeric_limits<int32_t>::min();
  int64_t Max = std::numeric_limits<int32_t>::max();
};

const tSetting kSettings[] = {
    {"ShowTVBorder", &tPlayerSettings::ShowTVBorder, "1"},
    {"LastVolume", &tPlayerSettings::LastVolume, "65535", 0, 65535},  // beyond is damage, not louder
    {"UseDirectX", &tPlayerSettings::UseDirectX, nullptr},
    {"BufferSeconds", &tPlayerSettings::BufferSeconds, "10"},
    {"ReconnectAttempts", &tPlayerSettings::ReconnectAttempts, "5", 0, kMaxReconnectAttempts},
    {"FilmGrain", &tPlayerSettings::FilmGrain, "1"},
    {"FilmGrainValue", &tPlayerSettings::FilmGrainValue, "90"},
    {"HighQualityVideo", &tPlayerSettings::HighQualityVideo, "1"},
    {"MinimizeToTray", &tPlayerSettings::MinimizeToTray, "1"},
    {"PlayInTray", &tPlayerSettings::PlayInTray, "1"},
    {"StayOnTop", &tPlayerSettings::StayOnTop, "1"},
    {"LastPlayerCheck", &tPlayerSettings::LastPlayerCheck, "0.0.0.0"},
    {"MaxRenderW", &tPlayerSettings::MaxRenderW, "352"},
    {"MaxRenderH", &tPlayerSettings::MaxRenderH, "288"},
    {"VisEnabled", &tPlayerSettings::VisEnabled, "1"},
    {"LowPriority", &tPlayerSettings::LowPriority, "1"},
    {"FirstRun", &tPlayerSettings::FirstRun, "1"},
    {"DirectoryServer", &tPlayerSettings::DirectoryServer, "http://dir.kestrova.tv"},
    {"WebSite", &tPlayerSettings::WebSite, "http://www.kestrova.tv"},
    {"IcecastDirectory", &tPlayerSettings::IcecastDirectory, kDefaultIcecastDirectory},
};

// Sets the field from its stored text; false (field unchanged) when the text is no valid value for it. A
// Boolean is any number, true unless 0.
bool AssignSetting(const tSetting& setting, const std::string& text, tPlayerSettings& settings) {
  return std::visit(
      [&](auto field) {
        using tValue = std::remove_reference_t<decltype(settings.*field)>;
        if constexpr (std::is_same_v<tValue, std::string>) {
          settings.*field = text;
          return true;
        } else {
          int64_t number;
          if (!ParseInteger(TrimText(text), number)) return false;
          if constexpr (std::is_same_v<tValue, bool>) {
            settings.*field = number != 0;
          } else {
            if (number < setting.Min || number > setting.Max) return false;
            settings.*field = static_cast<tValue>(number);
          }
          return true;
        }
      },
      setting.Field);
}

std::string SettingText(const tSetting& setting, const tPlayerSettings& settings) {
  return std::visit(
      [&](auto field) {
        using tValue = std::remove_cvref_t<decltype(settings.*field)>;
        if constexpr (std::is_same_v<tValue, std::string>) {
          return settings.*field;
        } else if constexpr (std::is_same_v<tValue, bool>) {
          return std::string(settings.*field ? "1" : "0");
        } else {
          return std::to_string(settings.*field);
        }
      },
      setting.Field);
}

// A station's texts as the store keeps them: each capped (a name of megabytes once made a settings file the
// next start refused), and addresses too long to keep whole left out.
void CapEntry(tRecentPlaylistEntry& e) {
  for (std::string* text :
       {&e.Name, &e.Description, &e.Genre, &e.Format, &e.Bitrate, &e.OnNow, &e.ViewURL, &e.Viewers})
    *text = CapText(*text, kMaxListingText);
  std::erase_if(e.URLs, [](const std::string& url) { return url.size() > kMaxAddressBytes; });
  if (e.URLs.size() > kMaxStoredURLs) e.URLs.resize(kMaxStoredURLs);
}

bool ShareAURL(const tRecentPlaylistEntry& a, const tRecentPlaylistEntry& b) {
  for (const std::string& x : a.URLs)
    for (const std::string& y : b.URLs)
      if (SameText(x, y)) return true;
  return false;
}

}  // namespace

std::string CapText(const std::string& text, size_t maxBytes) {
  static constexpr std::string_view kEllipsis = "\xE2\x80\xA6";
  if (text.size() <= maxBytes) return text;
  if (maxBytes < kEllipsis.size()) return {};
  size_t cut = maxBytes - kEllipsis.size();
  // Never half a character: back up over UTF-8 continuation bytes to the start of the one cut through.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + std::string(kEllipsis);
}

tDateTime NowUTC() {
  using namespace std::chrono;
  double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
  return kUnixEpochDays + seconds / 86400.0;
}

bool CanUseDirectX() {
  return DirectXProbe ? DirectXProbe() : false;
}

void SetCanUseDirectXProbe(bool (*probe)()) {
  DirectXProbe = probe;
}

bool PreferDirectX() {
  return CanUseDirectX() && (!PreferDirectXProbe || PreferDirectXProbe());
}

void SetPreferDirectXProbe(bool (*probe)()) {
  PreferDirectXProbe = probe;
}

void WriteBlock(tRegistry& store, const std::string& key, const std::string& bytes) {
  store.CreateKey(key);
  WriteInt(store, key, "Size", static_cast<int64_t>(bytes.size()));
  for (size_t i = 0; i * 4 < bytes.size(); ++i) {
    uint32_t group = 0;
    for (size_t b = 0; b < 4 && i * 4 + b < bytes.size(); ++b)
      group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i * 4 + b])) << (8 * b);
    WriteInt(store, key, "Data" + std::to_string(i), static_cast<int32_t>(group));
  }
}

std::string ReadBlock(const tRegistry& store, const std::string& key, size_t maxBytes) {
  int64_t size;
  if (!ReadInt(store, key, "Size", size) || size <= 0) return {};
  size_t n = static_cast<size_t>(std::min<int64_t>(size, static_cast<int64_t>(maxBytes)));
  std::string bytes;
  for (size_t i = 0; i * 4 < n; ++i) {
    int32_t group = ReadInt32(store, key, "Data" + std::to_string(i), 0);
    uint32_t u = static_cast<uint32_t>(group);
    for (size_t b = 0; b < 4 && bytes.size() < n; ++b) bytes += static_cast<char>((u >> (8 * b)) & 0xFF);
  }
  return bytes;
}

tPlayerSettings::tPlayerSettings(const std::string& storeFile) : Registry(storeFile) {
  ResetToDefaults();
}

tPlayerSettings& Settings() {
  static tPlayerSettings settings;
  return settings;
}

void tPlayerSettings::ResetToDefaults() {
  for (const tSetting& setting : kSettings)
    AssignSetting(setting, setting.Default ? setting.Default : "0", *this);
  MRU.clear();
  visrefresh = 0;
  strrefresh = 0;
  icerefresh = 0;
  recent.clear();
  books.clear();
  ChosenUseDirectX.reset();
}

void tPlayerSettings::LoadBackEndChoice() {
  int64_t stored = 0, chosen = 0;
  const bool hasStored = ReadInt(Registry, kKey, "UseDirectX", stored);
  const bool hasChosen = ReadInt(Registry, kKey, kBackEndChosen, chosen);
  if (hasStored && hasChosen && chosen != 0) {
    ChosenUseDirectX = stored != 0;
  } else if (hasStored && !hasChosen && stored == 0) {
    // A store of an earlier version wrote its default, which was OpenGL wherever OpenGL could run: its 1
    // cannot be told from a choice and follows today's default, but its 0 was chosen (or OpenGL could not
    // run then) and is kept.
    ChosenUseDirectX = false;
  }
  UseDirectX = ChosenUseDirectX.value_or(PreferDirectX());
}

bool tPlayerSettings::LoadSettings() {
  bool read = Registry.Load();
  ResetToDefaults();
  const tRegistry& s = Registry;
  for (const tSetting& setting : kSettings) {
    std::string text;
    if (s.ReadString(kKey, setting.Name, text)) AssignSetting(setting, text, *this);
  }
  LoadBackEndChoice();
  int64_t mruCount = ReadCount(s, kMRUKey);
  for (int64_t i = 0; i < mruCount; ++i) MRU.push_back(s.ReadString(kMRUKey, "mru" + std::to_string(i)));
  visrefresh = ReadDateTime(s, kKey + "\\visrefresh");
  strrefresh = ReadDateTime(s, kKey + "\\strrefresh");
  icerefresh = ReadDateTime(s, kKey + "\\icerefresh");
  ReadStations(s, kKey + "\\recent", recent);
  ReadStations(s, kKey + "\\books", books);
  return read;
}

bool tPlayerSettings::SaveSettings() {
  tRegistry& s = Registry;
  for (const tSetting& setting : kSettings) s.WriteString(kKey, setting.Name, SettingText(setting, *this));
  // The value is the user's when it is not today's default, or when it was loaded as chosen and is unchanged
  // (a choice that happens to match the default of this machine still holds on the next).
  const bool chosen = UseDirectX != PreferDirectX() || ChosenUseDirectX == UseDirectX;
  ChosenUseDirectX = chosen ? std::optional<bool>(UseDirectX) : std::nullopt;
  s.WriteString(kKey, kBackEndChosen, chosen ? "1" : "0");
  s.DeleteKey(kMRUKey);
  s.CreateKey(kMRUKey);
  WriteInt(s, kMRUKey, "count", static_cast<int64_t>(MRU.size()));
  for (size_t i = 0; i < MRU.size(); ++i) s.WriteString(kMRUKey, "mru" + std::to_string(i), MRU[i]);
  WriteDateTime(s, kKey + "\\visrefresh", visrefresh);
  WriteDateTime(s, kKey + "\\strrefresh", strrefresh);
  WriteDateTime(s, kKey + "\\icerefresh", icerefresh);
  TrimRecent();
  WriteStations(s, kKey + "\\recent", recent);
  WriteStations(s, kKey + "\\books", books);
  return s.Save();
}

void tPlayerSettings::AddToMRU(const std::string& rawUrl) {
  std::string url = TrimText(rawUrl);
  if (url.size() > kMaxAddressBytes) return;  // no address; cut, it would be another one
  MRU.erase(std::remove_if(MRU.begin(), MRU.end(), [&](const std::string& u) { return SameText(u, url); }),
            MRU.end());
  MRU.insert(MRU.begin(), url);
  if (MRU.size() > kMaxMRU) MRU.resize(kMaxMRU);
  SaveSettings();
}

void tPlayerSettings::AddPlaylistToRecent(const tPlaylist& playlist) {
  if (playlist.Count() < 1) return;
  auto entry = std::make_unique<tRecentPlaylistEntry>();
  for (int i = 0; i < playlist.Count(); ++i) {
    const tPlayListEntry& p = playlist[i];
    entry->Name = p.Title;
    entry->Description = p.Annotation;
    entry->Genre = p.Genre;
    entry->ViewURL = p.Info;
    entry->Stamp = NowUTC();
    entry->URLs.push_back(p.Location);
  }
  AddOrReplaceEntry(std::move(entry), recent);
}

void tPlayerSettings::AddOrReplaceEntry(std::unique_ptr<tRecentPlaylistEntry> entry, tStationList& list) {
  CapEntry(*entry);
  auto same =
      std::find_if(list.begin(), list.end(), [&](const auto& item) { return ShareAURL(*item, *entry); });
  if (same != list.end()) {
    *same = std::move(entry);
  } else {
    list.push_back(std::move(entry));
  }
  SaveSettings();
}

void tPlayerSettings::AddToBookmarks(const tRecentPlaylistEntry& station) {
  if (station.URLs.empty()) return;
  auto copy = std::make_unique<tRecentPlaylistEntry>(station);
  copy->Viewers.clear();
  copy->OnNow.clear();
  copy->Stamp = NowUTC();
  AddOrReplaceEntry(std::move(copy), books);
}

void tPlayerSettings::RemoveRecent(const tRecentPlaylistEntry* entry) {
  auto it = std::find_if(recent.begin(), recent.end(), [&](const auto& item) { return item.get() == entry; });
  if (it == recent.end()) return;
  recent.erase(it);
  SaveSettings();
}

void tPlayerSettings::SortBookmarks() {
  std::stable_sort(books.begin(), books.end(),
                   [](const auto& a, const auto& b) { return LowerCase(a->Name) < LowerCase(b->Name); });
}

void tPlayerSettings::TrimRecent() {
  if (recent.size() < kMaxRecent) return;
  std::stable_sort(recent.begin(), recent.end(),
                   [](const auto& a, const auto& b) { return a->Stamp < b->Stamp; });
  recent.erase(recent.begin(), recent.end() - static_cast<std::ptrdiff_t>(kMaxRecent));
}

}  // namespace ktv
