// The install as a user or a packager makes it: `cmake --install` of this build into a temporary prefix
// (with a space, "$" and "%" in its name, which the desktop entry must quote and escape), then what is
// there: exactly the product's files, accepted by the desktop's validators, an entry that is the one the
// player writes for itself, icons of their folders' sizes, manual pages that render and name the options the
// programs really take, and an installed player that runs and leaves the user's folders alone.
#include <sys/stat.h>

#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "app_test_support.h"
#include "library/file_types.h"
#include "player_process.h"

namespace ktv {
namespace {

using namespace ktv::test;
namespace fs = std::filesystem;

constexpr int kUpMs = 30000;   // a player's start on a loaded machine
constexpr int kEndMs = 10000;  // the player ends in far less; this only catches a hang
constexpr const char* kMetainfoId = "com.halcyra.KestrovaTV";
const int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// A program on the PATH, "" when there is none.
std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = folder + "/" + name;
    if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::set<std::string> Matches(const std::string& text, const std::regex& pattern) {
  std::set<std::string> found;
  for (std::sregex_iterator m(text.begin(), text.end(), pattern), end; m != end; ++m) found.insert((*m)[1]);
  return found;
}

// Long options ("--name") in a text.
std::set<std::string> LongOptions(const std::string& text) {
  static const std::regex option("--([a-z][a-z0-9-]*)");
  return Matches(text, option);
}

std::string Join(const std::set<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += item + "\n";
  return text;
}

// One install per test program: each test runs as a program of its own, so each gets a fresh prefix.
class InstallTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Root = std::make_unique<tTempDir>();
    Prefix = Root->File("pre fix $1 100%");
    // The default component is all there is; naming it writes the manifest as install_manifest_<name>.txt,
    // so a developer's own install_manifest.txt (the uninstall list) is left as it was.
    Installed = RunProgram(KTV_CMAKE_COMMAND,
                           {"--install", KTV_BUILD_DIR, "--prefix", Prefix, "--component", "Unspecified"});
  }
  static void TearDownTestSuite() { Root.reset(); }

  void SetUp() override { ASSERT_EQ(Installed.ExitCode, 0) << Installed.Out << Installed.Err; }

  static std::string Bin(const std::string& name) { return Prefix + "/" KTV_INSTALL_BINDIR "/" + name; }
  static std::string Data(const std::string& name) { return Prefix + "/" KTV_INSTALL_DATADIR "/" + name; }
  static std::string Man(const std::string& name) { return Prefix + "/" KTV_INSTALL_MANDIR "/man1/" + name; }
  static std::string Entry() { return Data(std::string("applications/") + kDesktopFileName); }
  static std::string Metainfo() { return Data(std::string("metainfo/") + kMetainfoId + ".metainfo.xml"); }
  static std::string Icon(int size) {
    const std::string folder = std::to_string(size) + "x" + std::to_string(size);
    return Data("icons/hicolor/" + folder + "/apps/kestrova-tv-player.png");
  }

  static inline std::unique_ptr<tTempDir> Root;
  static inline std::string Prefix;
  static inline tRunResult Installed;
};

TEST_F(InstallTest, HoldsTheProgramsAndTheirDesktopFilesOnly) {
  std::set<std::string> expected = {Bin("kestrova-tv"), Bin("kestrova-cli"),  Entry(),
                                    Metainfo(),         Man("kestrova-tv.1"), Man("kestrova-cli.1")};
  for (int size : kIconSizes) expected.insert(Icon(size));
  std::set<std::string> found;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(Prefix))
    if (!e.is_directory()) found.insert(e.path().string());
  // A test program, benchmark, fuzzer, tool or static library in the prefix shows up here.
  EXPECT_EQ(Join(found), Join(expected));
  for (const char* program : {"kestrova-tv", "kestrova-cli"}) {
    struct stat info {};
    ASSERT_EQ(stat(Bin(program).c_str(), &info), 0) << program;
    EXPECT_EQ(info.st_mode & 0755, 0755u) << program << " runs for everyone";
  }
}

TEST_F(InstallTest, DesktopValidatorsAcceptTheInstalledFiles) {
  const struct {
    const char* Program;
    std::vector<std::string> Args;
    const char* Note;
  } rows[] = {
      {"desktop-file-validate", {Entry()}, "the desktop entry"},
      {"appstreamcli", {"validate", "--no-net", Metainfo()}, "the AppStream metainfo"},
      {"appstreamcli", {"validate-tree", "--no-net", Prefix}, "metainfo, entry and icons together"},
  };
  for (const auto& r : rows) {
    const std::string program = FindProgram(r.Program);
    ASSERT_FALSE(program.empty()) << r.Program << " is missing (scripts/install-deps installs it)";
    const tRunResult run = RunProgram(program, r.Args);
    EXPECT_EQ(run.ExitCode, 0) << r.Note << ":\n" << run.Out << run.Err;
    // desktop-file-validate passes an entry it only warns about; a warning is a fault here too.
    EXPECT_EQ(run.Out.find("warning"), std::string::npos) << r.Note << ":\n" << run.Out;
  }
}

TEST_F(InstallTest, DesktopEntryIsTheOneThePlayerWritesForItself) {
  const std::string entry = ReadFile(Entry());
  EXPECT_EQ(entry, DesktopEntry(Bin("kestrova-tv")));
  EXPECT_NE(entry.find("\nName=Play in Kestrova.TV Player\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nIcon=kestrova-tv-player\n"), std::string::npos) << "the installed icons' name";
}

TEST_F(InstallTest, IconsHaveTheirFoldersSizes) {
  for (int size : kIconSizes) {
    QImageReader reader(QString::fromStdString(Icon(size)));
    EXPECT_EQ(reader.format(), QByteArray("png")) << size;
    EXPECT_EQ(reader.size(), QSize(size, size)) << "the picture in the " << size << " px folder";
    EXPECT_FALSE(reader.read().isNull()) << size;
  }
}

TEST_F(InstallTest, MetainfoLaunchesTheEntryAndListsThisRelease) {
  const std::string text = ReadFile(Metainfo());
  EXPECT_NE(text.find(std::string("<id>") + kMetainfoId + "</id>"), std::string::npos)
      << "the file is named after the component";
  EXPECT_NE(text.find(std::string("<launchable type=\"desktop-id\">") + kDesktopFileName + "</launchable>"),
            std::string::npos);
  EXPECT_NE(text.find("<release version=\"" KTV_VERSION "\""), std::string::npos)
      << "a new version needs its release entry";
  // Every type the metainfo says the player opens is one the desktop entry associates.
  static const std::regex mediatype("<mediatype>([^<]+)</mediatype>");
  const std::set<std::string> declared = Matches(text, mediatype);
  const std::vector<std::string>& ours = PlayerMimeTypes();
  EXPECT_FALSE(declared.empty());
  for (const std::string& type : declared)
    EXPECT_NE(std::find(ours.begin(), ours.end(), type), ours.end()) << type;
}

// The database of the machine's shared-mime-info: a type is known by its own file or as an alias.
struct tMimeDatabase {
  explicit tMimeDatabase(std::string root) : Root(std::move(root)) {
    std::istringstream aliases(ReadFile(Root + "/aliases"));
    for (std::string alias, type; aliases >> alias >> type;) Aliases[alias] = type;
    std::istringstream subclasses(ReadFile(Root + "/subclasses"));
    for (std::string type, parent; subclasses >> type >> parent;) Parents.insert({type, parent});
    std::istringstream globs(ReadFile(Root + "/globs2"));
    for (std::string line; std::getline(globs, line);) {
      const size_t a = line.find(':'), b = line.find(':', a + 1);
      if (line.empty() || line[0] == '#' || b == std::string::npos) continue;
      Globs.insert({line.substr(b + 1, line.find(':', b + 1) - b - 1), line.substr(a + 1, b - a - 1)});
    }
  }
  bool Knows(const std::string& type) const {
    return fs::exists(Root + "/" + type + ".xml") || Aliases.count(type);
  }
  // The type or one of its ancestors is among `ours` (a desktop offers an application for subclasses too).
  bool Covered(const std::string& type, const std::vector<std::string>& ours, int depth = 0) const {
    if (std::find(ours.begin(), ours.end(), type) != ours.end()) return true;
    if (depth > 16) return false;
    auto [from, to] = Parents.equal_range(type);
    return std::any_of(from, to, [&](const auto& p) { return Covered(p.second, ours, depth + 1); });
  }
  std::string Root;
  std::map<std::string, std::string> Aliases;
  std::multimap<std::string, std::string> Parents, Globs;  // type -> parent; "*.ext" -> type
};

// No shared-mime-info package is installed; that holds only while the distribution's database knows every
// type of the entry and gives each of the player's extensions one of them (or a subclass).
TEST_F(InstallTest, SystemMimeDatabaseKnowsTheEntrysTypes) {
  const tMimeDatabase mime("/usr/share/mime");
  if (!fs::exists(mime.Root + "/globs2")) GTEST_SKIP() << "no shared-mime-info database on this machine";
  const std::vector<std::string>& ours = PlayerMimeTypes();
  for (const std::string& type : ours) EXPECT_TRUE(mime.Knows(type)) << type;
  for (const char* extension : {"ogg", "ogm", "m3u", "pls", "xspf"}) {
    auto [from, to] = mime.Globs.equal_range(std::string("*.") + extension);
    EXPECT_TRUE(std::any_of(from, to, [&](const auto& g) { return mime.Covered(g.second, ours); }))
        << "." << extension << " files are not offered to the player";
  }
}

// The usage a program prints for a command line it cannot use.
std::string Usage(const std::string& program, const std::vector<std::string>& args) {
  tTempDir scratch;
  tPlayerProcess run(program);
  if (!run.Start(args, scratch.File("err"))) return {};
  if (run.WaitExit(kUpMs) != 2) return {};
  // Without the complaint about the argument, which names an option of its own.
  const std::string err = run.Err();
  const size_t usage = err.find("usage:");
  return usage == std::string::npos ? std::string() : err.substr(usage);
}

TEST_F(InstallTest, ManualPagesRenderAndNameTheRealOptions) {
  tTempConfig config;  // the player's usage run: no settings of the developer's
  const struct {
    const char* Page;
    std::string Usage;
  } rows[] = {
      {"kestrova-tv.1", Usage(Bin("kestrova-tv"), {"--no-such-option"})},
      {"kestrova-cli.1", Usage(Bin("kestrova-cli"), {})},
  };
  const std::string groff = FindProgram("groff");
  for (const auto& r : rows) {
    ASSERT_NE(r.Usage.find("usage:"), std::string::npos) << r.Page << ": the program printed no usage";
    const std::string source = ReadFile(Man(r.Page));
    EXPECT_NE(source.find("\"Kestrova.TV Player " KTV_VERSION "\""), std::string::npos)
        << r.Page << " names this version";
    if (groff.empty()) continue;  // rendering needs groff; the rest is read from the page's source
    const tRunResult check = RunProgram(groff, {"-man", "-Tutf8", "-ww", "-z", Man(r.Page)});
    EXPECT_EQ(check.ExitCode, 0) << r.Page << ": " << check.Err;
    EXPECT_EQ(check.Err, "") << r.Page << " renders without warnings";
    // The page as read: plain ASCII, so that "\-" is the "-" a user types.
    const tRunResult page = RunProgram(groff, {"-man", "-Tascii", "-P-c", "-P-b", "-P-u", Man(r.Page)});
    ASSERT_EQ(page.ExitCode, 0) << r.Page;
    EXPECT_EQ(Join(LongOptions(page.Out)), Join(LongOptions(r.Usage)))
        << r.Page << " describes the options the program takes, all of them";
    // The command-line program's commands are each described (the page's lines are justified: blanks
    // between words vary).
    static const std::regex command("kestrova-cli ([a-z]+) "), blanks(" +");
    const std::string words = std::regex_replace(page.Out, blanks, " ");
    for (const std::string& name : Matches(r.Usage, command))
      EXPECT_NE(words.find("kestrova-cli " + name + " "), std::string::npos) << r.Page << ": " << name;
  }
}

TEST_F(InstallTest, InstalledPlayerRunsFromThePrefix) {
  tTempConfig config;
  tTempDir data;
  tScopedEnv dataHome("XDG_DATA_HOME", data.Path());
  const std::string shots = config.Folder.File("shots");
  const tRunResult run = RunProgram(Bin("kestrova-tv"), {"--screenshot", shots, "--after", "1", "--backend",
                                                         "raster", "--", Clip(160, 120, 3)});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(run.Out)).object();
  EXPECT_EQ(report["state"].toInt(), 5)
      << "the clip plays (codecs loaded by the installed program): " << run.Out;
  EXPECT_FALSE(QImage(QString::fromStdString(shots + "/main.png")).isNull());
  // The installed command-line program reads the same clip.
  const tRunResult probe = RunProgram(Bin("kestrova-cli"), {"probe", Clip(160, 120, 3)});
  EXPECT_EQ(probe.ExitCode, 0) << probe.Err;
  EXPECT_NE(probe.Out.find("\"frame_width\":160,\"frame_height\":120"), std::string::npos) << probe.Out;
}

// The installed player is offered by the installed entry; only the build folder's player writes its own.
TEST_F(InstallTest, OnlyTheBuildFoldersPlayerOffersItselfInTheUserFolder) {
  const struct {
    std::string Program;
    bool Offers;
    const char* Note;
  } rows[] = {
      {PlayerPath(), true, "the build folder's player"},
      {Bin("kestrova-tv"), false, "the installed player"},
  };
  for (const auto& r : rows) {
    tTempConfig config;
    tTempDir data, logs;
    tPlayerProcess player(r.Program);
    ASSERT_TRUE(player.Start({}, logs.File("err"), {{"XDG_DATA_HOME", data.Path()}})) << r.Note;
    // Up means its start-up work is done, the offer included.
    const bool up = PollUntil(PlayerIsUp, kUpMs);
    const bool entry = fs::exists(data.File(std::string("applications/") + kDesktopFileName));
    const bool associations = fs::exists(config.Folder.File("mimeapps.list"));
    player.Signal(SIGTERM);
    EXPECT_EQ(player.WaitExit(kEndMs), 0) << r.Note << ": " << player.Err();
    ASSERT_TRUE(up) << r.Note << ": " << player.Err();
    EXPECT_EQ(entry, r.Offers) << r.Note;
    EXPECT_EQ(associations, r.Offers) << r.Note;
  }
}

}  // namespace
}  // namespace ktv
