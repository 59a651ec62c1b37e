#include "stream/recording_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/test_support.h"
#include "support/utf8_check.h"

namespace ktv {
namespace {

using namespace ktv::test;

TEST(RecordingNames, HostileStationNamesMakeSafeFileNames) {
  const std::string e = "\xC3\xA9";  // é
  struct tCase {
    std::string Station;
    std::string Expected;
    const char* Note;
  };
  const std::vector<tCase> cases = {
      {"Ice Radio", "Ice Radio", "a plain name stays"},
      {"../../etc/passwd", "etc_passwd", "no folder climbing, no '/'"},
      {"/", "Stream", "nothing left"},
      {"", "Stream", "no name"},
      {"...hidden", "hidden", "no hidden file"},
      {"-rf now", "rf now", "no option to a command line"},
      {" . - ", "Stream", "only dots, dashes and blanks"},
      {"a\nb\rc\td\x7F", "a_b_c_d_", "control characters"},
      {"a\\b:c*d?e\"f<g>h|i`j$k", "a_b_c_d_e_f_g_h_i_j_k", "characters other systems refuse"},
      {"Caf" + e + " Radio", "Caf" + e + " Radio", "UTF-8 stays"},
      {"bad\xFF\xC0\x80utf", "bad___utf", "invalid and overlong bytes"},
      {"a\xED\xA0\x80x", "a___x", "a UTF-16 surrogate"},
      {"name. ", "name", "no dot or blank at the end"},
      {std::string("nul\0byte", 8), "nul_byte", "a NUL byte"},
  };
  for (const tCase& c : cases) EXPECT_EQ(SafeStationName(c.Station), c.Expected) << c.Note;
}

TEST(RecordingNames, LongNamesAreCutBetweenCharacters) {
  const std::string e = "\xC3\xA9";
  for (size_t prefix = 0; prefix < 4; ++prefix) {
    std::string station = std::string(prefix, 'x');
    while (station.size() < 1000) station += e + "\xE2\x82\xAC" + "\xF0\x9F\x8E\xB5";  // é € 🎵
    const std::string name = SafeStationName(station);
    EXPECT_LE(name.size(), kMaxStationNameBytes);
    EXPECT_GT(name.size(), kMaxStationNameBytes - 4) << "cut at the last whole character";
    EXPECT_TRUE(IsValidUtf8(name)) << prefix;
  }
}

TEST(RecordingNames, FileNameCarriesStationTimeAndKind) {
  std::tm when{};
  when.tm_year = 2026 - 1900;
  when.tm_mon = 11;
  when.tm_mday = 7;
  when.tm_hour = 9;
  when.tm_min = 5;
  when.tm_sec = 3;
  EXPECT_EQ(RecordingFileName("Ice/Radio", when, false), "Ice_Radio 2026-12-07 09.05.03.ogg");
  EXPECT_EQ(RecordingFileName("Ice TV", when, true), "Ice TV 2026-12-07 09.05.03.ogv");
  EXPECT_EQ(RecordingFileName("Ice TV", when, true, 3), "Ice TV 2026-12-07 09.05.03 (3).ogv");
  EXPECT_LT(RecordingFileName(std::string(5000, 'a'), when, true, 100).size(), 255u)
      << "a name the disk takes";
}

TEST(RecordingNames, UserDirsFileIsReadAsText) {
  const std::string home = "/home/me";
  struct tCase {
    std::string Text;
    std::string Expected;
    const char* Note;
  };
  const std::vector<tCase> cases = {
      {"XDG_MUSIC_DIR=\"$HOME/Music\"\n", "/home/me/Music", "the usual form"},
      {"# comment\n  XDG_MUSIC_DIR=\"/srv/music/\"  \n", "/srv/music", "absolute, blanks and slash trimmed"},
      {"XDG_MUSIC_DIR=\"$HOME/\"\n", "/home/me", "the home folder itself"},
      {"XDG_MUSIC_DIR=\"$HOME/My \\\"Songs\\\"\"\n", "/home/me/My \"Songs\"", "escaped quotes"},
      {"XDG_MUSIC_DIR=\"Music\"\n", "", "relative paths are refused"},
      {"XDG_MUSIC_DIR=$HOME/Music\n", "", "unquoted"},
      {"XDG_MUSIC_DIR=\"$(rm -rf ~)\"\n", "", "a command is text, never run"},
      {"XDG_MUSIC_DIR=\"`id`\"\n", "", "backquotes"},
      {"XDG_MUSIC_DIR=\"$OTHER/Music\"\n", "", "other variables are not expanded"},
      {"XDG_MUSIC_DIR=\"$HOMEX/Music\"\n", "", "a longer variable name"},
      {"XDG_MUSIC_DIR=\"$HOME/Music", "", "no closing quote"},
      {"XDG_MUSIC_DIR=\"/a\" ; rm x\n", "", "something after the value"},
      {"XDG_VIDEOS_DIR=\"$HOME/Videos\"\n", "", "another key"},
      {"XDG_MUSIC_DIRX=\"/x\"\n", "", "a longer key"},
      {"XDG_MUSIC_DIR=\"/a\"\nXDG_MUSIC_DIR=\"/b\"\n", "/b", "the last one counts"},
      {"XDG_MUSIC_DIR=\"/a\"\nXDG_MUSIC_DIR=\"bad\"\n", "/a", "a bad line leaves the good one"},
      {"XDG_MUSIC_DIR=\"/" + std::string(5000, 'a') + "\"\n", "", "an overlong path"},
  };
  for (const tCase& c : cases)
    EXPECT_EQ(UserDirFromText(c.Text, "XDG_MUSIC_DIR", home), c.Expected) << c.Note;
  EXPECT_EQ(UserDirFromText("XDG_MUSIC_DIR=\"$HOME/Music\"\n", "XDG_MUSIC_DIR", ""), "") << "no home";
}

TEST(RecordingNames, FolderComesFromTheUserDirsOrHome) {
  tTempDir dir;
  const std::string home = dir.File("home"), config = dir.File("config");
  std::filesystem::create_directories(home + "/Musik");
  std::filesystem::create_directories(config);
  ASSERT_TRUE(WriteFile(config + "/user-dirs.dirs",
                        "XDG_MUSIC_DIR=\"$HOME/Musik\"\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n"));
  {
    tScopedEnv h("HOME", home);
    tScopedEnv c("XDG_CONFIG_HOME", config);
    EXPECT_EQ(RecordingFolder(false), home + "/Musik");
    EXPECT_EQ(RecordingFolder(true), home) << "a videos folder that does not exist falls back to home";
    // A huge or binary file is read only in part and never trusted beyond its text.
    ASSERT_TRUE(WriteFile(config + "/user-dirs.dirs", std::string(200000, '\0') + "XDG_MUSIC_DIR=\"/\"\n"));
    EXPECT_EQ(RecordingFolder(false), home);
  }
  {
    tScopedEnv h("HOME", home);
    tScopedEnv c("XDG_CONFIG_HOME", "");
    std::filesystem::create_directories(home + "/.config");
    ASSERT_TRUE(WriteFile(home + "/.config/user-dirs.dirs", "XDG_VIDEOS_DIR=\"" + home + "/Musik\"\n"));
    EXPECT_EQ(RecordingFolder(true), home + "/Musik") << "$HOME/.config without XDG_CONFIG_HOME";
  }
}

}  // namespace
}  // namespace ktv
