#include "platform/registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace ktv {
namespace {

namespace fs = std::filesystem;

TEST(Registry, KeysAndValues) {
  test::tTempDir dir;
  tRegistry r(dir.File("sub/folder/settings"));
  EXPECT_FALSE(r.Load()) << "missing file";
  EXPECT_FALSE(r.WasDamaged()) << "missing is not damaged";
  r.WriteString("A\\B\\C", "Name", "v1");
  r.WriteString("a\\b\\c", "NAME", "v2");
  r.WriteString("\\A\\\\B\\", "x=y[z]", "line1\r\nline2\t%=");
  r.WriteString("A\\B\\C\\D", "deep", "d");
  r.WriteString("A\\BB", "other", "o");
  EXPECT_EQ(r.ReadString("A\\B\\C", "name"), "v2") << "paths and names ignore case; one value per name";
  EXPECT_EQ(r.ValueNames("A\\B\\C"), std::vector<std::string>{"Name"}) << "the first spelling stays";
  EXPECT_TRUE(r.KeyExists("a")) << "a parent of a key exists";
  EXPECT_FALSE(r.KeyExists("A\\B\\C\\D\\E"));
  ASSERT_TRUE(r.Save());
  EXPECT_FALSE(std::filesystem::exists(dir.File("sub/folder/settings.tmp")));

  tRegistry back(dir.File("sub/folder/settings"));
  ASSERT_TRUE(back.Load());
  EXPECT_EQ(back.ReadString("A\\B", "x=y[z]"), "line1\r\nline2\t%=") << "special bytes survive the text file";
  EXPECT_EQ(back.KeyNames(), r.KeyNames());

  back.DeleteKey("a\\b");
  EXPECT_FALSE(back.KeyExists("A\\B\\C\\D")) << "subkeys go with their key";
  EXPECT_FALSE(back.ValueExists("A\\B", "x=y[z]"));
  EXPECT_EQ(back.ReadString("A\\BB", "other"), "o") << "a key that only shares a prefix stays";

  back.WriteString("K", "one", "1");
  back.WriteString("K", "two", "2");
  back.WriteString("K", "three", "3");
  back.DeleteValue("K", "TWO");
  EXPECT_EQ(back.ValueNames("K"), (std::vector<std::string>{"one", "three"}));
  EXPECT_EQ(back.ReadString("K", "three"), "3") << "look-ups still right after a deletion";
  back.WriteString("K", "two", "again");
  EXPECT_EQ(back.ReadString("K", "Two"), "again");
}

TEST(Registry, NeverWritesWhatItWouldRefuseAndFallsBackToTheLastGoodFile) {
  test::tTempDir dir;
  const std::string file = dir.File("settings");
  tRegistry store(file);
  store.WriteString("A", "v", "first");
  ASSERT_TRUE(store.Save());
  store.WriteString("A", "v", "second");
  ASSERT_TRUE(store.Save());
  EXPECT_TRUE(fs::exists(file + ".bak")) << "the file a save replaced is kept";

  store.WriteString("A", "huge", std::string(kMaxRegistryBytes, 'x'));
  EXPECT_FALSE(store.Save()) << "a file the next load would refuse";
  tRegistry reread(file);
  ASSERT_TRUE(reread.Load());
  EXPECT_EQ(reread.ReadString("A", "v"), "second") << "the last good file is still in place";

  const struct {
    std::string Damage;
    const char* Note;
  } rows[] = {
      {"garbage", "a damaged file"},
      {std::string(kMaxRegistryBytes + 1, 'x'), "a file beyond the bound"},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(test::WriteFile(file, row.Damage));
    tRegistry damaged(file);
    EXPECT_TRUE(damaged.Load()) << row.Note;
    EXPECT_TRUE(damaged.WasDamaged()) << row.Note;
    EXPECT_EQ(damaged.ReadString("A", "v"), "first") << row.Note << ": the backup stands in";
    damaged.WriteString("A", "v", "third");
    ASSERT_TRUE(damaged.Save()) << row.Note;
    tRegistry saved(file);
    EXPECT_TRUE(saved.Load()) << row.Note;
    EXPECT_EQ(saved.ReadString("A", "v"), "third") << row.Note;
    EXPECT_EQ(test::ReadFile(file + ".bak").find("second"), std::string::npos)
        << row.Note << ": a damaged file never becomes the backup";
  }
  fs::remove(file + ".bak");
  ASSERT_TRUE(test::WriteFile(file, "garbage"));
  EXPECT_FALSE(tRegistry(file).Load()) << "neither file readable";
}

}  // namespace
}  // namespace ktv
