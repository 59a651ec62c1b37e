#include "platform/registry.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/text.h"

namespace ktv {

namespace fs = std::filesystem;

namespace {

// First line of every store file; a file without it is not ours or is damaged.
constexpr const char* kHeader = "KestrovaRegistry 1";
// Last line: "end " + checksum of everything before it, so truncation and stray edits are noticed.
constexpr const char* kTrailer = "end ";

// Backslash-separated path without empty steps: "\A\\B\" and "A\B" name the same key.
std::string Normalise(const std::string& key) {
  std::string out;
  size_t pos = 0;
  while (pos <= key.size()) {
    size_t sep = key.find('\\', pos);
    std::string step = key.substr(pos, sep == std::string::npos ? std::string::npos : sep - pos);
    pos = sep == std::string::npos ? key.size() + 1 : sep + 1;
    if (step.empty()) continue;
    if (!out.empty()) out += '\\';
    out += step;
  }
  return out;
}

uint32_t Checksum(const std::string& text) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

// Controls, bytes beyond ASCII and the characters of the file's own syntax are escaped.
bool NeedsEscape(unsigned char c) {
  return c < 32 || c >= 127 || c == '%' || c == '=' || c == '[' || c == ']';
}

std::string Encode(const std::string& text) {
  return PercentEscape(text, NeedsEscape);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Decode(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

bool SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

bool WriteFileAtomically(const std::string& fileName, const std::string& bytes) {
  std::error_code ec;
  fs::path target(fileName);
  fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  fs::create_directories(folder, ec);
  std::string temp = fileName + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), fileName.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  SyncFolder(folder.string());  // best effort: the rename is done either way
  return true;
}

std::string DefaultRegistryFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string root;
  if (config && *config == '/') {
    root = config;
  } else {
    const char* home = std::getenv("HOME");
    root = std::string(home ? home : ".") + "/.config";
  }
  return root + "/kestrova/settings";
}

tRegistry::tRegistry(std::string fileName) : File(std::move(fileName)) {}

bool tRegistry::Load() {
  Keys.clear();
  Damaged = false;
  std::error_code ec;
  if (!fs::exists(File, ec)) return false;
  std::ifstream in(File, std::ios::binary);
  std::string text;
  bool read = false;
  if (in) {
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size >= 0 && static_cast<uint64_t>(size) <= kMaxRegistryBytes) {
      in.seekg(0);
      text.resize(static_cast<size_t>(size));
      in.read(text.data(), size);
      read = in.gcount() == size;
    }
  }
  if (read && Deserialize(text)) return true;

  Keys.clear();
  Damaged = true;
  // Keep the damaged file for the user; the store file itself is only replaced by the next successful save.
  fs::copy_file(File, File + ".damaged", fs::copy_options::overwrite_existing, ec);
  // The file before the last save is the settings as they were a moment earlier: far better than defaults.
  return LoadBackup();
}

bool tRegistry::LoadBackup() {
  Keys.clear();
  std::ifstream in(File + ".bak", std::ios::binary);
  if (!in) return false;
  std::string text(kMaxRegistryBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() <= kMaxRegistryBytes && Deserialize(text)) return true;
  Keys.clear();
  return false;
}

bool tRegistry::Save() {
  const std::string text = Serialize();
  // Never write what the next start would refuse to read.
  if (text.size() > kMaxRegistryBytes) return false;
  // The file now in place read well (or was ours): it becomes the backup the next Load falls back to.
  std::error_code ec;
  if (!Damaged && fs::is_regular_file(File, ec))
    fs::copy_file(File, File + ".bak", fs::copy_options::overwrite_existing, ec);
  return WriteFileAtomically(File, text);
}

std::string tRegistry::Serialize() const {
  std::string body = std::string(kHeader) + "\n";
  for (const auto& [lowered, key] : Keys) {
    body += "[" + Encode(key.Path) + "]\n";
    for (const auto& [name, value] : key.Values) body += Encode(name) + "=" + Encode(value) + "\n";
  }
  char trailer[32];
  std::snprintf(trailer, sizeof trailer, "%s%08X\n", kTrailer, Checksum(body));
  return body + trailer;
}

bool tRegistry::Deserialize(const std::string& text) {
  // The trailer line closes the file; what precedes it must match its checksum.
  if (text.size() < 2 || text.back() != '\n') return false;
  size_t lastStart = text.rfind('\n', text.size() - 2);
  if (lastStart == std::string::npos) return false;
  std::string body = text.substr(0, lastStart + 1);
  std::string trailer = text.substr(lastStart + 1, text.size() - lastStart - 2);
  char expected[32];
  std::snprintf(expected, sizeof expected, "%s%08X", kTrailer, Checksum(body));
  if (trailer != expected) return false;

  std::istringstream lines(body);
  std::string line;
  if (!std::getline(lines, line) || line != kHeader) return false;
  tKey* current = nullptr;
  while (std::getline(lines, line)) {
    if (!line.empty() && line[0] == '[') {
      std::string path;
      if (line.back() != ']' || !Decode(line.substr(1, line.size() - 2), path)) return false;
      CreateKey(path);
      current = &Keys[LowerCase(Normalise(path))];
      continue;
    }
    size_t eq = line.find('=');
    std::string name, value;
    if (!current || eq == std::string::npos || !Decode(line.substr(0, eq), name) ||
        !Decode(line.substr(eq + 1), value))
      return false;
    WriteString(current->Path, name, value);
  }
  return true;
}

const tRegistry::tKey* tRegistry::FindKey(const std::string& key) const {
  auto it = Keys.find(LowerCase(Normalise(key)));
  return it == Keys.end() ? nullptr : &it->second;
}

bool tRegistry::KeyExists(const std::string& key) const {
  std::string lowered = LowerCase(Normalise(key));
  if (Keys.count(lowered)) return true;
  // A parent of an existing key exists too.
  auto it = Keys.lower_bound(lowered + "\\");
  return it != Keys.end() && it->first.compare(0, lowered.size() + 1, lowered + "\\") == 0;
}

bool tRegistry::ValueExists(const std::string& key, const std::string& name) const {
  std::string unused;
  return ReadString(key, name, unused);
}

std::string tRegistry::ReadString(const std::string& key, const std::string& name) const {
  std::string value;
  ReadString(key, name, value);
  return value;
}

const std::string* tRegistry::tKey::Find(const std::string& name) const {
  auto it = Index.find(LowerCase(name));
  return it == Index.end() ? nullptr : &Values[it->second].second;
}

bool tRegistry::ReadString(const std::string& key, const std::string& name, std::string& value) const {
  const tKey* k = FindKey(key);
  const std::string* found = k ? k->Find(name) : nullptr;
  if (found) value = *found;
  return found != nullptr;
}

void tRegistry::CreateKey(const std::string& key) {
  std::string path = Normalise(key);
  tKey& k = Keys[LowerCase(path)];
  if (k.Path.empty()) k.Path = path;
}

void tRegistry::WriteString(const std::string& key, const std::string& name, const std::string& value) {
  CreateKey(key);
  tKey& k = Keys[LowerCase(Normalise(key))];
  auto [at, added] = k.Index.emplace(LowerCase(name), k.Values.size());
  if (added) {
    k.Values.emplace_back(name, value);
  } else {
    k.Values[at->second].second = value;
  }
}

void tRegistry::DeleteValue(const std::string& key, const std::string& name) {
  auto it = Keys.find(LowerCase(Normalise(key)));
  if (it == Keys.end()) return;
  tKey& k = it->second;
  auto at = k.Index.find(LowerCase(name));
  if (at == k.Index.end()) return;
  k.Values.erase(k.Values.begin() + static_cast<std::ptrdiff_t>(at->second));
  k.Index.clear();
  for (size_t i = 0; i < k.Values.size(); ++i) k.Index.emplace(LowerCase(k.Values[i].first), i);
}

void tRegistry::DeleteKey(const std::string& key) {
  std::string lowered = LowerCase(Normalise(key));
  Keys.erase(lowered);
  std::string prefix = lowered + "\\";
  for (auto it = Keys.lower_bound(prefix);
       it != Keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
    it = Keys.erase(it);
}

std::vector<std::string> tRegistry::ValueNames(const std::string& key) const {
  std::vector<std::string> names;
  if (const tKey* k = FindKey(key))
    for (const auto& [n, v] : k->Values) names.push_back(n);
  return names;
}

std::vector<std::string> tRegistry::KeyNames() const {
  std::vector<std::string> names;
  for (const auto& [lowered, key] : Keys) names.push_back(key.Path);
  return names;
}

}  // namespace ktv
