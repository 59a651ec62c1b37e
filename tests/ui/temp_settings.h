// A configuration folder of the test's own: $XDG_CONFIG_HOME points into a temporary folder for the object's
// life, so the real settings store is used and the user's own settings are never touched.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "library/player_settings.h"
#include "support/test_support.h"

namespace ktv::test {

class tTempSettings {
 public:
  tTempSettings() {
    EXPECT_EQ(DefaultRegistryFile().rfind(Folder.Path(), 0), 0u) << "never the user's own settings";
  }
  tTempSettings(const tTempSettings&) = delete;
  tTempSettings& operator=(const tTempSettings&) = delete;

  // A record on the test's store, loaded.
  std::unique_ptr<tPlayerSettings> Load() const {
    auto record = std::make_unique<tPlayerSettings>(DefaultRegistryFile());
    record->LoadSettings();
    return record;
  }
  // The store file's bytes.
  std::string Stored() const { return ReadFile(DefaultRegistryFile()); }
  const tTempDir& Dir() const { return Folder; }

 private:
  tTempDir Folder;
  tScopedEnv Config{"XDG_CONFIG_HOME", Folder.Path()};
};

}  // namespace ktv::test
