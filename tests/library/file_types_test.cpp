#include "library/file_types.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace ktv {
namespace {

class FileTypesTest : public ::testing::Test {
 protected:
  tFileTypeRoots Roots() const {
    tFileTypeRoots roots;
    roots.DataHome = Dir.File("data");
    roots.ConfigHome = Dir.File("config");
    roots.Executable = "/opt/kestrova tv/kestrova";
    roots.RefreshDatabase = false;
    return roots;
  }
  std::string MimeApps() const { return test::ReadFile(Dir.File("config/mimeapps.list")); }
  test::tTempDir Dir;
};

TEST_F(FileTypesTest, FreshProfileGetsEntryAndAssociations) {
  ASSERT_TRUE(RegisterFileTypes(Roots()));
  std::string entry = test::ReadFile(Dir.File("data/applications/kestrova-tv-player.desktop"));
  EXPECT_NE(entry.find("Name=Kestrova.TV Player\n"), std::string::npos);
  EXPECT_NE(entry.find("[Desktop Action Play]\nName=Play in Kestrova.TV Player\n"), std::string::npos);
  EXPECT_NE(entry.find("Exec=\"/opt/kestrova tv/kestrova\" %u\n"), std::string::npos) << entry;
  EXPECT_EQ(MimeApps(),
            "[Added Associations]\n"
            "application/ogg=kestrova-tv-player.desktop;\n"
            "audio/ogg=kestrova-tv-player.desktop;\n"
            "video/ogg=kestrova-tv-player.desktop;\n"
            "audio/x-mpegurl=kestrova-tv-player.desktop;\n"
            "audio/mpegurl=kestrova-tv-player.desktop;\n"
            "audio/x-scpls=kestrova-tv-player.desktop;\n"
            "application/xspf+xml=kestrova-tv-player.desktop;\n");
  // A second start changes nothing.
  ASSERT_TRUE(RegisterFileTypes(Roots()));
  EXPECT_EQ(MimeApps().find("desktop;kestrova"), std::string::npos);
}

TEST_F(FileTypesTest, OtherProgramsKeepTheirAssociationsAndDefaults) {
  std::filesystem::create_directories(Dir.File("config"));
  ASSERT_TRUE(test::WriteFile(Dir.File("config/mimeapps.list"),
                              "[Default Applications]\n"
                              "audio/ogg=other.desktop\n"
                              "\n"
                              "[Added Associations]\n"
                              "audio/ogg=other.desktop\n"
                              "video/ogg=a.desktop;kestrova-tv-player.desktop;b.desktop;\n"
                              "\n"
                              "[Removed Associations]\n"
                              "text/plain=x.desktop;\n"));
  ASSERT_TRUE(RegisterFileTypes(Roots()));
  std::string text = MimeApps();
  EXPECT_EQ(text.rfind("[Default Applications]\naudio/ogg=other.desktop\n\n[Added Associations]\n", 0), 0u)
      << "nobody's default changes";
  EXPECT_NE(text.find("\naudio/ogg=other.desktop;kestrova-tv-player.desktop;\n"), std::string::npos)
      << "our id goes after the other program's";
  EXPECT_NE(text.find("\nvideo/ogg=a.desktop;kestrova-tv-player.desktop;b.desktop;\n"), std::string::npos)
      << "an existing association of ours is not repeated";
  EXPECT_NE(text.find("\naudio/x-scpls=kestrova-tv-player.desktop;\n"), std::string::npos);
  size_t removed = text.find("[Removed Associations]\ntext/plain=x.desktop;\n");
  ASSERT_NE(removed, std::string::npos) << "other sections stay";
  EXPECT_LT(text.find("application/xspf+xml="), removed) << "new lines go into our section";
}

TEST_F(FileTypesTest, FailureEndsTheRegistrationSilently) {
  // The config folder is a file: mimeapps.list cannot be written, and the call reports it without throwing.
  ASSERT_TRUE(test::WriteFile(Dir.File("config"), "not a folder"));
  EXPECT_FALSE(RegisterFileTypes(Roots()));
  EXPECT_TRUE(std::filesystem::exists(Dir.File("data/applications/kestrova-tv-player.desktop")));
  tFileTypeRoots bad = Roots();
  bad.Executable = "/tmp/evil\nExec=rm";
  EXPECT_FALSE(RegisterFileTypes(bad)) << "a path with a line break cannot be written into a desktop entry";
}

TEST_F(FileTypesTest, ExecLinesQuoteAndEscapeTheProgramPath) {
  const struct {
    const char* Path;
    const char* Exec;  // as the key file holds it
    const char* Note;
  } rows[] = {
      {"/usr/bin/kestrova-tv", R"("/usr/bin/kestrova-tv")", "plain"},
      {"/opt/my player/kestrova-tv", R"("/opt/my player/kestrova-tv")", "a space stays inside the quotes"},
      {"/opt/100%/kestrova-tv", R"("/opt/100%%/kestrova-tv")", "% would start a field code"},
      {"/opt/$HOME/kestrova-tv", R"("/opt/\\$HOME/kestrova-tv")", "$ would be expanded by a shell"},
      {"/opt/a\"b`c/kestrova-tv", R"("/opt/a\\"b\\`c/kestrova-tv")", "quote and backquote"},
      {"/opt/a\\b/kestrova-tv", R"("/opt/a\\\\b/kestrova-tv")", "a backslash, escaped twice"},
  };
  for (const auto& r : rows) {
    const std::string entry = DesktopEntry(r.Path);
    const std::string exec = std::string("\nExec=") + r.Exec + " %u\n";
    size_t first = entry.find(exec);
    EXPECT_NE(first, std::string::npos) << r.Note << ":\n" << entry;
    EXPECT_NE(entry.find(exec, first + 1), std::string::npos) << r.Note << ": the action's Exec line too";
    EXPECT_EQ(entry.find("@KTV_EXEC@"), std::string::npos) << r.Note;
  }
}

TEST_F(FileTypesTest, InstalledProgramIsKnownByTheEntryBesideIt) {
  namespace fs = std::filesystem;
  // prefix/bin/kestrova-tv with prefix/share/applications/<entry>, as the install lays them out.
  fs::create_directories(Dir.File("prefix/bin"));
  fs::create_directories(Dir.File("prefix/share/applications"));
  ASSERT_TRUE(test::WriteFile(Dir.File("prefix/share/applications/kestrova-tv-player.desktop"), "x"));
  fs::create_directories(Dir.File("other/share/applications/kestrova-tv-player.desktop"));
  fs::create_directories(Dir.File("build/src/app"));
  const std::string kFromBin = "../share/applications";
  const struct {
    std::string Executable;
    bool Installed;
    const char* Note;
  } rows[] = {
      {Dir.File("prefix/bin/kestrova-tv"), true, "installed"},
      {Dir.File("build/src/app/kestrova-tv"), false, "run from the build folder"},
      {Dir.File("other/bin/kestrova-tv"), false, "a folder of that name is no entry"},
      {Dir.File("elsewhere/bin/kestrova-tv"), false, "nothing beside it"},
      {"bin/kestrova-tv", false, "a relative path says nothing about where the program lies"},
      {"", false, "the program's path is unknown"},
  };
  for (const auto& r : rows) EXPECT_EQ(IsInstalledProgram(r.Executable, kFromBin), r.Installed) << r.Note;
}

}  // namespace
}  // namespace ktv
