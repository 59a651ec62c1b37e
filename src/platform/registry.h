// The settings store: keys (backslash-separated paths such as "Software\Halcyra Interactive\Kestrova\Player")
// holding named string values, kept in one text file.
//
// Key paths and value names compare without regard to ASCII case, as the program has always expected. The
// file is written atomically (temporary file, fsync, rename), so a crash during a save leaves the previous
// settings intact. A damaged or truncated file reads as an empty store; the damaged file is copied aside
// (file name + ".damaged") and stays in place until the next successful save replaces it.
//
// Thread contract: not shared; user-interface thread only.
#pragma once

#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ktv {

// Store files larger than this are taken as damaged: the settings are a few kilobytes.
constexpr size_t kMaxRegistryBytes = 16u << 20;

class tRegistry {
 public:
  explicit tRegistry(std::string fileName);

  // Replaces the contents with the file's. True when the file was read; false when it is missing (empty
  // store) or damaged (file copied aside) and "settings.bak" (file name + ".bak") cannot stand in for it.
  bool Load();
  // Writes the whole store atomically, making the folder when needed; the file it replaces is kept as the
  // backup first. False when anything failed, or when the store has outgrown kMaxRegistryBytes (a file Load
  // would refuse is never written); the previous file is then unchanged.
  bool Save();
  // True when the last Load found a damaged file.
  bool WasDamaged() const { return Damaged; }
  const std::string& FileName() const { return File; }

  bool KeyExists(const std::string& key) const;
  bool ValueExists(const std::string& key, const std::string& name) const;
  // The value, or empty when it does not exist.
  std::string ReadString(const std::string& key, const std::string& name) const;
  bool ReadString(const std::string& key, const std::string& name, std::string& value) const;
  // Creates the key (and its parents) when needed.
  void WriteString(const std::string& key, const std::string& name, const std::string& value);
  void CreateKey(const std::string& key);
  void DeleteValue(const std::string& key, const std::string& name);
  // Deletes the key with all its values and subkeys.
  void DeleteKey(const std::string& key);
  std::vector<std::string> ValueNames(const std::string& key) const;
  // Every key path, in a stable order (for tests and inspection).
  std::vector<std::string> KeyNames() const;

 private:
  struct tKey {
    std::string Path;                                         // as first written
    std::vector<std::pair<std::string, std::string>> Values;  // in order of first writing
    std::unordered_map<std::string, size_t> Index;            // lower-cased name to position in Values
    const std::string* Find(const std::string& name) const;
  };
  const tKey* FindKey(const std::string& key) const;
  std::string Serialize() const;
  bool LoadBackup();
  bool Deserialize(const std::string& text);

  std::string File;
  bool Damaged = false;
  std::map<std::string, tKey> Keys;  // by lower-cased normalised path
};

// $XDG_CONFIG_HOME/kestrova/settings (or ~/.config/kestrova/settings).
std::string DefaultRegistryFile();

// Writes a file atomically: temporary file beside it, fsync, rename over, fsync of the folder. Makes the
// folder.
bool WriteFileAtomically(const std::string& fileName, const std::string& bytes);

}  // namespace ktv
